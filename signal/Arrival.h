// When the direct sound arrives: the peak of the impulse response's
// envelope (the magnitude of its analytic signal), between samples by a
// parabola through the three highest. For an output that plays only a low
// band (the Sub), its full-band peak scatters by milliseconds with what
// little it plays above its band: its arrival is taken after a zero-phase
// low-pass (the magnitude of a 4th-order Butterworth, no delay of its own).
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "ImpulseWindow.h"

// The low-pass for the Sub's arrival.
inline constexpr double kSubArrivalLowPassHz = 500.0;

// The magnitude of the analytic signal of `samples` (Hilbert transform by FFT).
std::vector<float> Envelope(std::span<const float> samples);

// Seconds after time zero; throws std::invalid_argument for an empty
// impulse response.
double ArrivalSeconds(const ImpulseResponse& impulse, std::optional<double> lowPassHz = std::nullopt);
