// The unit's side of every exchange: given what the program sent, decide
// the answer and change the unit's state. Knows nothing of the line itself.
#pragma once

#include <cstdint>
#include <vector>

#include "emulator/UnitState.h"
#include "emulator/WireReader.h"

namespace rx74emu {

struct Reply {
    enum class Kind {
        None,         // nothing is sent back
        Acknowledge,  // one byte ("P", "Q", "S")
        Block,        // a block of several bytes
        Connect,      // the 16-byte answer to the connect command
    };
    Kind kind = Kind::None;
    std::vector<std::uint8_t> bytes;
    bool answersFrame = false;  // the reply completes a framed command
    bool stateChanged = false;  // current setting, a memory or the logo changed
};

class UnitResponder {
public:
    // Answers one message. A command that is followed by unframed data (store,
    // logo) asks `reader` for the block it waits for next.
    Reply Respond(const WireReader::Message& message, UnitState& state, WireReader& reader);
    // Forgets a store or logo write that the program did not finish.
    void Abandon();

private:
    Reply RespondToFrame(const std::vector<std::uint8_t>& payload, UnitState& state, WireReader& reader);
    Reply RespondToMemoryCommand(const std::vector<std::uint8_t>& payload, UnitState& state, WireReader& reader);
    Reply RespondToBlock(const std::vector<std::uint8_t>& block, UnitState& state, WireReader& reader);

    enum class Awaiting { Nothing, StoreImage, StoreName, LogoText };
    Awaiting awaiting_ = Awaiting::Nothing;
    bool attentionGiven_ = false;  // a frame is answered only right after an attention byte
    int storeSlot_ = 0;
    Image storeImage_{};
};

}  // namespace rx74emu
