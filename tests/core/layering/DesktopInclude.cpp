#include "app/UnitLink.h"  // a core source must not reach the desktop program's windows
