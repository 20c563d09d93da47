#include "SettingLedger.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "link/ParameterMessages.h"
#include "model/ChannelFields.h"
#include "model/MemoryImage.h"

namespace {

using Image = std::array<std::uint8_t, kImageSize>;
using FieldRef = std::function<int&(ParameterModel&)>;

Image ImageOf(const ParameterModel& model)
{
    Image image{};
    ModelToImage(model, image.data());
    return image;
}

// Every field of both channels that a parameter message may carry.
const std::vector<FieldRef>& EveryField()
{
    static const std::vector<FieldRef> fields = [] {
        std::vector<FieldRef> all;
        for (const int slot : {kSlotLeftRight, kSlotSub}) {
            for (const ChannelField& field : ChannelFields())
                all.push_back([&field, slot](ParameterModel& m) -> int& { return field.In(m, slot); });
            for (int band = 0; band < kPeqBands; ++band)
                for (const PeqField& field : PeqFields())
                    all.push_back([&field, slot, band](ParameterModel& m) -> int& { return field.In(m, slot, band); });
        }
        return all;
    }();
    return fields;
}

void Apply(const FieldEdit& edit, ParameterModel& model)
{
    for (const FieldEdit::Assignment& assignment : edit.assignments) assignment.target(model) = assignment.step;
}

// The model with the edit cursor on the edited field, as an editor leaves it
// before sending: the delay and PEQ messages read the cursor.
void PointAt(ParameterModel& model, const FieldEdit& edit)
{
    model.curChannel = edit.slot;
    model.curBand = edit.band;
}

bool Edits(const FieldEdit& edit, ParameterModel& model, const int& value)
{
    return std::any_of(edit.assignments.begin(), edit.assignments.end(),
                       [&](const FieldEdit::Assignment& assignment) { return &assignment.target(model) == &value; });
}

}  // namespace

SettingLedger::SettingLedger(const ParameterModel& unit) : acknowledged_(unit), expected_(unit) {}

Payload SettingLedger::Edit(const FieldEdit& edit, Settled settled)
{
    Apply(edit, expected_);
    PointAt(expected_, edit);
    Payload payload = ParameterPayload(expected_, edit.parameterId);
    outstanding_.push_back({edit, payload, expected_, std::move(settled)});
    return payload;
}

SettingLedger::Passage SettingLedger::Sent(const Payload& payload, int result)
{
    // Identical payloads carry identical values, so the newest entry with
    // these bytes settles every entry of the message up to it (the unit has
    // the value they ask for, even if a copy of it is still to be sent).
    const auto newest = std::find_if(outstanding_.rbegin(), outstanding_.rend(),
                                     [&](const Outstanding& entry) { return entry.payload == payload; });
    if (newest == outstanding_.rend()) return {};
    const auto last = std::prev(newest.base());

    Passage passage;
    if (result == 0 && TakeCarriedFields(*last)) passage.changedSlot = last->edit.slot;
    std::vector<FieldEdit> settledEdits;
    const auto end = std::next(last);
    for (auto it = outstanding_.begin(); it != end;) {
        if (it->payload[0] != payload[0]) {
            ++it;
            continue;
        }
        settledEdits.push_back(it->edit);
        passage.settled.push_back(std::move(it->settled));
        it = outstanding_.erase(it);
    }
    if (result != 0) {
        // What the unit did not take is no longer asked for, unless asked again since.
        for (const FieldEdit& edit : settledEdits) {
            for (const FieldEdit::Assignment& assignment : edit.assignments) {
                int& value = assignment.target(expected_);
                const bool askedAgain =
                    std::any_of(outstanding_.begin(), outstanding_.end(),
                                [&](const Outstanding& entry) { return Edits(entry.edit, expected_, value); });
                if (!askedAgain) value = assignment.target(acknowledged_);
            }
        }
    }
    return passage;
}

// A message carries the edited field and perhaps others; a field is carried
// when putting the acknowledged value back into the model the payload was
// built from changes the payload. Returns whether a field changed.
bool SettingLedger::TakeCarriedFields(const Outstanding& entry)
{
    bool changed = false;
    ParameterModel built = entry.built;
    for (const FieldRef& field : EveryField()) {
        if (field(acknowledged_) == field(built)) continue;
        ParameterModel probe = built;
        field(probe) = field(acknowledged_);
        if (ParameterPayload(probe, entry.edit.parameterId) == entry.payload) continue;
        field(acknowledged_) = field(built);
        changed = true;
    }
    return changed;
}

void SettingLedger::RebuildExpected()
{
    const int channel = expected_.curChannel, band = expected_.curBand;
    expected_ = acknowledged_;
    for (const Outstanding& entry : outstanding_) Apply(entry.edit, expected_);
    expected_.curChannel = channel;
    expected_.curBand = band;
}

bool SettingLedger::ReplaceSetting(const ParameterModel& unit)
{
    const Image before = ImageOf(acknowledged_);
    const Image after = ImageOf(unit);
    ImageToModel(acknowledged_, after.data());
    RebuildExpected();
    return before != after;
}

void SettingLedger::ReplaceDirectory(const ParameterModel& unit)
{
    std::copy(std::begin(unit.memUsed), std::end(unit.memUsed), std::begin(acknowledged_.memUsed));
    std::memcpy(acknowledged_.memName, unit.memName, sizeof unit.memName);
}

std::vector<SettingLedger::Settled> SettingLedger::DropOutstanding()
{
    std::vector<Settled> settled;
    for (Outstanding& entry : outstanding_) settled.push_back(std::move(entry.settled));
    outstanding_.clear();
    RebuildExpected();
    return settled;
}
