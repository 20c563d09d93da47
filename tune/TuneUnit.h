// The unit's side of a tuning pass: its mutes (the measurement sequence
// drives them), the setting it holds, and a change of that setting sent as
// one step. Each face has its own: the command line's over its link
// (LinkTuneUnit), the desktop's and the remote's over their workers.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "UnitMutes.h"
#include "history/SettingChanges.h"
#include "model/Model.h"

struct ApplyResult {
    enum class Outcome {
        Done,         // the unit holds `to`
        PutBack,      // a message failed; the unit holds `from` again
        LeftChanged,  // a message failed and not all could be put back: `leftChanged`
    };
    Outcome outcome = Outcome::Done;
    std::string error;  // what failed, for the person; empty when done
    // The fields that may still hold the new value (a message that failed
    // may or may not have been taken), with their values before and after.
    std::vector<FieldChange> leftChanged;

    bool Done() const { return outcome == Outcome::Done; }
};

class TuneUnit : public UnitMutes {
public:
    // The setting as the unit holds it now (read from the unit where the
    // face can); empty when the unit does not answer.
    virtual std::optional<ParameterModel> Setting() = 0;
    // Takes the unit from `from` (the setting it holds) to `to`: the
    // messages between the two (SettingMessages: levels down first), as ONE
    // step of the history where the face keeps one, named `label`. When a
    // message fails midway, what was sent is put back (or said).
    virtual ApplyResult Apply(const ParameterModel& from, const ParameterModel& to, const std::string& label) = 0;
};

// The payload of one parameter message, sent and acknowledged: true when
// the unit took it.
using SendPayload = std::function<bool(const std::vector<std::uint8_t>& payload)>;

// Apply's work for a face that sends one message at a time and waits for
// each: the messages from `from` to `to`; at the first one that fails, the
// messages sent so far and the failed one are sent again with their values
// from `from`, the last first; so too once `cancel` (when given) is set
// between two messages. Leaves the history to the caller.
ApplyResult SendSettingStep(const ParameterModel& from, const ParameterModel& to, const SendPayload& send,
                            const std::atomic<bool>* cancel = nullptr);
