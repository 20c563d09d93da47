#include "SettingTexts.h"

#include <functional>

#include "model/Model.h"
#include "model/Scales.h"

namespace {

std::string Trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

SettingRow Row(const std::string& label, const std::function<SettingValue(int slot)>& text)
{
    return {label, text(kSlotLeftRight), text(kSlotSub)};
}

SettingValue OnOff(int flag) { return {flag ? "On" : "Off"}; }

SettingValue Filter(int freqStep, int type) { return {FreqLabelAt(freqStep), Trimmed(FilterTypeNameAt(type))}; }

SettingValue Band(const ParameterModel& m, int slot, int band)
{
    const int j = PeqIndex(slot, band);
    SettingValue value{FreqLabelAt(m.peqFreq[j]), PeqGainText(m.peqGain[j]),
                       BandwidthText(m.peqBandwidth[j], m.peqHiShelf[j], m.peqLoShelf[j])};
    if (m.peqFlat[j]) value.push_back("FLAT");
    return value;
}

SettingValue Milliseconds(int timeStep) { return {LimiterTimeText(timeStep) + " ms"}; }

}  // namespace

std::vector<SettingGroup> ChannelSettingGroups(const ParameterModel& m)
{
    SettingRow crossover = Row("Crossover", [&m](int slot) { return OnOff(m.xoverOn[slot]); });
    crossover.sub = {"Always on"};  // only Left&Right can bypass its filters
    return {
        {"Output",
         {Row("Level", [&m](int slot) { return SettingValue{GainText(m.gain[slot])}; }),
          Row("Mute", [&m](int slot) { return OnOff(m.mute[slot]); }),
          Row("Polarity", [&m](int slot) { return SettingValue{m.polarity[slot] ? "180\u00b0" : "0\u00b0"}; }),
          Row("Delay",
              [&m](int slot) {
                  const int d = m.delay[slot];
                  return SettingValue{DelayMsText(d), DelayMetresText(d), DelayFeetText(d)};
              })}},
        {"Crossover",
         {Row("High Pass", [&m](int slot) { return Filter(m.hpfFreq[slot], m.hpfType[slot]); }),
          Row("Low Pass", [&m](int slot) { return Filter(m.lpfFreq[slot], m.lpfType[slot]); }), crossover}},
        {"PEQ",
         {Row("PEQ 1", [&m](int slot) { return Band(m, slot, 0); }),
          Row("PEQ 2", [&m](int slot) { return Band(m, slot, 1); }),
          Row("PEQ 3", [&m](int slot) { return Band(m, slot, 2); })}},
        {"Limiter",
         {Row("Threshold", [&m](int slot) { return SettingValue{ThresholdText(m.limThreshold[slot])}; }),
          Row("Attack Time", [&m](int slot) { return Milliseconds(m.limAttack[slot]); }),
          Row("Hold Time", [&m](int slot) { return Milliseconds(m.limHold[slot]); }),
          Row("Decay Time", [&m](int slot) { return Milliseconds(m.limDecay[slot]); })}},
    };
}
