#include "history/SettingChanges.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "link/ParameterMessages.h"
#include "model/Units.h"

namespace {

constexpr int kEditedSlots[] = {kSlotLeftRight, kSlotSub};

// Every field of the setting, in the order SettingDifferences gives them.
std::vector<SettingField> AllSettingFields()
{
    std::vector<SettingField> fields;
    for (const int slot : kEditedSlots) {
        for (const ChannelField& field : ChannelFields()) fields.push_back({&field, nullptr, slot, 0});
        for (int band = 0; band < kPeqBands; ++band)
            for (const PeqField& field : PeqFields()) fields.push_back({nullptr, &field, slot, band});
    }
    return fields;
}

const std::vector<SettingField>& SettingFields()
{
    static const std::vector<SettingField> fields = AllSettingFields();
    return fields;
}

// How a change moves the loudness of its channel.
enum class LevelMove { Down, None, Up };

LevelMove MoveOf(const FieldChange& change)
{
    const ChannelField* field = change.field.channel;
    if (field == nullptr) return LevelMove::None;
    if (std::strcmp(field->name, "gain") == 0) return change.after < change.before ? LevelMove::Down : LevelMove::Up;
    if (std::strcmp(field->name, "mute") == 0) return change.after != 0 ? LevelMove::Down : LevelMove::Up;
    return LevelMove::None;
}

// Messages that carry the same fields: the gain's and the mute's of a
// channel carry both, every PEQ message of a band carries the whole band.
struct MessageKey {
    int carrier;
    int slot;
    int band;
    bool operator==(const MessageKey&) const = default;
};

MessageKey KeyOf(const SettingField& field)
{
    if (field.peq) return {PID_PEQ_FLAT, field.slot, field.band};
    int id = field.ParameterId();
    if (id == PID_LR_MUTE) id = PID_LR_GAIN;
    if (id == PID_SUB_MUTE) id = PID_SUB_GAIN;
    return {id, field.slot, 0};
}

// The menu's name of a channel field.
std::string ChannelFieldCaption(const ChannelField& field)
{
    static const std::pair<const char*, const char*> captions[] = {
        {"gain", "Level"},
        {"mute", "Mute"},
        {"polarity", "Polarity 180"},
        {"delay", "Delay"},
        {"hpfType", "High Pass Type"},
        {"hpfFreq", "High Pass"},
        {"lpfType", "Low Pass Type"},
        {"lpfFreq", "Low Pass"},
        {"xoverOn", "Crossover"},
        {"limThreshold", "Limit Threshold"},
        {"limAttack", "Limit Attack"},
        {"limHold", "Limit Hold"},
        {"limDecay", "Limit Decay"},
    };
    for (const auto& [name, caption] : captions)
        if (std::strcmp(field.name, name) == 0) return caption;
    return field.name;
}

std::string PeqFieldCaption(const PeqField& field, int band)
{
    static const std::pair<const char*, const char*> captions[] = {
        {"freq", "Frequency"}, {"gain", "Gain"},          {"bandwidth", "Bandwidth"},
        {"flat", "Flat"},      {"hiShelf", "High Shelf"}, {"loShelf", "Low Shelf"},
    };
    std::string caption = field.name;
    for (const auto& [name, text] : captions)
        if (std::strcmp(field.name, name) == 0) caption = text;
    return "PEQ " + std::to_string(band + 1) + " " + caption;
}

// A step as the menu shows it: the typed text with a minus sign for the
// hyphen and a blank before the unit ("−3.5 dB", "1.00 kHz", "on").
// Built by appends: GCC 12 warns of overlapping copies (-Wrestrict) in an
// optimised string insert or replace.
std::string MenuValueText(Scale scale, int step)
{
    const std::string text = StepText(scale, step);
    if (StepWord(scale, step)) return text;
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view digits = std::string_view(text).substr(negative ? 1 : 0);
    const std::size_t unitStart = digits.find_last_of("0123456789") + 1;
    std::string menu = negative ? "\u2212" : "";
    if (unitStart == 0 || unitStart == digits.size()) return menu.append(digits);
    return menu.append(digits.substr(0, unitStart)).append(" ").append(digits.substr(unitStart));
}

std::string DescribeChange(const FieldChange& change)
{
    const SettingField& field = change.field;
    const std::string caption =
        field.channel ? ChannelFieldCaption(*field.channel) : PeqFieldCaption(*field.peq, field.band);
    const Scale scale = field.channel ? field.channel->steps.scale : field.peq->steps.scale;
    return caption + " " + ChannelCaption(field.slot) + " " + MenuValueText(scale, change.after);
}

}  // namespace

const char* ChannelCaption(int slot) { return slot == kSlotSub ? "Sub" : "Left & Right"; }

int& SettingField::In(ParameterModel& model) const
{
    return channel ? channel->In(model, slot) : peq->In(model, slot, band);
}

int SettingField::In(const ParameterModel& model) const
{
    return channel ? channel->In(model, slot) : peq->In(model, slot, band);
}

int SettingField::ParameterId() const
{
    if (peq) return peq->id;
    return slot == kSlotSub ? channel->subId.value_or(0) : channel->leftRightId;
}

std::vector<FieldChange> SettingDifferences(const ParameterModel& before, const ParameterModel& after)
{
    std::vector<FieldChange> changes;
    for (const SettingField& field : SettingFields())
        if (field.In(before) != field.In(after)) changes.push_back({field, field.In(before), field.In(after)});
    return changes;
}

bool SameSetting(const ParameterModel& a, const ParameterModel& b) { return SettingDifferences(a, b).empty(); }

void PutBefore(ParameterModel& model, std::span<const FieldChange> changes)
{
    for (const FieldChange& change : changes) change.field.In(model) = change.before;
}

void PutAfter(ParameterModel& model, std::span<const FieldChange> changes)
{
    for (const FieldChange& change : changes) change.field.In(model) = change.after;
}

std::vector<FieldChange> SendingOrder(std::span<const FieldChange> changes)
{
    // Each change with the move of its message: a raise anywhere in a message makes it a raise.
    std::vector<std::pair<FieldChange, LevelMove>> ordered;
    for (const FieldChange& change : changes) ordered.emplace_back(change, MoveOf(change));
    for (auto& [change, move] : ordered)
        for (const auto& [other, otherMove] : ordered)
            if (KeyOf(other.field) == KeyOf(change.field)) move = std::max(move, otherMove);
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
    std::vector<FieldChange> result;
    for (const auto& [change, move] : ordered) result.push_back(change);
    return result;
}

std::vector<SettingMessage> SettingMessages(const ParameterModel& unit, const ParameterModel& target)
{
    std::vector<SettingMessage> messages;
    std::vector<MessageKey> keys;
    for (const FieldChange& change : SendingOrder(SettingDifferences(unit, target))) {
        const int id = change.field.ParameterId();
        if (id == 0) continue;
        const MessageKey key = KeyOf(change.field);
        const auto known = std::find(keys.begin(), keys.end(), key);
        if (known != keys.end()) {
            messages[static_cast<std::size_t>(known - keys.begin())].changes.push_back(change);
            continue;
        }
        keys.push_back(key);
        messages.push_back({id, change.field.slot, change.field.band, {change}});
    }
    return messages;
}

std::vector<std::vector<std::uint8_t>> MessagesBetween(const ParameterModel& unit, const ParameterModel& target)
{
    std::vector<std::vector<std::uint8_t>> payloads;
    ParameterModel cursor = target;
    for (const SettingMessage& message : SettingMessages(unit, target)) {
        cursor.curChannel = message.slot;
        cursor.curBand = message.band;
        payloads.push_back(ParameterPayload(cursor, message.parameterId));
    }
    return payloads;
}

std::string DescribeChanges(std::span<const FieldChange> changes)
{
    if (changes.empty()) return {};
    std::string text = DescribeChange(changes.front());
    if (changes.size() > 1) text += " and " + std::to_string(changes.size() - 1) + " more";
    return text;
}
