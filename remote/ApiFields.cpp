#include "ApiFields.h"

#include <climits>

#include "ApiTypes.h"
#include "CommandError.h"
#include "model/ChannelFields.h"

namespace {

using json = nlohmann::ordered_json;

RequestError BadRequest(const std::string& reason) { return RequestError(400, reason); }

// The value as it would be typed after `quenbar-cli set`.
std::string ValueWord(const nlohmann::json& value)
{
    if (value.is_number_integer()) {
        const bool fits = value.is_number_unsigned()
                              ? value.get<unsigned long long>() <= INT_MAX
                              : value.get<long long>() >= INT_MIN && value.get<long long>() <= INT_MAX;
        if (!fits) throw BadRequest("A step must be a small whole number: " + value.dump());
        return std::to_string(value.get<long long>());
    }
    if (value.is_string()) return value.get<std::string>();
    throw BadRequest("The value must be a whole number of steps or a text such as \"-3.5dB\": " + value.dump());
}

json StepsJson(const ScaledSteps& steps)
{
    json texts = json::array();
    for (int step = steps.min; step <= steps.max; ++step) texts.push_back(StepText(steps.scale, step));
    return {{"min", steps.min}, {"max", steps.max}, {"texts", std::move(texts)}};
}

}  // namespace

const char* ChannelName(int slot) { return slot == kSlotSub ? "sub" : "lr"; }

int ChannelSlot(const std::string& channel)
{
    if (channel == "lr") return kSlotLeftRight;
    if (channel == "sub") return kSlotSub;
    throw BadRequest("CHANNEL must be lr or sub: " + channel);
}

FieldEdit ParseApiFieldEdit(std::string_view channel, const std::vector<std::string>& words,
                            const nlohmann::json& value)
{
    if (channel != "lr" && channel != "sub") throw BadRequest("CHANNEL must be lr or sub: " + std::string(channel));
    const std::string word = ValueWord(value);
    std::vector<std::string> arguments = words;
    arguments.push_back(word);
    try {
        return ParseFieldEdit(std::string(channel), arguments, StepBeyondRange::Refused);
    } catch (const CommandError& error) {
        throw BadRequest(error.what());
    }
}

json ScalesJson()
{
    json scales = json::object();
    for (const ChannelField& field : ChannelFields()) scales[field.name] = StepsJson(field.steps);
    json peq = json::object();
    for (const PeqField& field : PeqFields()) peq[field.name] = StepsJson(field.steps);
    scales["peq"] = std::move(peq);
    return scales;
}
