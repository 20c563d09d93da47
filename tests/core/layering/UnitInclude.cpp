#include "unit/UnitOperations.h"  // the sound card knows nothing of the unit
