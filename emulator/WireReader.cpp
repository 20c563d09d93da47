#include "emulator/WireReader.h"

#include <numeric>
#include <utility>

namespace rx74emu {
namespace {

constexpr std::uint8_t kHeader[] = {0x56, 0x4E, 0x42, 0x31, 0x30};  // "VNB10"
constexpr std::size_t kHeaderBytes = sizeof kHeader;
constexpr std::size_t kLengthAt = kHeaderBytes;
constexpr std::size_t kPayloadAt = kHeaderBytes + 1;
constexpr std::uint8_t kTrailer = 0x53;

}  // namespace

void WireReader::ExpectBlock(std::size_t length)
{
    pending_.clear();
    blockLength_ = length;
}

void WireReader::Reset()
{
    pending_.clear();
    blockLength_ = 0;
}

std::optional<WireReader::Message> WireReader::Feed(std::uint8_t byte)
{
    if (blockLength_ > 0) {
        pending_.push_back(byte);
        if (pending_.size() < blockLength_) return std::nullopt;
        Message block{Kind::Block, std::move(pending_)};
        Reset();
        return block;
    }
    if (pending_.empty()) {
        if (byte == kAttention) return Message{Kind::Attention, {}};
        if (byte == kHeader[0]) pending_.push_back(byte);
        return std::nullopt;
    }
    return FeedFrame(byte);
}

std::optional<WireReader::Message> WireReader::FeedFrame(std::uint8_t byte)
{
    pending_.push_back(byte);
    const std::size_t have = pending_.size();
    if (have <= kHeaderBytes) {
        if (byte == kHeader[have - 1]) return std::nullopt;
        // Not a header after all: start again from this byte.
        pending_.clear();
        return Feed(byte);
    }
    if (have == kLengthAt + 1 && byte > kMaxPayload) {
        Message bad{Kind::BadFrame, std::move(pending_)};
        Reset();
        return bad;
    }
    const std::size_t length = pending_[kLengthAt];
    if (have < kPayloadAt + length + 2) return std::nullopt;

    const auto payloadBegin = pending_.begin() + kPayloadAt;
    const auto payloadEnd = payloadBegin + static_cast<std::ptrdiff_t>(length);
    const auto sum = static_cast<std::uint8_t>(std::accumulate(payloadBegin, payloadEnd, 0u));
    const bool sound = pending_[kPayloadAt + length] == sum && pending_[kPayloadAt + length + 1] == kTrailer;
    Message done = sound ? Message{Kind::Frame, std::vector<std::uint8_t>(payloadBegin, payloadEnd)}
                         : Message{Kind::BadFrame, std::move(pending_)};
    Reset();
    return done;
}

}  // namespace rx74emu
