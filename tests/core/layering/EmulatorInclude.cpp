#include "emulator/Emulator.h"  // the emulator checks the core's bytes and shares nothing with it
