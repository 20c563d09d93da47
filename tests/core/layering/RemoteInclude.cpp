#include "RemoteServer.h"  // nor the network remote, its other user
