// The unit's setting as the remote knows it: what the unit has
// acknowledged, what the clients asked for last, and the edits on their way.
//
// An edit is written into the expected setting and its parameter message
// built from there, so a message that carries more than the edited field
// (gain and mute travel together, a PEQ message carries its whole band and
// the channel's shelves) carries the other clients' latest values too. The
// link coalesces waiting messages of one field, so the unit acknowledges
// only some of them; an acknowledgement settles every outstanding edit of
// that message posted up to the one it acknowledged.
//
// Coalescing keeps a waiting message's place, so a message built earlier
// can reach the unit after a newer value of a field it carries and undo it.
// When an acknowledgement leaves a field unlike what was asked last, and no
// message of that field is on its way, the ledger sends the field again.
//
// Not thread-safe: one thread (the server's) owns it.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <vector>

#include "FieldEdits.h"
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

    // How an edit reaches the unit.
    enum class Route {
        Send,          // post `payload`; `settled` waits for it
        Joined,        // the same message is on its way already; `settled` waits for it
        AlreadyThere,  // the unit has it; `settled` is not kept
    };
    struct Plan {
        Route route;
        Payload payload;
    };
    // Takes the edit into the expected setting and says how it reaches the unit.
    Plan Edit(const FieldEdit& edit, Settled settled);

    // What a message's passage settled: the channel slot whose acknowledged
    // setting changed, if any, the edits to tell the result, and the
    // payloads to send again because an older value reached the unit last.
    struct Passage {
        std::optional<int> changedSlot;
        std::vector<Settled> settled;
        std::vector<Payload> resend;
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
        std::vector<Settled> settled;
    };

    bool TakeCarriedFields(const Outstanding& entry);
    std::vector<Payload> Repairs();
    bool OnTheWay(std::uint8_t code) const;
    void RebuildExpected();

    ParameterModel acknowledged_;
    ParameterModel expected_;
    std::list<Outstanding> outstanding_;  // in the order posted
};
