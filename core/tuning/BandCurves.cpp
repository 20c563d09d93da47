#include "tuning/BandCurves.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "tuning/SoundModel.h"

namespace {

bool OnWholeSteps(const PeqBandShape& band)
{
    return band.centreStep == std::floor(band.centreStep) && band.bandwidthStep == std::floor(band.bandwidthStep);
}

Shelf ShelfOf(const PeqBandShape& band) { return band.loShelf ? Shelf::Low : band.hiShelf ? Shelf::High : Shelf::None; }

class DrawnCurves final : public BandCurves {
public:
    void Add(const PeqBandShape& band, int first, std::span<double> out) const override
    {
        if (OnWholeSteps(band)) {
            const int centre = static_cast<int>(band.centreStep);
            const UnitShapeRow shape = UnitShape(static_cast<int>(band.bandwidthStep), ShelfOf(band));
            for (std::size_t i = 0; i < out.size(); ++i)
                out[i] += band.gainDb * shape.At(centre, first + static_cast<int>(i));
            return;
        }
        ResponseCurve curve{};
        AddPeqBandShape(curve, band);
        for (std::size_t i = 0; i < out.size(); ++i) out[i] += curve[static_cast<std::size_t>(first) + i];
    }

    UnitShapeRow UnitShape(int bandwidthStep, Shelf shelf) const override
    {
        return {BandShapes::Get().Row(bandwidthStep, shelf)};
    }
};

class SoundCurves final : public BandCurves {
public:
    SoundCurves()
    {
        for (int k = 0; k < kFreqSteps; ++k) {
            const double w = AngleOfHz(FreqTable[k]);
            cosines_[static_cast<std::size_t>(k)] = {std::cos(w), std::cos(2.0 * w)};
        }
        BuildShapes();
    }

    void Add(const PeqBandShape& band, int first, std::span<double> out) const override
    {
        AddAll({&band, 1}, first, out);
    }

    // One logarithm a step for all bands: the fit's continuous search
    // spends most of its time here.
    void AddAll(std::span<const PeqBandShape> bands, int first, std::span<double> out) const override
    {
        std::vector<Biquad> sections;
        for (const PeqBandShape& band : bands) sections.push_back(PeqBandBiquad(band));
        for (std::size_t i = 0; i < out.size(); ++i) {
            const auto [cosW, cos2W] = cosines_[static_cast<std::size_t>(first) + i];
            double power = 1.0;
            for (const Biquad& section : sections) power *= section.PowerAt(cosW, cos2W);
            out[i] += 10.0 * std::log10(power);
        }
    }

    UnitShapeRow UnitShape(int bandwidthStep, Shelf shelf) const override
    {
        return {shapes_[Row(bandwidthStep, shelf)].data()};
    }

private:
    static constexpr double kShapeGainDb = 1.0;
    static constexpr double kShapeCentreHz = 1000.0;
    static constexpr double kStepsPerOctave = 36.0;
    static constexpr double kHighestHz = 22000.0;  // short of the sampling's half, where a section folds

    static std::size_t Row(int bandwidthStep, Shelf shelf)
    {
        return static_cast<std::size_t>((bandwidthStep - kBandwidthStepNarrowest) * 3 + static_cast<int>(shelf));
    }

    // By the distance in steps, a step taken as 1/36 octave: the scale's
    // steps are nearly that.
    void BuildShapes()
    {
        for (int width = kBandwidthStepNarrowest; width <= kBandwidthStepWidest; ++width)
            for (const Shelf shelf : {Shelf::None, Shelf::Low, Shelf::High}) {
                const Biquad section = PeqBandBiquad(
                    {double(kFreqStep1kHz), double(width), kShapeGainDb, shelf == Shelf::Low, shelf == Shelf::High});
                auto& row = shapes_[Row(width, shelf)];
                for (int d = 1 - kFreqSteps; d < kFreqSteps; ++d) {
                    const double hz = std::min(kShapeCentreHz * std::exp2(d / kStepsPerOctave), kHighestHz);
                    row[static_cast<std::size_t>(d + kFreqSteps - 1)] =
                        20.0 * std::log10(std::abs(section.At(hz))) / kShapeGainDb;
                }
            }
    }

    struct Cosines {
        double cosW, cos2W;
    };
    std::array<Cosines, kFreqSteps> cosines_{};
    std::array<std::array<double, 2 * kFreqSteps - 1>, kOctaveSteps * 3> shapes_{};
};

}  // namespace

const BandCurves& BandCurves::Of(BandModel model)
{
    static const DrawnCurves drawn;
    static const SoundCurves sound;
    return model == BandModel::Sound ? static_cast<const BandCurves&>(sound) : drawn;
}
