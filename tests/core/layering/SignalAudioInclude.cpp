#include "AudioDevices.h"  // nor of sound devices: the audio layer stands on it, not below it
