// The emulated unit's side of the line: any byte stream from the program,
// split into attention bytes, frames and blocks by its wire reader and
// answered by its responder. The program's own framer serves as an
// independent judge of what counts as a frame.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "emulator/UnitResponder.h"
#include "emulator/UnitState.h"
#include "emulator/WireReader.h"
#include "fuzz/FuzzCheck.h"
#include "link/Frame.h"

namespace {

using rx74emu::Reply;
using rx74emu::WireReader;
using Bytes = std::vector<std::uint8_t>;

// True when `message` equals the last bytes fed so far.
bool EndsWith(const Bytes& fed, const Bytes& message)
{
    return message.size() <= fed.size() && std::equal(message.rbegin(), message.rend(), fed.rbegin());
}

void CheckMessage(const WireReader::Message& message, const Bytes& fed)
{
    switch (message.kind) {
        case WireReader::Kind::Attention:
            FUZZ_CHECK(fed.back() == rx74emu::kAttention);
            break;
        case WireReader::Kind::Frame:
            FUZZ_CHECK(message.bytes.size() <= rx74emu::kMaxPayload);
            FUZZ_CHECK(EndsWith(fed, FrameOf(message.bytes)));
            break;
        case WireReader::Kind::BadFrame:
        case WireReader::Kind::Block:
            FUZZ_CHECK(!message.bytes.empty());
            FUZZ_CHECK(EndsWith(fed, message.bytes));
            break;
    }
}

void CheckReply(const Reply& reply)
{
    switch (reply.kind) {
        case Reply::Kind::None:
            FUZZ_CHECK(reply.bytes.empty());
            break;
        case Reply::Kind::Acknowledge:
            FUZZ_CHECK(reply.bytes.size() == 1);
            FUZZ_CHECK(reply.bytes[0] == 'P' || reply.bytes[0] == 'Q' || reply.bytes[0] == 'S');
            break;
        case Reply::Kind::Connect:
            FUZZ_CHECK(reply.bytes.size() == kConnectReplySize);
            break;
        case Reply::Kind::Block:
            FUZZ_CHECK(reply.bytes.size() == kStoreNameReplySize || reply.bytes.size() == kMemoryNameReplySize ||
                       reply.bytes.size() == kImageReplySize);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    WireReader reader;
    rx74emu::UnitResponder responder;
    rx74emu::UnitState state;
    Bytes fed;
    fed.reserve(size);
    for (const std::uint8_t byte : std::span(data, size)) {
        fed.push_back(byte);
        const auto message = reader.Feed(byte);
        if (!message) continue;
        CheckMessage(*message, fed);
        CheckReply(responder.Respond(*message, state, reader));
    }
    return 0;
}
