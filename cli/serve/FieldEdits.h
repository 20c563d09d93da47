// The fields of the unit's setting as the remote names them, and how a
// request's value becomes a field's steps and steps become a text in units.
//
// A field is addressed with the words of `quenbar-cli set`: CHANNEL FIELD or
// CHANNEL peq BAND FIELD. This file is the remote's one reader of the field
// table; a value written in units is turned into steps by FieldValueFromText
// and nowhere else.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "ChannelFields.h"
#include "model/Model.h"

// One field of one channel (and band): where it lives in the model, its
// editor's range and the parameter message that carries it.
class FieldAddress {
public:
    static FieldAddress Channel(int slot, const ChannelField& field) { return {slot, -1, &field, nullptr}; }
    static FieldAddress Peq(int slot, int band, const PeqField& field) { return {slot, band, nullptr, &field}; }

    int Slot() const { return slot_; }
    int Band() const { return band_; }  // -1 for a channel field
    bool IsPeq() const { return peq_ != nullptr; }
    const char* FieldName() const { return peq_ ? peq_->name : channel_->name; }
    // "lr gain", "sub peq 1 freq": the words that name it.
    std::string Words() const;
    int Min() const { return peq_ ? peq_->min : channel_->min; }
    int Max() const { return peq_ ? peq_->max : channel_->max; }
    int ParameterId() const;

    int& In(ParameterModel& model) const;
    int In(const ParameterModel& model) const;

private:
    FieldAddress(int slot, int band, const ChannelField* channel, const PeqField* peq)
        : slot_(slot), band_(band), channel_(channel), peq_(peq)
    {
    }

    int slot_;
    int band_;
    const ChannelField* channel_;
    const PeqField* peq_;
};

struct FieldEdit {
    FieldAddress field;
    int steps;
};

// "lr" or "sub" for model slot 0 or 2.
const char* ChannelName(int slot);

// The field named by the channel and the words after it (FIELD, or peq BAND
// FIELD), by the rules of `quenbar-cli set`. Throws RequestError 400.
FieldAddress ParseFieldAddress(std::string_view channel, const std::vector<std::string>& words);

// A request's value for the field: a JSON integer is steps, a JSON string is
// read by FieldValueFromText. The steps must lie in the editor's range.
// Throws RequestError 400 with the reason.
int ParseFieldValue(const FieldAddress& field, const nlohmann::json& value);

// A value written as text. Today it takes steps written as a whole number;
// values in units ("-3.5dB", "1.2k") are read here once the core's field
// table converts them. Throws RequestError 400.
int FieldValueFromText(const FieldAddress& field, const std::string& text);

// The field's value in units, as the editors show it.
std::string FieldText(const FieldAddress& field, int steps);

// Every field of both channels that a parameter message carries.
const std::vector<FieldAddress>& EditableFields();

// Per field name: its range and the text of every step, {"gain": {"min":8,
// "max":140,"texts":[...]}, ..., "peq": {...}}, so that a page shows units
// while a control moves.
nlohmann::ordered_json ScalesJson();

// The setting in units: the shape of ChannelJson and SettingsJson with
// texts for steps.
nlohmann::ordered_json ChannelTextJson(const ParameterModel& model, int slot);
nlohmann::ordered_json SettingsTextJson(const ParameterModel& model);
