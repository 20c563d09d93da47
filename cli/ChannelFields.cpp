#include "ChannelFields.h"

#include <algorithm>
#include <array>

#include "link/ParameterMessages.h"

namespace {

using M = ParameterModel;

// In the order of the JSON channel object.
const std::array<ChannelField, 13> kChannelFields{{
    {"gain", &M::gain, 8, 140, PID_LR_GAIN, PID_SUB_GAIN},
    {"mute", &M::mute, 0, 1, PID_LR_MUTE, PID_SUB_MUTE},
    {"polarity", &M::polarity, 0, 1, PID_LR_PHASE, PID_SUB_PHASE},
    {"delay", &M::delay, 0, 125, PID_DELAY, PID_DELAY},
    {"hpfType", &M::hpfType, 0, 25, PID_LR_HPF, PID_SUB_HPF},
    {"hpfFreq", &M::hpfFreq, 0, 394, PID_LR_HPF, PID_SUB_HPF},
    {"lpfType", &M::lpfType, 0, 25, PID_LR_LPF, PID_SUB_LPF},
    {"lpfFreq", &M::lpfFreq, 0, 394, PID_LR_LPF, PID_SUB_LPF},
    {"xoverOn", &M::xoverOn, 0, 1, PID_LR_XOVER_ON, std::nullopt},
    {"limThreshold", &M::limThreshold, 11, 62, PID_LR_LIMIT_THRESHOLD, PID_SUB_LIMIT_THRESHOLD},
    {"limAttack", &M::limAttack, 1, 100, PID_LR_LIMIT_ATTACK, PID_SUB_LIMIT_ATTACK},
    {"limHold", &M::limHold, 1, 100, PID_LR_LIMIT_HOLD, PID_SUB_LIMIT_HOLD},
    {"limDecay", &M::limDecay, 1, 100, PID_LR_LIMIT_DECAY, PID_SUB_LIMIT_DECAY},
}};

// The shelf switches sit beside the bandwidth in the PEQ editor and send
// its message; all four PEQ messages carry the whole band anyway.
const std::array<PeqField, 6> kPeqFields{{
    {"freq", &M::peqFreq, 0, 394, PID_PEQ_FREQ},
    {"gain", &M::peqGain, 8, 248, PID_PEQ_GAIN},
    {"bandwidth", &M::peqBandwidth, 2, 41, PID_PEQ_BANDWIDTH},
    {"flat", &M::peqFlat, 0, 1, PID_PEQ_FLAT},
    {"hiShelf", &M::peqHiShelf, 0, 1, PID_PEQ_BANDWIDTH},
    {"loShelf", &M::peqLoShelf, 0, 1, PID_PEQ_BANDWIDTH},
}};

template <typename Field>
const Field* FindByName(std::span<const Field> fields, std::string_view name)
{
    const auto it = std::find_if(fields.begin(), fields.end(), [name](const Field& f) { return name == f.name; });
    return it == fields.end() ? nullptr : &*it;
}

}  // namespace

std::span<const ChannelField> ChannelFields() { return kChannelFields; }
std::span<const PeqField> PeqFields() { return kPeqFields; }

const ChannelField* FindChannelField(std::string_view name) { return FindByName(ChannelFields(), name); }
const PeqField* FindPeqField(std::string_view name) { return FindByName(PeqFields(), name); }
