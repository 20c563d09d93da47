// Changes of the setting field by field: what differs between two settings,
// how a change is put back or forward, the messages that take the unit from
// one setting to another, and the words that name a change.
//
// The setting is every channel and PEQ field of the two channel slots that
// are edited, sent and stored (Left&Right and Sub): what a memory image holds.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "model/ChannelFields.h"

// One field of the setting: a channel field of a slot, or a PEQ field of one
// of its bands.
struct SettingField {
    const ChannelField* channel = nullptr;  // exactly one of the two is set
    const PeqField* peq = nullptr;
    int slot = kSlotLeftRight;
    int band = 0;  // PEQ fields only

    int& In(ParameterModel& model) const;
    int In(const ParameterModel& model) const;
    // The parameter message that carries the field; 0 when none does (the
    // Sub's crossover switch).
    int ParameterId() const;
    bool operator==(const SettingField&) const = default;
};

struct FieldChange {
    SettingField field;
    int before;
    int after;
};

// Every field whose value differs, Left&Right before Sub, channel fields
// before PEQ fields, each in table order.
std::vector<FieldChange> SettingDifferences(const ParameterModel& before, const ParameterModel& after);

// Whether the two hold the same setting (nothing else is compared).
bool SameSetting(const ParameterModel& a, const ParameterModel& b);

// Each field takes its value before or after the changes.
void PutBefore(ParameterModel& model, std::span<const FieldChange> changes);
void PutAfter(ParameterModel& model, std::span<const FieldChange> changes);

// The changes in the order their messages keep the sound sane: first those
// whose message only brings a level down (a lower output level, a mute
// switched on), then those of messages that change no level, last those of
// messages that raise one; otherwise as given.
std::vector<FieldChange> SendingOrder(std::span<const FieldChange> changes);

// One parameter message between two settings: the message, the slot and
// band its cursor points at, and the changes of the fields it carries.
struct SettingMessage {
    int parameterId;
    int slot;
    int band;
    std::vector<FieldChange> changes;
};

// The messages that take a unit holding `unit` to `target`: one for each
// message that carries a field in which they differ (none for a field no
// message carries), in SendingOrder of their first change.
std::vector<SettingMessage> SettingMessages(const ParameterModel& unit, const ParameterModel& target);

// The payloads (unframed) of SettingMessages, built from `target`, so every
// field a message carries gets the target's value.
std::vector<std::vector<std::uint8_t>> MessagesBetween(const ParameterModel& unit, const ParameterModel& target);

// A channel slot as the history's words name it: "Left & Right", "Sub".
const char* ChannelCaption(int slot);

// What a change did, for a menu: "Level Left & Right −3.5 dB", "PEQ 2 Gain
// Sub +1.5 dB", "Mute Sub on"; for several fields the first one's words and
// how many more ("Level Left & Right −3.5 dB and 2 more"). Empty for none.
std::string DescribeChanges(std::span<const FieldChange> changes);
