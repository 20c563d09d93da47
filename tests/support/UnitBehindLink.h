// The one test rig for everything that talks to the unit: a parameter model
// and a Link with an emulated unit behind it.
//
// In memory (the default) the unit answers on an in-memory line: fast, no
// pseudo-terminal, and only the faults that need no real time (see
// InMemoryUnit.h). On a pseudo-terminal (Rx74Emulator) the real transport
// carries the bytes: for the transport, reply delays and pacing, the soak,
// and a program's own link (the desktop's UnitLink()), whose line cannot be
// replaced.
//
// Either way Unit() is the emulator's unit itself: its state, what it heard,
// its faults.
#pragma once

#include <memory>

#include "emulator/EmulatedUnit.h"
#include "emulator/Emulator.h"
#include "link/Link.h"
#include "model/Model.h"
#include "tests/support/InMemoryUnit.h"

class UnitBehindLink {
public:
    enum class Wire { InMemory, PseudoTerminal };

    // A model of its own (all zero, as a new ParameterModel) and a link over it.
    explicit UnitBehindLink(Wire wire = Wire::InMemory);
    // A link that exists already, over the model it was made with: the unit
    // is served on a pseudo-terminal.
    explicit UnitBehindLink(Link& link);
    ~UnitBehindLink();  // closes the link, stops the unit
    UnitBehindLink(const UnitBehindLink&) = delete;
    UnitBehindLink& operator=(const UnitBehindLink&) = delete;

    // Starts the unit and opens the link on it; false on failure.
    bool Open();
    // After a hang-up: the unit is started afresh (same state, faults kept)
    // and the link opened on it again.
    bool Reopen();

    rx74emu::EmulatedUnit& Unit() const;
    Link& LinkToUnit() { return *link_; }
    ParameterModel& Model() { return link_->Model(); }

private:
    std::unique_ptr<ParameterModel> ownModel_;
    std::unique_ptr<InMemoryUnit> inMemory_;  // exactly one of the two units
    std::unique_ptr<Rx74Emulator> onPty_;
    std::unique_ptr<Link> ownLink_;
    Link* link_;
};
