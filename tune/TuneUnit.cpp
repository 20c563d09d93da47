#include "TuneUnit.h"

#include "link/ParameterMessages.h"

namespace {

// The message's payload with the values of `model`.
std::vector<std::uint8_t> PayloadOf(ParameterModel model, const SettingMessage& message)
{
    model.curChannel = message.slot;
    model.curBand = message.band;
    return ParameterPayload(model, message.parameterId);
}

// Sends the first `count` messages again with their values from `from`,
// the last first; the fields of those the unit did not take stay changed.
ApplyResult PutBack(const ParameterModel& from, const std::vector<SettingMessage>& messages, std::size_t count,
                    const SendPayload& send, const std::string& why)
{
    ApplyResult result;
    result.outcome = ApplyResult::Outcome::PutBack;
    for (std::size_t k = count; k-- > 0;)
        if (!send(PayloadOf(from, messages[k])))
            result.leftChanged.insert(result.leftChanged.begin(), messages[k].changes.begin(),
                                      messages[k].changes.end());
    if (result.leftChanged.empty()) {
        result.error = why + ": the setting is as it was.";
        return result;
    }
    result.outcome = ApplyResult::Outcome::LeftChanged;
    result.error = why + ", and the unit did not take back every change: " + DescribeChanges(result.leftChanged) +
                   " may still be set. Check the setting on the unit.";
    return result;
}

}  // namespace

ApplyResult SendSettingStep(const ParameterModel& from, const ParameterModel& to, const SendPayload& send,
                            const std::atomic<bool>* cancel)
{
    const std::vector<SettingMessage> messages = SettingMessages(from, to);
    for (std::size_t i = 0; i < messages.size(); ++i) {
        if (cancel && *cancel) return PutBack(from, messages, i, send, "The change was cancelled");
        // A message the unit did not acknowledge may still have been taken.
        if (!send(PayloadOf(to, messages[i])))
            return PutBack(from, messages, i + 1, send, "The unit did not acknowledge the change");
    }
    return {};
}
