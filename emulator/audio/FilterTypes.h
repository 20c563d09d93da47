// The unit's high- and low-pass filter types, by the index the unit holds:
// 0 passes everything; 1 a first-order Butterworth; 2..17 second-order
// sections of Q 0.5 to 2.0 in steps of 0.1; then Bessel, Butterworth and
// Linkwitz-Riley of 12 to 48 dB per octave. Butterworth and Bessel are
// 3 dB down at their frequency, Linkwitz-Riley 6 dB, a Q type by 20 log Q.
#pragma once

#include "emulator/audio/Biquad.h"

namespace rx74emu {

inline constexpr int kFilterTypes = 28;

// The prototype of a filter type; an empty one (no sections) for type 0 and
// for an index the unit has no filter for.
Prototype FilterTypePrototype(int type);

}  // namespace rx74emu
