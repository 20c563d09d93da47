// The emulator's unit answering on an in-memory line: every write of the
// program is heard at once, on the writing thread, and the answer is queued
// for the link's receive thread. No pseudo-terminal, no serving thread, no
// clock.
//
// Of the emulator's faults it honours those that need no real time: silent,
// no frame acknowledgement, wrong connect reply, garbage before
// acknowledgements, split replies (one chunk per byte, with no gap), hang-up
// after n exchanges (when the program next sends) and silent after n
// exchanges. Delays and pacing need the pseudo-terminal unit (Rx74Emulator):
// here they fail the write with an exception rather than pass unnoticed.
#pragma once

#include "emulator/EmulatedUnit.h"
#include "tests/support/FakeSerialLine.h"

class InMemoryUnit {
public:
    explicit InMemoryUnit(EmulatorFaults faults = {});
    InMemoryUnit(const InMemoryUnit&) = delete;
    InMemoryUnit& operator=(const InMemoryUnit&) = delete;

    // The lines for the program's link.
    LineFactory Factory() { return line_.Factory(); }
    rx74emu::EmulatedUnit& Unit() { return unit_; }
    FakeSerialLine& Line() { return line_; }
    // The unit after a hang-up, as switched on again: it waits for a new
    // message, and the next open of the line brings the line back.
    void Restart();

private:
    void Hear(const std::uint8_t* bytes, int count);
    void Send(const rx74emu::Reply& reply, const EmulatorFaults& faults);

    rx74emu::EmulatedUnit unit_;
    FakeSerialLine line_;
    bool hangUpPending_ = false;  // only the writing thread and Restart touch it
};
