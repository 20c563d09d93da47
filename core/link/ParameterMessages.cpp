#include "link/ParameterMessages.h"

#include <algorithm>
#include <utility>

#include "link/Frame.h"
#include "model/Model.h"
#include "model/Scales.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kDelayCodeLeftRight = 122;
constexpr std::uint8_t kDelayCodeSub = 79;
constexpr std::uint8_t kResetConstants[2] = {0x10, 0x23};
constexpr int kBandwidthBase = 43;  // the wire carries 43 - bandwidth step

std::uint8_t Low8(int value) { return static_cast<std::uint8_t>(value & 0xFF); }

// Gives each byte of a message from the model.
struct PayloadBuilder {
    const ParameterModel& model;
    Bytes bytes;

    void Code(int code) { bytes.push_back(Low8(code)); }
    void Constant(std::uint8_t byte) { bytes.push_back(byte); }
    void Byte(int value) { bytes.push_back(Low8(value)); }
    void Flag(int value) { bytes.push_back(value != 0 ? 1 : 0); }
    void Word(int value)
    {
        bytes.push_back(Low8(value >> 8));
        bytes.push_back(Low8(value));
    }
    void Bandwidth(int step) { bytes.push_back(Low8(kBandwidthBase - step)); }
    // Bit 0..2: high shelf of bands 0..2; bit 4..6: low shelf of bands 0..2.
    void Shelves(int slot)
    {
        std::uint8_t flags = 0;
        for (int band = 0; band < kPeqBands; ++band) {
            const int i = PeqIndex(slot, band);
            flags |= static_cast<std::uint8_t>((model.peqHiShelf[i] != 0 ? 1 : 0) << band);
            flags |= static_cast<std::uint8_t>((model.peqLoShelf[i] != 0 ? 1 : 0) << (band + 4));
        }
        bytes.push_back(flags);
    }
};

// Takes each byte of a message into the model: the builder's way back.
// `ok` turns false at a byte the builder could not have made.
struct PayloadReader {
    ParameterModel& model;
    std::span<const std::uint8_t> bytes;
    std::size_t next = 0;
    bool ok = true;

    int Take()
    {
        if (next >= bytes.size()) {
            ok = false;
            return 0;
        }
        return bytes[next++];
    }
    void Code(int code) { ok = ok && Take() == Low8(code); }
    void Constant(std::uint8_t byte) { ok = ok && Take() == byte; }
    void Byte(int& value) { value = Take(); }
    void Flag(int& value)
    {
        value = Take();
        ok = ok && value <= 1;
    }
    void Word(int& value)
    {
        const int high = Take();
        value = high << 8 | Take();
    }
    void Bandwidth(int& step) { step = kBandwidthBase - Take(); }
    void Shelves(int slot)
    {
        const int flags = Take();
        for (int band = 0; band < kPeqBands; ++band) {
            model.peqHiShelf[PeqIndex(slot, band)] = flags >> band & 1;
            model.peqLoShelf[PeqIndex(slot, band)] = flags >> (band + 4) & 1;
        }
        ok = ok && (flags & 0x88) == 0;
    }
};

// The bytes of message `id` in order, for the channel slot and PEQ band
// the delay and PEQ messages are about. One walk serves both directions,
// so what is sent and what a log reads back cannot disagree.
template <class Wire>
void WalkMessage(Wire& wire, int id, int slot, int band)
{
    auto& m = wire.model;
    constexpr int L = kSlotLeftRight, S = kSlotSub;
    switch (id) {
        case PID_LR_GAIN:
        case PID_LR_MUTE:
        case PID_SUB_GAIN:
        case PID_SUB_MUTE: {
            const int channel = id == PID_LR_GAIN || id == PID_LR_MUTE ? L : S;
            wire.Code(id);
            wire.Byte(m.gain[channel]);
            wire.Flag(m.mute[channel]);
            return;
        }
        case PID_DELAY: {
            const int channel = slot == S ? S : L;
            wire.Code(channel == S ? kDelayCodeSub : kDelayCodeLeftRight);
            wire.Byte(m.delay[channel]);
            wire.Constant(0);
            return;
        }
        case PID_PEQ_FLAT:
        case PID_PEQ_GAIN:
        case PID_PEQ_FREQ:
        case PID_PEQ_BANDWIDTH: {
            const int i = PeqIndex(slot, band);
            // Slot 1 is never edited; its code stays the first band's.
            wire.Code(slot == L ? 5 + 5 * band : slot == S ? 24 + 5 * band : 5);
            wire.Byte(m.peqGain[i]);
            wire.Bandwidth(m.peqBandwidth[i]);
            wire.Word(m.peqFreq[i]);
            wire.Flag(m.peqFlat[i]);
            wire.Shelves(slot);
            return;
        }
        case PID_RESET:
            wire.Code(id);
            wire.Constant(kResetConstants[0]);
            wire.Constant(kResetConstants[1]);
            return;
        default:
            break;
    }
    wire.Code(id);
    const auto flagAndZero = [&wire](auto& field) {
        wire.Flag(field);
        wire.Constant(0);
    };
    const auto byteAndZero = [&wire](auto& field) {
        wire.Byte(field);
        wire.Constant(0);
    };
    const auto filter = [&wire](auto& type, auto& freq) {
        wire.Byte(type);
        wire.Word(freq);
        wire.Constant(0);
    };
    switch (id) {
        case PID_LR_PHASE:
            return flagAndZero(m.polarity[L]);
        case PID_SUB_PHASE:
            return flagAndZero(m.polarity[S]);
        case PID_LR_XOVER_ON:
            return flagAndZero(m.xoverOn[L]);
        case PID_LR_LIMIT_THRESHOLD:
            return byteAndZero(m.limThreshold[L]);
        case PID_SUB_LIMIT_THRESHOLD:
            return byteAndZero(m.limThreshold[S]);
        case PID_LR_LIMIT_ATTACK:
            return byteAndZero(m.limAttack[L]);
        case PID_SUB_LIMIT_ATTACK:
            return byteAndZero(m.limAttack[S]);
        case PID_LR_LIMIT_HOLD:
            return byteAndZero(m.limHold[L]);
        case PID_SUB_LIMIT_HOLD:
            return byteAndZero(m.limHold[S]);
        case PID_LR_LIMIT_DECAY:
            return byteAndZero(m.limDecay[L]);
        case PID_SUB_LIMIT_DECAY:
            return byteAndZero(m.limDecay[S]);
        case PID_LR_HPF:
            return filter(m.hpfType[L], m.hpfFreq[L]);
        case PID_LR_LPF:
            return filter(m.lpfType[L], m.lpfFreq[L]);
        case PID_SUB_HPF:
            return filter(m.hpfType[S], m.hpfFreq[S]);
        case PID_SUB_LPF:
            return filter(m.lpfType[S], m.lpfFreq[S]);
        default:
            return;
    }
}

bool IsParameterId(int id)
{
    return std::find(std::begin(kAllParameterIds), std::end(kAllParameterIds), id) != std::end(kAllParameterIds);
}

// The delay and PEQ messages are about the channel and band being edited; a
// cursor outside the model's arrays is taken as band 0 of Left&Right, which
// is also what its wire code (5) names.
std::pair<int, int> Cursor(const ParameterModel& model)
{
    const int slot = model.curChannel, band = model.curBand;
    if (slot < 0 || slot >= kChannelSlots || band < 0 || band >= kPeqBands) return {kSlotLeftRight, 0};
    return {slot, band};
}

}  // namespace

std::vector<std::uint8_t> ParameterPayload(const ParameterModel& model, int id)
{
    if (!IsParameterId(id)) return {};
    const auto [slot, band] = Cursor(model);
    PayloadBuilder builder{model, {}};
    WalkMessage(builder, id, slot, band);
    return builder.bytes;
}

std::optional<ParameterReading> ReadParameterPayload(std::span<const std::uint8_t> payload)
{
    if (payload.empty()) return std::nullopt;
    ParameterReading reading{};
    LoadDefaults(reading.values);
    // The message whose first byte and length the payload has, found by
    // building each one: no second table of codes to keep in step.
    for (const int id : kAllParameterIds)
        for (const int slot : {kSlotLeftRight, kSlotSub})
            for (int band = 0; band < kPeqBands; ++band) {
                PayloadBuilder builder{reading.values, {}};
                WalkMessage(builder, id, slot, band);
                if (builder.bytes.size() != payload.size() || builder.bytes[0] != payload[0]) continue;
                PayloadReader reader{reading.values, payload};
                WalkMessage(reader, id, slot, band);
                if (!reader.ok) return std::nullopt;
                reading.id = id;
                reading.slot = slot;
                reading.band = band;
                return reading;
            }
    return std::nullopt;
}

namespace {

const char* ChannelName(int slot) { return slot == kSlotSub ? "Sub" : "Left&Right"; }
std::string OnOff(int flag) { return flag != 0 ? "on" : "off"; }

std::string DescribeFilter(const char* side, int slot, int type, int freq)
{
    return std::string(side) + " " + ChannelName(slot) + " " + FilterTypeNameAt(type) + " " + FreqLabelAt(freq);
}

std::string DescribePeq(const ParameterReading& reading)
{
    const ParameterModel& m = reading.values;
    const int i = PeqIndex(reading.slot, reading.band);
    return "PEQ " + std::string(ChannelName(reading.slot)) + " band " + std::to_string(reading.band + 1) + ": " +
           PeqGainText(m.peqGain[i]) + " " + FreqLabelAt(m.peqFreq[i]) + " " +
           BandwidthText(m.peqBandwidth[i], m.peqHiShelf[i], m.peqLoShelf[i]) + ", flat " + OnOff(m.peqFlat[i]);
}

}  // namespace

std::string DescribeParameter(const ParameterReading& reading)
{
    const ParameterModel& m = reading.values;
    constexpr int L = kSlotLeftRight, S = kSlotSub;
    const std::string lr = ChannelName(L), sub = ChannelName(S);
    switch (reading.id) {
        case PID_LR_GAIN:
            return "gain " + lr + " " + GainText(m.gain[L]);
        case PID_SUB_GAIN:
            return "gain " + sub + " " + GainText(m.gain[S]);
        case PID_LR_MUTE:
            return "mute " + lr + " " + OnOff(m.mute[L]);
        case PID_SUB_MUTE:
            return "mute " + sub + " " + OnOff(m.mute[S]);
        case PID_LR_PHASE:
            return "polarity " + lr + (m.polarity[L] ? " 180" : " 0");
        case PID_SUB_PHASE:
            return "polarity " + sub + (m.polarity[S] ? " 180" : " 0");
        case PID_DELAY:
            return "delay " + std::string(ChannelName(reading.slot)) + " " + DelayMsText(m.delay[reading.slot]);
        case PID_LR_LIMIT_THRESHOLD:
            return "limiter threshold " + lr + " " + ThresholdText(m.limThreshold[L]);
        case PID_SUB_LIMIT_THRESHOLD:
            return "limiter threshold " + sub + " " + ThresholdText(m.limThreshold[S]);
        case PID_LR_LIMIT_ATTACK:
            return "limiter attack " + lr + " " + LimiterTimeText(m.limAttack[L]) + " ms";
        case PID_SUB_LIMIT_ATTACK:
            return "limiter attack " + sub + " " + LimiterTimeText(m.limAttack[S]) + " ms";
        case PID_LR_LIMIT_HOLD:
            return "limiter hold " + lr + " " + LimiterTimeText(m.limHold[L]) + " ms";
        case PID_SUB_LIMIT_HOLD:
            return "limiter hold " + sub + " " + LimiterTimeText(m.limHold[S]) + " ms";
        case PID_LR_LIMIT_DECAY:
            return "limiter decay " + lr + " " + LimiterTimeText(m.limDecay[L]) + " ms";
        case PID_SUB_LIMIT_DECAY:
            return "limiter decay " + sub + " " + LimiterTimeText(m.limDecay[S]) + " ms";
        case PID_LR_XOVER_ON:
            return "crossover " + lr + " " + OnOff(m.xoverOn[L]);
        case PID_LR_HPF:
            return DescribeFilter("high-pass", L, m.hpfType[L], m.hpfFreq[L]);
        case PID_LR_LPF:
            return DescribeFilter("low-pass", L, m.lpfType[L], m.lpfFreq[L]);
        case PID_SUB_HPF:
            return DescribeFilter("high-pass", S, m.hpfType[S], m.hpfFreq[S]);
        case PID_SUB_LPF:
            return DescribeFilter("low-pass", S, m.lpfType[S], m.lpfFreq[S]);
        case PID_RESET:
            return "reset to the factory setting";
        default:
            return DescribePeq(reading);
    }
}
