// The settings of both output channels in words, as the output page and its
// dialogs show them, grouped as the page groups them.
#pragma once

#include <string>
#include <vector>

struct ParameterModel;

// A value may have parts, such as a PEQ band's frequency, gain and
// bandwidth; a report lines the parts up in columns.
using SettingValue = std::vector<std::string>;

struct SettingRow {
    std::string label;
    SettingValue leftRight;
    SettingValue sub;
};

struct SettingGroup {
    std::string title;
    std::vector<SettingRow> rows;
};

// Output (level, mute, polarity, delay), Crossover, PEQ and Limiter, every
// field of both channels once.
std::vector<SettingGroup> ChannelSettingGroups(const ParameterModel& model);
