#include "link/Link.h"  // the signal layer knows nothing of the unit or its serial link
