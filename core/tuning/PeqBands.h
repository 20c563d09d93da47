// The three PEQ bands of one channel as a proposal holds them, in the
// unit's steps, and the share of the channel's drawn curve that they make.
#pragma once

#include <array>
#include <string>

#include "model/Model.h"
#include "response/Response.h"

enum class Shelf { None, Low, High };

struct PeqBand {
    int freq = kFreqStep1kHz;
    int gain = kGainStepZero;  // 0.1 dB per step
    int bandwidth = kBandwidthStepNarrowest;
    Shelf shelf = Shelf::None;
    bool flat = true;

    // Bands are the same when they sound the same: a flat band keeps its
    // other fields (the unit shows them again once it is switched back on),
    // but nobody hears them.
    bool operator==(const PeqBand& other) const
    {
        if (flat || other.flat) return flat == other.flat;
        return freq == other.freq && gain == other.gain && bandwidth == other.bandwidth && shelf == other.shelf;
    }
};
using PeqBands = std::array<PeqBand, kPeqBands>;

inline constexpr int kPeqGainStepMin = 8;    // -12 dB
inline constexpr int kPeqGainStepMax = 248;  // +12 dB

// "101Hz -3.0dB 0.991oct", "51.6Hz +4.0dB LOSHELF"; "flat" for a flat band.
std::string PeqBandText(const PeqBand& band);

// The bands into model slot `slot`. A flat band only switches the band flat:
// its other fields keep what they held.
void WritePeqBands(ParameterModel& model, int slot, const PeqBands& bands);
// The bands of model slot `slot`; a band with both shelf switches on (which
// no editor makes) reads as a low shelf.
PeqBands ReadPeqBands(const ParameterModel& model, int slot);

// The band as the fit moves it between steps (its gain in dB).
PeqBandShape ShapeOf(const PeqBand& band);

// What the bands add to the curve ComputeResponse draws for a channel (the
// crossover adds its own part beside them): the curve of a channel whose
// crossover is flat.
ResponseCurve PeqBandsCurve(const PeqBands& bands);

// Unit-gain curves of a band at every bandwidth step and shelf setting, by
// the distance in steps from the band's centre: ComputeResponse's band
// depends on that distance alone, so one table serves every centre.
class BandShapes {
public:
    static const BandShapes& Get();
    // The curve at step k of a band centred on step centre, for 1 dB.
    double At(int bandwidthStep, Shelf shelf, int centre, int k) const
    {
        return Row(bandwidthStep, shelf)[k - centre + kFreqSteps - 1];
    }
    // The curve by the distance from the centre: distance d at d + kFreqSteps - 1.
    const double* Row(int bandwidthStep, Shelf shelf) const { return table_[Index(bandwidthStep, shelf)].data(); }

private:
    BandShapes();
    static std::size_t Index(int bandwidthStep, Shelf shelf)
    {
        return static_cast<std::size_t>((bandwidthStep - kBandwidthStepNarrowest) * 3 + static_cast<int>(shelf));
    }
    std::array<std::array<double, 2 * kFreqSteps - 1>, kOctaveSteps * 3> table_{};
};
