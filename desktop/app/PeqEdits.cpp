#include "app/PeqEdits.h"

#include "app/UnitLink.h"
#include "model/ParameterIds.h"

namespace {

// A band message names its band by the model's cursor.
void SendBand(int slot, int band)
{
    const int channel = model.curChannel, current = model.curBand;
    model.curChannel = slot;
    model.curBand = band;
    SendEdit(PID_PEQ_GAIN);
    model.curChannel = channel;
    model.curBand = current;
}

// One band message carries every field of its band.
void SendChangedBands(int slot, const PeqBands& before, const PeqBands& after)
{
    for (int band = 0; band < kPeqBands; ++band)
        if (before[static_cast<std::size_t>(band)] != after[static_cast<std::size_t>(band)]) SendBand(slot, band);
}

}  // namespace

PeqBandsBefore SendPeqBands(int slot, const PeqBands& bands, std::optional<int> levelStep)
{
    const PeqBandsBefore before{slot, ReadPeqBands(model, slot), model.gain[slot]};
    WritePeqBands(model, slot, bands);
    SendChangedBands(slot, before.bands, bands);
    if (levelStep && *levelStep != before.levelStep) {
        model.gain[slot] = *levelStep;
        SendEdit(slot == kSlotSub ? PID_SUB_GAIN : PID_LR_GAIN);
    }
    return before;
}
