// How the PEQ fit sees a band: as the unit draws it (the display model of
// response/Response.h, what `eq fit` fits, so that the drawn curve shows the
// fit's result) or as it sounds (tuning/SoundModel.h, for tuning from a
// measurement, where what is heard counts).
#pragma once

#include <span>

#include "tuning/PeqBands.h"

enum class BandModel { Drawn, Sound };

// A band's unit-gain curve by the distance in steps from its centre.
struct UnitShapeRow {
    const double* byDistance;  // 2 kFreqSteps - 1 values, distance 0 in the middle
    double At(int centre, int k) const { return byDistance[k - centre + kFreqSteps - 1]; }
};

class BandCurves {
public:
    static const BandCurves& Of(BandModel model);
    virtual ~BandCurves() = default;

    // Adds the band's level in dB at frequency steps first, first + 1, ...
    // into out; the band may lie between steps.
    virtual void Add(const PeqBandShape& band, int first, std::span<double> out) const = 0;
    // The same for several bands at once.
    virtual void AddAll(std::span<const PeqBandShape> bands, int first, std::span<double> out) const
    {
        for (const PeqBandShape& band : bands) Add(band, first, out);
    }
    // The level per dB of gain at step k of a band on whole steps (by its
    // distance from the band's centre), as the
    // fit's step search estimates a band's best gain in closed form: exact
    // for the drawn curve, whose level is its gain times one shape; for the
    // sound the shape of a small gain (a bell's half-gain width does not
    // change with its gain, so the estimate stays close).
    virtual UnitShapeRow UnitShape(int bandwidthStep, Shelf shelf) const = 0;
};
