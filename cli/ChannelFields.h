// The model fields of one output channel as the command line names them:
// the key in the JSON channel object, where the value lives in the model,
// the range its editor allows, and the parameter message that carries it.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "model/Model.h"

struct ChannelField {
    const char* name;
    int (ParameterModel::*values)[kChannelSlots];
    int min;
    int max;
    int leftRightId;
    std::optional<int> subId;  // empty: no message carries it for the Sub

    int& In(ParameterModel& m, int slot) const { return (m.*values)[slot]; }
    int In(const ParameterModel& m, int slot) const { return (m.*values)[slot]; }
};

struct PeqField {
    const char* name;
    int (ParameterModel::*values)[kPeqEntries];
    int min;
    int max;
    int id;

    int& In(ParameterModel& m, int slot, int band) const { return (m.*values)[PeqIndex(slot, band)]; }
    int In(const ParameterModel& m, int slot, int band) const { return (m.*values)[PeqIndex(slot, band)]; }
};

std::span<const ChannelField> ChannelFields();
std::span<const PeqField> PeqFields();

const ChannelField* FindChannelField(std::string_view name);
const PeqField* FindPeqField(std::string_view name);
