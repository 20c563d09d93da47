#include "FieldEdits.h"

#include <charconv>
#include <climits>
#include <cstdio>
#include <optional>

#include "ApiTypes.h"
#include "model/Scales.h"

namespace {

using json = nlohmann::ordered_json;

RequestError BadRequest(const std::string& reason) { return RequestError(400, reason); }

int ParseSteps(const std::string& text, const std::string& what)
{
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end)
        throw BadRequest(what + " takes steps as a whole number: " + text);
    return value;
}

// A JSON integer that fits an int.
std::optional<int> WholeNumber(const nlohmann::json& value)
{
    if (value.is_number_unsigned()) {
        const auto number = value.get<unsigned long long>();
        if (number <= static_cast<unsigned long long>(INT_MAX)) return static_cast<int>(number);
    } else if (value.is_number_integer()) {
        const auto number = value.get<long long>();
        if (number >= INT_MIN && number <= INT_MAX) return static_cast<int>(number);
    }
    return std::nullopt;
}

std::string Trimmed(std::string text)
{
    text.erase(0, text.find_first_not_of(' '));
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string OnOff(int steps) { return steps != 0 ? "on" : "off"; }

std::string PeqGainText(int steps)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1fdB", (steps - kGainStepZero) * 0.1);
    return text;
}

std::string ChannelFieldText(std::string_view name, int steps)
{
    if (name == "gain") return GainText(steps);
    if (name == "polarity") return steps != 0 ? "inverted" : "normal";
    if (name == "delay") return DelayMsText(steps);
    if (name == "hpfType" || name == "lpfType") return Trimmed(FilterTypeNameAt(steps));
    if (name == "hpfFreq" || name == "lpfFreq") return FreqLabelAt(steps);
    if (name == "limThreshold") return ThresholdText(steps);
    if (name == "limAttack" || name == "limHold" || name == "limDecay") return LimiterTimeText(steps) + " ms";
    return OnOff(steps);  // mute, xoverOn
}

std::string PeqFieldText(std::string_view name, int steps)
{
    if (name == "freq") return FreqLabelAt(steps);
    if (name == "gain") return PeqGainText(steps);
    if (name == "bandwidth") return BandwidthText(steps, 0, 0);
    return OnOff(steps);  // flat, hiShelf, loShelf
}

json Scale(const FieldAddress& field)
{
    json texts = json::array();
    for (int steps = field.Min(); steps <= field.Max(); ++steps) texts.push_back(FieldText(field, steps));
    return {{"min", field.Min()}, {"max", field.Max()}, {"texts", std::move(texts)}};
}

}  // namespace

std::string FieldAddress::Words() const
{
    std::string words = ChannelName(slot_);
    if (peq_) words += " peq " + std::to_string(band_);
    return words + " " + FieldName();
}

int FieldAddress::ParameterId() const
{
    if (peq_) return peq_->id;
    return slot_ == kSlotSub ? channel_->subId.value_or(0) : channel_->leftRightId;
}

int& FieldAddress::In(ParameterModel& model) const
{
    return peq_ ? peq_->In(model, slot_, band_) : channel_->In(model, slot_);
}

int FieldAddress::In(const ParameterModel& model) const
{
    return peq_ ? peq_->In(model, slot_, band_) : channel_->In(model, slot_);
}

const char* ChannelName(int slot) { return slot == kSlotSub ? "sub" : "lr"; }

FieldAddress ParseFieldAddress(std::string_view channel, const std::vector<std::string>& words)
{
    if (channel != "lr" && channel != "sub") throw BadRequest("CHANNEL must be lr or sub: " + std::string(channel));
    const int slot = channel == "lr" ? kSlotLeftRight : kSlotSub;
    if (words.size() == 1) {
        const ChannelField* field = FindChannelField(words[0]);
        if (field == nullptr) throw BadRequest("Unknown channel field: " + words[0]);
        if (slot == kSlotSub && !field->subId)
            throw BadRequest("The Sub channel's " + words[0] + " has no parameter message and cannot be set.");
        return FieldAddress::Channel(slot, *field);
    }
    if (words.size() == 3 && words[0] == "peq") {
        const int band = ParseSteps(words[1], "BAND");
        if (band < 0 || band >= kPeqBands) throw BadRequest("BAND must be 0, 1 or 2: " + words[1]);
        const PeqField* field = FindPeqField(words[2]);
        if (field == nullptr) throw BadRequest("Unknown PEQ field: " + words[2]);
        return FieldAddress::Peq(slot, band, *field);
    }
    throw BadRequest("Expected CHANNEL/FIELD or CHANNEL/peq/BAND/FIELD");
}

int ParseFieldValue(const FieldAddress& field, const nlohmann::json& value)
{
    const auto outOfRange = [&field](const std::string& given) {
        return BadRequest(field.Words() + " takes " + std::to_string(field.Min()) + ".." + std::to_string(field.Max()) +
                          " steps: " + given);
    };
    int steps = 0;
    if (value.is_number_integer()) {
        const std::optional<int> whole = WholeNumber(value);
        if (!whole) throw outOfRange(value.dump());
        steps = *whole;
    } else if (value.is_string()) {
        steps = FieldValueFromText(field, value.get<std::string>());
    } else {
        throw BadRequest("The value of " + field.Words() +
                         " must be a whole number of steps or a text: " + value.dump());
    }
    if (steps < field.Min() || steps > field.Max()) throw outOfRange(std::to_string(steps));
    return steps;
}

int FieldValueFromText(const FieldAddress& field, const std::string& text) { return ParseSteps(text, field.Words()); }

std::string FieldText(const FieldAddress& field, int steps)
{
    return field.IsPeq() ? PeqFieldText(field.FieldName(), steps) : ChannelFieldText(field.FieldName(), steps);
}

const std::vector<FieldAddress>& EditableFields()
{
    static const std::vector<FieldAddress> fields = [] {
        std::vector<FieldAddress> all;
        for (const int slot : {kSlotLeftRight, kSlotSub}) {
            for (const ChannelField& field : ChannelFields())
                if (slot == kSlotLeftRight || field.subId) all.push_back(FieldAddress::Channel(slot, field));
            for (int band = 0; band < kPeqBands; ++band)
                for (const PeqField& field : PeqFields()) all.push_back(FieldAddress::Peq(slot, band, field));
        }
        return all;
    }();
    return fields;
}

json ScalesJson()
{
    json scales = json::object();
    for (const ChannelField& field : ChannelFields())
        scales[field.name] = Scale(FieldAddress::Channel(kSlotLeftRight, field));
    json peq = json::object();
    for (const PeqField& field : PeqFields()) peq[field.name] = Scale(FieldAddress::Peq(kSlotLeftRight, 0, field));
    scales["peq"] = std::move(peq);
    return scales;
}

json SettingsTextJson(const ParameterModel& model)
{
    return {{"lr", ChannelTextJson(model, kSlotLeftRight)}, {"sub", ChannelTextJson(model, kSlotSub)}};
}

json ChannelTextJson(const ParameterModel& model, int slot)
{
    json channel = json::object();
    for (const ChannelField& field : ChannelFields()) {
        const FieldAddress address = FieldAddress::Channel(slot, field);
        channel[field.name] = FieldText(address, address.In(model));
    }
    json bands = json::array();
    for (int band = 0; band < kPeqBands; ++band) {
        json peq = json::object();
        for (const PeqField& field : PeqFields()) {
            const FieldAddress address = FieldAddress::Peq(slot, band, field);
            peq[field.name] = FieldText(address, address.In(model));
        }
        bands.push_back(std::move(peq));
    }
    channel["peq"] = std::move(bands);
    return channel;
}
