#include "OnlineCommands.h"  // the session layer must not reach the command line above it
