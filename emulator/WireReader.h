// Splits the bytes that the program sends into what the unit reacts to:
// attention bytes, frames ("VNB10", length, payload, sum, "S") and the
// unframed blocks that follow some commands.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace rx74emu {

inline constexpr std::uint8_t kAttention = 0xFA;
inline constexpr std::size_t kMaxPayload = 192;

class WireReader {
public:
    enum class Kind {
        Attention,  // the byte 0xFA between messages
        Frame,      // a frame whose length, sum and trailer are right; bytes = payload
        BadFrame,   // a frame with a wrong length, sum or trailer; bytes = the whole frame
        Block,      // an expected unframed block; bytes = the block
    };
    struct Message {
        Kind kind;
        std::vector<std::uint8_t> bytes;
    };

    // Takes one byte; returns the message it completes, if any. Bytes between
    // messages that start nothing are noise and are dropped.
    std::optional<Message> Feed(std::uint8_t byte);
    // The next `length` bytes, whatever their values, form one block.
    void ExpectBlock(std::size_t length);
    // True while a frame or an expected block is incomplete.
    bool Partial() const { return !pending_.empty() || blockLength_ > 0; }
    // Drops whatever is incomplete and waits for a new message.
    void Reset();

private:
    std::optional<Message> FeedFrame(std::uint8_t byte);

    std::vector<std::uint8_t> pending_;
    std::size_t blockLength_ = 0;
};

}  // namespace rx74emu
