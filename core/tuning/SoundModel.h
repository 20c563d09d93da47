// The unit's processing as it sounds: complex responses of its filters,
// delay, polarity and level, for predicting what a change of the setting
// does to a measurement. (The curve the program draws, response/Response.h,
// is a display model and wider than these bells at half gain.)
//
// - A PEQ bell at the table's frequency, gain and bandwidth N octaves is the
//   cookbook's peaking biquad with Q = 1 / (2 sinh(ln 2 / 2 x N)) at 48 kHz.
// - A shelf is the cookbook's shelf with its midpoint at the band's
//   frequency and the slope S = 1 (12 dB per octave in the middle, the
//   steepest that does not overshoot), whatever the bandwidth step says:
//   the unit's shelves have no width of their own.
// - The crossover types are cascades of sections at the corner frequency:
//   Butterworth of their order, Link-Riley as two Butterworth filters of
//   half the order, Bessel normalised to -3 dB at the corner, and the
//   12 dB Q types as one section of their Q.
#pragma once

#include <complex>

#include "model/Model.h"
#include "response/Response.h"
#include "tuning/Biquad.h"
#include "tuning/PeqBands.h"

using Complex = std::complex<double>;

// The band's section; a band between steps as the fit moves it (centre and
// bandwidth interpolated between the table's entries).
Biquad PeqBandBiquad(const PeqBandShape& band);

// 1 for a flat band.
Complex PeqBandSound(const PeqBand& band, double hz);
Complex PeqBandsSound(const PeqBands& bands, double hz);

enum class Pass { High, Low };
// Filter type `type` (FilterTypeNames) at frequency step `freqStep`; 1 for
// the pass-through and for a type outside the table.
Complex CrossoverSound(int type, int freqStep, Pass pass, double hz);
// Both filters of model slot `slot`, as the unit applies them (Left & Right's
// crossover switch off: neither).
Complex ChannelCrossoverSound(const ParameterModel& model, int slot, double hz);

// e^{-j w t} of `steps` delay steps (0.1 ms each).
Complex DelaySound(double steps, double hz);
// The output level of a level step as a factor (0.5 dB per step).
double LevelFactor(int gainStep);

// Everything slot `slot` does to its signal: level (a mute silences),
// polarity, crossover, PEQ and delay.
Complex ChannelSound(const ParameterModel& model, int slot, double hz);
