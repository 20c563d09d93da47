#include "link/ParameterMessages.h"

#include "link/Frame.h"
#include "model/Model.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kDelayCodeLeftRight = 122;
constexpr std::uint8_t kDelayCodeSub = 79;
constexpr std::uint8_t kResetConstants[2] = {0x10, 0x23};
constexpr int kBandwidthBase = 43;  // the wire carries 43 - bandwidth step

std::uint8_t Low(int value) { return static_cast<std::uint8_t>(value & 0xFF); }
std::uint8_t High(int value) { return static_cast<std::uint8_t>((value >> 8) & 0xFF); }
std::uint8_t Flag(int value) { return value != 0 ? 1 : 0; }

Bytes GainMute(const ParameterModel& model, int id, int slot) { return {Low(id), Low(model.gain[slot]), Flag(model.mute[slot])}; }
Bytes FlagAndZero(int id, int value) { return {Low(id), Flag(value), 0}; }
Bytes LowAndZero(int id, int value) { return {Low(id), Low(value), 0}; }
Bytes Filter(int id, int type, int freq) { return {Low(id), Low(type), High(freq), Low(freq), 0}; }

Bytes Delay(const ParameterModel& model)
{
    if (model.curChannel == kSlotSub) return {kDelayCodeSub, Low(model.delay[kSlotSub]), 0};
    return {kDelayCodeLeftRight, Low(model.delay[kSlotLeftRight]), 0};
}

// Bit 0..2: high shelf of bands 0..2; bit 4..6: low shelf of bands 0..2.
std::uint8_t ShelfFlags(const ParameterModel& model, int slot)
{
    std::uint8_t flags = 0;
    for (int band = 0; band < kPeqBands; ++band) {
        const int i = PeqIndex(slot, band);
        flags |= static_cast<std::uint8_t>(Flag(model.peqHiShelf[i]) << band);
        flags |= static_cast<std::uint8_t>(Flag(model.peqLoShelf[i]) << (band + 4));
    }
    return flags;
}

// The band being edited; a cursor outside the model's arrays is taken as
// band 0 of Left&Right, which is also what its wire code (5) names.
Bytes PeqBand(const ParameterModel& model)
{
    int slot = model.curChannel;
    int band = model.curBand;
    if (slot < 0 || slot >= kChannelSlots || band < 0 || band >= kPeqBands) slot = band = 0;
    std::uint8_t code = 5;
    if (slot == kSlotLeftRight) code = static_cast<std::uint8_t>(5 + 5 * band);
    if (slot == kSlotSub) code = static_cast<std::uint8_t>(24 + 5 * band);
    const int i = PeqIndex(slot, band);
    return {code,
            Low(model.peqGain[i]),
            Low(kBandwidthBase - model.peqBandwidth[i]),
            High(model.peqFreq[i]),
            Low(model.peqFreq[i]),
            Flag(model.peqFlat[i]),
            ShelfFlags(model, slot)};
}

}  // namespace

std::vector<std::uint8_t> ParameterPayload(const ParameterModel& model, int id)
{
    constexpr int L = kSlotLeftRight, S = kSlotSub;
    switch (id) {
        case PID_LR_GAIN:
        case PID_LR_MUTE:
            return GainMute(model, id, L);
        case PID_SUB_GAIN:
        case PID_SUB_MUTE:
            return GainMute(model, id, S);
        case PID_LR_PHASE:
            return FlagAndZero(id, model.polarity[L]);
        case PID_SUB_PHASE:
            return FlagAndZero(id, model.polarity[S]);
        case PID_DELAY:
            return Delay(model);
        case PID_LR_LIMIT_THRESHOLD:
            return LowAndZero(id, model.limThreshold[L]);
        case PID_SUB_LIMIT_THRESHOLD:
            return LowAndZero(id, model.limThreshold[S]);
        case PID_LR_LIMIT_ATTACK:
            return LowAndZero(id, model.limAttack[L]);
        case PID_SUB_LIMIT_ATTACK:
            return LowAndZero(id, model.limAttack[S]);
        case PID_LR_LIMIT_HOLD:
            return LowAndZero(id, model.limHold[L]);
        case PID_SUB_LIMIT_HOLD:
            return LowAndZero(id, model.limHold[S]);
        case PID_LR_LIMIT_DECAY:
            return LowAndZero(id, model.limDecay[L]);
        case PID_SUB_LIMIT_DECAY:
            return LowAndZero(id, model.limDecay[S]);
        case PID_LR_XOVER_ON:
            return FlagAndZero(id, model.xoverOn[L]);
        case PID_LR_HPF:
            return Filter(id, model.hpfType[L], model.hpfFreq[L]);
        case PID_LR_LPF:
            return Filter(id, model.lpfType[L], model.lpfFreq[L]);
        case PID_SUB_HPF:
            return Filter(id, model.hpfType[S], model.hpfFreq[S]);
        case PID_SUB_LPF:
            return Filter(id, model.lpfType[S], model.lpfFreq[S]);
        case PID_PEQ_FLAT:
        case PID_PEQ_GAIN:
        case PID_PEQ_FREQ:
        case PID_PEQ_BANDWIDTH:
            return PeqBand(model);
        case PID_RESET:
            return {Low(id), kResetConstants[0], kResetConstants[1]};
        default:
            return {};
    }
}
