// Test helper: the program's serial line opened on an in-process emulated
// unit and connected through the link's own connect sequence, so that every
// SendParameter of an editor really crosses the pseudo-terminal.
#pragma once

#include <cstdint>
#include <vector>

#include "emulator/Emulator.h"

using Payload = std::vector<std::uint8_t>;

class UnitOnLine {
public:
    // Starts the unit, opens the line and connects. False on any failure.
    bool Open();
    void Close();
    // Model back to its defaults while staying connected; received frames forgotten.
    void Reset();
    // What the unit received once the messages posted so far have gone out.
    std::vector<Payload> Payloads() const;
    // The payload of the last frame the unit received (empty if none).
    Payload Last() const;
    std::size_t Count() const { return Payloads().size(); }

private:
    Rx74Emulator unit_;
};
