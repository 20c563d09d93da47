// The fields of one output channel by name: the one table through which the
// command line, the JSON forms and any other reader name them. Each entry
// says where the value lives in the model, its scale and the steps its
// editor allows (model/Units.h turns them into values in units), and the
// parameter message that carries it to the unit.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "model/Model.h"
#include "model/Units.h"

struct ChannelField {
    const char* name;
    int (ParameterModel::*values)[kChannelSlots];
    ScaledSteps steps;
    int leftRightId;
    std::optional<int> subId;  // empty: no message carries it for the Sub

    int& In(ParameterModel& m, int slot) const { return (m.*values)[slot]; }
    int In(const ParameterModel& m, int slot) const { return (m.*values)[slot]; }
};

struct PeqField {
    const char* name;
    int (ParameterModel::*values)[kPeqEntries];
    ScaledSteps steps;
    int id;

    int& In(ParameterModel& m, int slot, int band) const { return (m.*values)[PeqIndex(slot, band)]; }
    int In(const ParameterModel& m, int slot, int band) const { return (m.*values)[PeqIndex(slot, band)]; }
};

// In the order of the JSON channel object.
std::span<const ChannelField> ChannelFields();
std::span<const PeqField> PeqFields();

const ChannelField* FindChannelField(std::string_view name);
const PeqField* FindPeqField(std::string_view name);
