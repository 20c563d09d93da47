#include "SettingLedger.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <iterator>

#include "link/ParameterMessages.h"
#include "model/MemoryImage.h"

namespace {

using Image = std::array<std::uint8_t, kImageSize>;

Image ImageOf(const ParameterModel& model)
{
    Image image{};
    ModelToImage(model, image.data());
    return image;
}

// The model with the edit cursor on the edited field, as an editor leaves it
// before sending: the delay and PEQ messages read the cursor.
void PointAt(ParameterModel& model, const FieldAddress& field)
{
    model.curChannel = field.Slot();
    model.curBand = std::max(field.Band(), 0);
}

Payload PayloadFor(ParameterModel model, const FieldAddress& field)
{
    PointAt(model, field);
    return ParameterPayload(model, field.ParameterId());
}

}  // namespace

SettingLedger::SettingLedger(const ParameterModel& unit) : acknowledged_(unit), expected_(unit) {}

SettingLedger::Plan SettingLedger::Edit(const FieldEdit& edit, Settled settled)
{
    edit.field.In(expected_) = edit.steps;
    PointAt(expected_, edit.field);
    Payload payload = ParameterPayload(expected_, edit.field.ParameterId());

    const auto sameMessage = std::find_if(outstanding_.rbegin(), outstanding_.rend(),
                                          [&](const Outstanding& entry) { return entry.payload[0] == payload[0]; });
    if (sameMessage != outstanding_.rend() && sameMessage->payload == payload) {
        sameMessage->settled.push_back(std::move(settled));
        return {Route::Joined, std::move(payload)};
    }
    if (sameMessage == outstanding_.rend() && PayloadFor(acknowledged_, edit.field) == payload)
        return {Route::AlreadyThere, std::move(payload)};
    outstanding_.push_back({edit, payload, expected_, {std::move(settled)}});
    return {Route::Send, std::move(payload)};
}

SettingLedger::Passage SettingLedger::Sent(const Payload& payload, int result)
{
    // Identical payloads carry identical values, so the newest entry with
    // these bytes settles every entry of the message up to it.
    const auto newest = std::find_if(outstanding_.rbegin(), outstanding_.rend(),
                                     [&](const Outstanding& entry) { return entry.payload == payload; });
    if (newest == outstanding_.rend()) return {};
    const auto last = std::prev(newest.base());

    Passage passage;
    if (result == 0 && TakeCarriedFields(*last)) passage.changedSlot = last->edit.field.Slot();
    std::vector<FieldAddress> settledFields;
    const auto end = std::next(last);
    for (auto it = outstanding_.begin(); it != end;) {
        if (it->payload[0] != payload[0]) {
            ++it;
            continue;
        }
        settledFields.push_back(it->edit.field);
        std::move(it->settled.begin(), it->settled.end(), std::back_inserter(passage.settled));
        it = outstanding_.erase(it);
    }
    if (result == 0) {
        passage.resend = Repairs();
    } else {
        // What the unit did not take is no longer asked for, unless asked again since.
        for (const FieldAddress& field : settledFields) {
            const bool askedAgain = std::any_of(
                outstanding_.begin(), outstanding_.end(),
                [&](const Outstanding& entry) { return &entry.edit.field.In(expected_) == &field.In(expected_); });
            if (!askedAgain) field.In(expected_) = field.In(acknowledged_);
        }
    }
    return passage;
}

// A field the unit holds otherwise than last asked, with no message of its
// own on the way, is sent again (once per message).
std::vector<Payload> SettingLedger::Repairs()
{
    std::vector<Payload> repairs;
    for (const FieldAddress& field : EditableFields()) {
        if (field.In(acknowledged_) == field.In(expected_)) continue;
        Payload payload = PayloadFor(expected_, field);
        if (OnTheWay(payload[0])) continue;
        ParameterModel built = expected_;
        PointAt(built, field);
        outstanding_.push_back({{field, field.In(expected_)}, payload, built, {}});
        repairs.push_back(std::move(payload));
    }
    return repairs;
}

bool SettingLedger::OnTheWay(std::uint8_t code) const
{
    return std::any_of(outstanding_.begin(), outstanding_.end(),
                       [code](const Outstanding& entry) { return entry.payload[0] == code; });
}

// A message carries the edited field and perhaps others; a field is carried
// when putting the acknowledged value back into the model the payload was
// built from changes the payload. Returns whether a field changed.
bool SettingLedger::TakeCarriedFields(const Outstanding& entry)
{
    bool changed = false;
    for (const FieldAddress& field : EditableFields()) {
        if (field.In(acknowledged_) == field.In(entry.built)) continue;
        ParameterModel probe = entry.built;
        field.In(probe) = field.In(acknowledged_);
        if (ParameterPayload(probe, entry.edit.field.ParameterId()) == entry.payload) continue;
        field.In(acknowledged_) = field.In(entry.built);
        changed = true;
    }
    return changed;
}

void SettingLedger::RebuildExpected()
{
    const int channel = expected_.curChannel, band = expected_.curBand;
    expected_ = acknowledged_;
    for (const Outstanding& entry : outstanding_) entry.edit.field.In(expected_) = entry.edit.steps;
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
    for (Outstanding& entry : outstanding_)
        std::move(entry.settled.begin(), entry.settled.end(), std::back_inserter(settled));
    outstanding_.clear();
    RebuildExpected();
    return settled;
}
