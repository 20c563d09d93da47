// A signal source as the signal layer writes them: its own headers, the
// standard library and KissFFT. It must build where the layering probes must not.
#include <kiss_fftr.h>

#include "Sweep.h"

std::size_t CleanSignalSourceCompiles(const SweepSettings& settings) { return SweepLength(settings); }
