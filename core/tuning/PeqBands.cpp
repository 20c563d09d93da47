#include "tuning/PeqBands.h"

#include "model/Units.h"

std::string PeqBandText(const PeqBand& band)
{
    if (band.flat) return "flat";
    const std::string width = band.shelf == Shelf::Low    ? "LOSHELF"
                              : band.shelf == Shelf::High ? "HISHELF"
                                                          : StepText(Scale::Bandwidth, band.bandwidth);
    return StepText(Scale::Frequency, band.freq) + " " + StepText(Scale::PeqGain, band.gain) + " " + width;
}

void WritePeqBands(ParameterModel& model, int slot, const PeqBands& bands)
{
    for (int band = 0; band < kPeqBands; ++band) {
        const PeqBand& b = bands[static_cast<std::size_t>(band)];
        const int i = PeqIndex(slot, band);
        model.peqFlat[i] = b.flat ? 1 : 0;
        if (b.flat) continue;
        model.peqFreq[i] = b.freq;
        model.peqGain[i] = b.gain;
        model.peqBandwidth[i] = b.bandwidth;
        model.peqLoShelf[i] = b.shelf == Shelf::Low ? 1 : 0;
        model.peqHiShelf[i] = b.shelf == Shelf::High ? 1 : 0;
    }
}

PeqBands ReadPeqBands(const ParameterModel& model, int slot)
{
    PeqBands bands;
    for (int band = 0; band < kPeqBands; ++band) {
        const int i = PeqIndex(slot, band);
        PeqBand& b = bands[static_cast<std::size_t>(band)];
        b.freq = model.peqFreq[i];
        b.gain = model.peqGain[i];
        b.bandwidth = model.peqBandwidth[i];
        b.flat = model.peqFlat[i] != 0;
        b.shelf = model.peqLoShelf[i] ? Shelf::Low : model.peqHiShelf[i] ? Shelf::High : Shelf::None;
    }
    return bands;
}

PeqBandShape ShapeOf(const PeqBand& band)
{
    return {double(band.freq), double(band.bandwidth), (band.gain - kGainStepZero) * 0.1, band.shelf == Shelf::Low,
            band.shelf == Shelf::High};
}

ResponseCurve PeqBandsCurve(const PeqBands& bands)
{
    // The Sub's crossover set flat: what is left is the bands alone.
    ParameterModel model{};
    LoadDefaults(model);
    model.hpfType[kSlotSub] = model.lpfType[kSlotSub] = 0;
    WritePeqBands(model, kSlotSub, bands);
    return ComputeResponse(model, kSlotSub);
}

const BandShapes& BandShapes::Get()
{
    static const BandShapes shapes;
    return shapes;
}

BandShapes::BandShapes()
{
    for (int bandwidth = kBandwidthStepNarrowest; bandwidth <= kBandwidthStepWidest; ++bandwidth) {
        for (const Shelf shelf : {Shelf::None, Shelf::Low, Shelf::High}) {
            // Centred on the last step the curve gives the distances -394..0,
            // centred on the first 0..394.
            auto& row = table_[Index(bandwidth, shelf)];
            for (const int centre : {kFreqSteps - 1, 0}) {
                ResponseCurve curve{};
                AddPeqBandShape(curve, {static_cast<double>(centre), static_cast<double>(bandwidth), 1.0,
                                        shelf == Shelf::Low, shelf == Shelf::High});
                for (int k = 0; k < kFreqSteps; ++k)
                    row[static_cast<std::size_t>(k - centre + kFreqSteps - 1)] = curve[static_cast<std::size_t>(k)];
            }
        }
    }
}
