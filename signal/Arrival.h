// When the direct sound arrives: the peak of the impulse response's
// envelope, between samples by a parabola through the three highest. For an
// output that plays only a low band (the Sub), its full-band peak scatters
// by milliseconds with what little it plays above its band: its arrival is
// taken on the envelope after a zero-phase low-pass.
#pragma once

#include <optional>

#include "Envelope.h"
#include "ImpulseWindow.h"

// The low-pass for the Sub's arrival.
inline constexpr double kSubArrivalLowPassHz = 500.0;

// Seconds after time zero; throws std::invalid_argument for an empty
// impulse response.
double ArrivalSeconds(const ImpulseResponse& impulse, std::optional<double> lowPassHz = std::nullopt);
