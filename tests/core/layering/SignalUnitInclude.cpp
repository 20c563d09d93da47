#include "unit/UnitOperations.h"  // nor of the unit's operations
