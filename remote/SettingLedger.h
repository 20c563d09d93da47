// The unit's setting as the remote knows it: what the unit has
// acknowledged, what the clients asked for last, and the edits on their way.
// The link's worker coalesces the messages waiting to be sent (a newer one of
// a field replaces the waiting one at the end of the queue, so what reaches
// the unit last carries each field's latest value); the ledger keeps what
// the worker does not: the acknowledged setting the clients are told, and
// which edits an acknowledgement answers. Every edit is sent, even of a
// value the unit is believed to hold: the unit may have been changed at its
// own panel since it was last read.
//
// An edit is written into the expected setting and its parameter message
// built from there, so a message that carries more than the edited field
// (gain and mute travel together, a PEQ message carries its whole band and
// the channel's shelves) carries the other clients' latest values too. As
// the worker drops replaced messages, the unit acknowledges only some of
// them; an acknowledgement settles every outstanding edit of that message
// posted up to the one it acknowledged.
//
// Not thread-safe: one thread (the server's) owns it.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <vector>

#include "FieldEdit.h"
#include "model/Model.h"

using Payload = std::vector<std::uint8_t>;

class SettingLedger {
public:
    // Called once the edit's message (or a later one of the same field) has
    // been through: the unit command's result, 0 when acknowledged.
    using Settled = std::function<void(int result)>;

    explicit SettingLedger(const ParameterModel& unit);

    const ParameterModel& Acknowledged() const { return acknowledged_; }
    const ParameterModel& Expected() const { return expected_; }

    // Takes the edit into the expected setting and gives the message to
    // post; `settled` waits for it, or for a later one of the field.
    Payload Edit(const FieldEdit& edit, Settled settled);

    // What a message's passage settled: the channel slot whose acknowledged
    // setting changed, if any, and the edits to tell the result.
    struct Passage {
        std::optional<int> changedSlot;
        std::vector<Settled> settled;
    };
    // A message has been through with `result` (0: acknowledged).
    Passage Sent(const Payload& payload, int result);

    // The setting read from the unit (connect, recall, reset, a check) takes
    // the place of the acknowledged one; outstanding edits stay expected.
    // Returns whether the acknowledged setting changed.
    bool ReplaceSetting(const ParameterModel& unit);
    // The memory directory read from the unit.
    void ReplaceDirectory(const ParameterModel& unit);

    // Forgets every outstanding edit (the link was lost); returns them to be told.
    std::vector<Settled> DropOutstanding();

    std::size_t OutstandingCount() const { return outstanding_.size(); }

private:
    struct Outstanding {
        FieldEdit edit;
        Payload payload;
        ParameterModel built;  // the expected setting the payload was built from
        Settled settled;
    };

    bool TakeCarriedFields(const Outstanding& entry);
    void RebuildExpected();

    ParameterModel acknowledged_;
    ParameterModel expected_;
    std::list<Outstanding> outstanding_;  // in the order posted
};
