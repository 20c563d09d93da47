#include "model/ChannelFields.h"

#include <algorithm>
#include <array>

// The message ids are constants of the link layer; only they are used here.
#include "model/ParameterIds.h"
#include "model/Scales.h"

namespace {

using M = ParameterModel;

// In the order of the JSON channel object.
const std::array<ChannelField, 13> kChannelFields{{
    {"gain", &M::gain, {Scale::Level, kGainStepMin, kGainStepMax}, PID_LR_GAIN, PID_SUB_GAIN},
    {"mute", &M::mute, {Scale::Switch, 0, 1}, PID_LR_MUTE, PID_SUB_MUTE},
    {"polarity", &M::polarity, {Scale::Switch, 0, 1}, PID_LR_PHASE, PID_SUB_PHASE},
    {"delay", &M::delay, {Scale::Delay, 0, kDelayStepMax}, PID_DELAY, PID_DELAY},
    {"hpfType", &M::hpfType, {Scale::FilterType, 0, 25}, PID_LR_HPF, PID_SUB_HPF},
    {"hpfFreq", &M::hpfFreq, {Scale::Frequency, 0, kFreqStepHighest}, PID_LR_HPF, PID_SUB_HPF},
    {"lpfType", &M::lpfType, {Scale::FilterType, 0, 25}, PID_LR_LPF, PID_SUB_LPF},
    {"lpfFreq", &M::lpfFreq, {Scale::Frequency, 0, kFreqStepHighest}, PID_LR_LPF, PID_SUB_LPF},
    {"xoverOn", &M::xoverOn, {Scale::Switch, 0, 1}, PID_LR_XOVER_ON, std::nullopt},
    {"limThreshold",
     &M::limThreshold,
     {Scale::Threshold, kThresholdStepOff, kThresholdStepMax},
     PID_LR_LIMIT_THRESHOLD,
     PID_SUB_LIMIT_THRESHOLD},
    {"limAttack", &M::limAttack, {Scale::LimiterTime, 1, 100}, PID_LR_LIMIT_ATTACK, PID_SUB_LIMIT_ATTACK},
    {"limHold", &M::limHold, {Scale::LimiterTime, 1, 100}, PID_LR_LIMIT_HOLD, PID_SUB_LIMIT_HOLD},
    {"limDecay", &M::limDecay, {Scale::LimiterTime, 1, 100}, PID_LR_LIMIT_DECAY, PID_SUB_LIMIT_DECAY},
}};

// The shelf switches sit beside the bandwidth in the PEQ editor and send
// its message; all four PEQ messages carry the whole band anyway.
const std::array<PeqField, 6> kPeqFields{{
    {"freq", &M::peqFreq, {Scale::Frequency, 0, kFreqStepHighest}, PID_PEQ_FREQ},
    {"gain", &M::peqGain, {Scale::PeqGain, 8, 248}, PID_PEQ_GAIN},
    {"bandwidth",
     &M::peqBandwidth,
     {Scale::Bandwidth, kBandwidthStepNarrowest, kBandwidthStepWidest},
     PID_PEQ_BANDWIDTH},
    {"flat", &M::peqFlat, {Scale::Switch, 0, 1}, PID_PEQ_FLAT},
    {"hiShelf", &M::peqHiShelf, {Scale::Switch, 0, 1}, PID_PEQ_BANDWIDTH},
    {"loShelf", &M::peqLoShelf, {Scale::Switch, 0, 1}, PID_PEQ_BANDWIDTH},
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
