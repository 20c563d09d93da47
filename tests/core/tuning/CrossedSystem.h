// Tops and Sub of a system crossed at 100 Hz, built from analog prototypes
// independent of the unit's own sections: what the tuning tests measure.
#pragma once

#include <cmath>
#include <functional>
#include <numbers>

#include "history/SettingChanges.h"
#include "model/Scales.h"
#include "tuning/SystemMeasurement.h"

using Response = std::function<Complex(double hz)>;

inline constexpr double kCrossoverHz = 100.0;

inline Complex S(double hz, double corner) { return Complex(0.0, hz / corner); }
inline Complex Butterworth2Low(double hz, double corner)
{
    const Complex s = S(hz, corner);
    return 1.0 / (s * s + std::sqrt(2.0) * s + 1.0);
}
inline Complex Butterworth2High(double hz, double corner)
{
    const Complex s = S(hz, corner);
    return s * s / (s * s + std::sqrt(2.0) * s + 1.0);
}
inline Complex Lr4Low(double hz) { return std::pow(Butterworth2Low(hz, kCrossoverHz), 2); }
inline Complex Lr4High(double hz) { return std::pow(Butterworth2High(hz, kCrossoverHz), 2); }
inline Complex Late(double ms, double hz) { return std::polar(1.0, -2.0 * std::numbers::pi * hz * ms / 1000.0); }
inline Complex Gain(double db) { return std::pow(10.0, db / 20.0); }

// On a 1/48-octave grid from 10 Hz to 20 kHz.
inline MeasuredResponse Measure(const Response& r)
{
    MeasuredResponse out;
    for (double hz = 10.0; hz <= 20000.0; hz *= std::exp2(1.0 / 48.0)) {
        out.hz.push_back(hz);
        out.response.push_back(r(hz));
    }
    return out;
}

// Tops and Sub crossed at 100 Hz by Link-Riley filters, in the measurement
// (the room's) and in the unit's setting alike, the Sub as loud as both tops
// together; the Sub's own part given.
inline SystemMeasurement Crossed(const Response& sub)
{
    SystemMeasurement m;
    m.left = m.right = Measure(Lr4High);
    m.sub = Measure([&](double hz) { return 2.0 * Lr4Low(hz) * sub(hz); });
    return m;
}

inline ParameterModel CrossedSetting()
{
    ParameterModel model{};
    LoadDefaults(model);
    model.hpfType[kSlotLeftRight] = model.lpfType[kSlotSub] = 24;  // 24 dB Link-Riley
    model.hpfFreq[kSlotLeftRight] = model.lpfFreq[kSlotSub] = FreqIndexFromHz(kCrossoverHz);
    for (int slot : {kSlotLeftRight, kSlotSub})
        for (int band = 0; band < kPeqBands; ++band) model.peqFlat[PeqIndex(slot, band)] = 1;
    return model;
}
