#include "link/TrafficDecoder.h"

#include <algorithm>
#include <cstdio>

#include "link/Frame.h"
#include "link/ParameterMessages.h"
#include "link/ReplyRecogniser.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

bool IsByteReply(int code) { return code >= kReplyP && code <= 0xFF; }
bool IsBlockReply(int code) { return code > 256 && code < 512; }
int BlockSize(int code) { return code - 256; }

std::string Hex(int byte)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(byte & 0xFF));
    return text;
}

std::string Count(std::size_t n, const char* one, const char* many)
{
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Printable characters of the bytes, blanks at the end dropped.
std::string Characters(std::span<const std::uint8_t> bytes)
{
    std::string text;
    for (const std::uint8_t byte : bytes) text += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : ' ';
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

std::string Join(const std::vector<std::string>& parts)
{
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : ", ") + part;
    return text;
}

std::string AcknowledgementName(int code)
{
    switch (code) {
        case kReplyP:
            return "attention acknowledged";
        case kReplyQ:
            return "acknowledgement";
        case kReplyS:
            return "image acknowledged";
        default:
            return "awaited byte " + Hex(code);
    }
}

std::string BlockName(int size)
{
    switch (size) {
        case kConnectReplySize:
            return "connect answer";
        case kImageReplySize:
            return "setting answer";
        case kMemoryNameReplySize:
            return "memory name answer";
        case kStoreNameReplySize:
            return "store answer";
        default:
            return std::to_string(size) + "-byte answer";
    }
}

std::string AwaitedName(int code)
{
    switch (code) {
        case kReplyP:
            return "attention answer \"P\"";
        case kReplyQ:
            return "acknowledgement \"Q\"";
        case kReplyS:
            return "image acknowledgement \"S\"";
        default:
            break;
    }
    if (IsByteReply(code)) return "byte " + Hex(code);
    if (IsBlockReply(code)) return BlockName(BlockSize(code)) + " (" + std::to_string(BlockSize(code)) + " bytes)";
    return "any answer";
}

std::string DescribeCommand(const Bytes& payload)
{
    const std::uint8_t code = payload[0];
    const std::uint8_t value = payload.size() > 1 ? payload[1] : 0;
    const std::string memory = "memory " + std::to_string(value);
    if (payload == CommandPayload(kCodeConnect, 0)) return "connect";
    if (payload == CommandPayload(kCodeDisconnect, 0)) return "disconnect";
    if (payload == CommandPayload(kCodeReadCurrent, 0)) return "read the current setting";
    if (payload == ReadMemoryNamePayload(value)) return "read the name of " + memory;
    if (payload == LogoCommandPayload()) return "write the logo";
    if (payload == CommandPayload(code, value)) {
        switch (code) {
            case kCodeReadMemory:
                return "read " + memory;
            case kCodeRecallMemory:
                return "recall " + memory;
            case kCodeStoreMemory:
                return "store " + memory;
            case kCodeDeleteMemory:
                return "delete " + memory;
            default:
                break;
        }
    }
    if (const auto reading = ReadParameterPayload(payload)) return DescribeParameter(*reading);
    return "frame with an unknown command " + Hex(code);
}

}  // namespace

TrafficLine TrafficDecoder::Decode(const TrafficEvent& event)
{
    if (!start_) start_ = event.time;
    TrafficLine line;
    line.ms = std::chrono::duration_cast<std::chrono::milliseconds>(event.time - *start_).count();
    line.direction = "--";
    line.hex = HexBytes(event.bytes);
    const std::string waited = std::to_string(event.waitedMs) + " ms";
    switch (event.kind) {
        case TrafficKind::Opened:
            line.meaning = "opened " + event.text;
            break;
        case TrafficKind::OpenFailed:
            line.meaning = "open failed: " + event.text;
            std::replace(line.meaning.begin(), line.meaning.end(), '\n', ' ');
            break;
        case TrafficKind::Closed:
            line.meaning = "closed";
            break;
        case TrafficKind::Sent:
            line.direction = "->";
            line.meaning = DescribeSent(event.bytes, event.expectedReply);
            break;
        case TrafficKind::Received:
            line.direction = "<-";
            line.meaning = DescribeReceived(event.bytes);
            break;
        case TrafficKind::Answered:
            line.hex.clear();  // the bytes were shown as they came
            line.meaning = DescribeAnswer(event);
            break;
        case TrafficKind::TimedOut:
            line.meaning = "time-out after " + waited + " waiting for the " + AwaitedName(event.expectedReply);
            break;
        case TrafficKind::Cancelled:
            line.meaning = "cancelled after " + waited;
            break;
        case TrafficKind::HungUp:
            line.meaning = "hang-up: the device went away";
            break;
        case TrafficKind::Note:
            line.meaning = event.text;
            break;
    }
    return line;
}

std::string TrafficDecoder::DescribeSent(const Bytes& bytes, int expectedReply)
{
    stepReply_ = expectedReply;
    stepAnswered_ = false;
    blockBytes_ = 0;
    if (bytes.size() == 1 && bytes[0] == kAttentionByte) return "attention";
    if (auto payload = FramePayload(bytes); payload && !payload->empty()) {
        command_ = std::move(*payload);
        return DescribeCommand(command_);
    }
    return DescribeUnframed(bytes);
}

// The blocks that follow a store or logo command.
std::string TrafficDecoder::DescribeUnframed(const Bytes& bytes) const
{
    const bool afterStore = command_.size() == 2 && command_[0] == kCodeStoreMemory;
    const std::string store = afterStore ? "store memory " + std::to_string(command_[1]) : "";
    if (afterStore && bytes.size() == kStoreBlockSize) return store + ": image";
    if (afterStore && bytes.size() == kStoreNameFieldSize) {
        const std::string name(bytes.begin() + 1, bytes.end());
        const auto field = StoreNameField(name.c_str());
        if (std::equal(field.begin(), field.end(), bytes.begin(), bytes.end()))
            return store + " '" + Characters(std::span(bytes).subspan(1)) + "'";
    }
    if (command_ == LogoCommandPayload() && bytes.size() == kLogoBytes) {
        const auto firstLine = std::span(bytes).first(kLogoBytes / 2);
        const auto secondLine = std::span(bytes).subspan(kLogoBytes / 2);
        return "logo \"" + Characters(firstLine) + "\" \"" + Characters(secondLine) + "\"";
    }
    return Count(bytes.size(), "byte", "bytes") + ", not a frame";
}

std::string TrafficDecoder::DescribeReceived(const Bytes& bytes)
{
    std::vector<std::string> parts;
    std::size_t used = 0;
    if (!stepAnswered_ && IsByteReply(stepReply_)) {
        const auto found = std::find(bytes.begin(), bytes.end(), stepReply_);
        const auto garbage = static_cast<std::size_t>(found - bytes.begin());
        if (garbage > 0) parts.push_back(Count(garbage, "garbage byte ignored", "garbage bytes ignored"));
        used = garbage;
        if (found != bytes.end()) {
            parts.push_back(AcknowledgementName(stepReply_));
            stepAnswered_ = true;
            ++used;
        }
    } else if (!stepAnswered_ && IsBlockReply(stepReply_)) {
        const int size = BlockSize(stepReply_);
        used = std::min<std::size_t>(bytes.size(), static_cast<std::size_t>(size - blockBytes_));
        blockBytes_ += static_cast<int>(used);
        parts.push_back(BlockName(size) + ", " + std::to_string(blockBytes_) + " of " + std::to_string(size) +
                        " bytes");
        stepAnswered_ = blockBytes_ == size;
    } else if (!stepAnswered_) {
        parts.push_back(bytes[0] == kReplyQ ? AcknowledgementName(kReplyQ) : "answer");
        stepAnswered_ = true;
        used = 1;
    }
    if (used < bytes.size())
        parts.push_back(Count(bytes.size() - used, "byte", "bytes") + " ignored: no step awaits " +
                        (bytes.size() - used == 1 ? "it" : "them"));
    return Join(parts);
}

std::string TrafficDecoder::DescribeAnswer(const TrafficEvent& event)
{
    stepAnswered_ = true;
    const std::string answered = "answered after " + std::to_string(event.waitedMs) + " ms";
    const Bytes& answer = event.bytes;
    if (answer.size() == kConnectReplySize) {
        if (answer[0] == kConnectAccepted)
            return answered + ": connection accepted by \"" + ConnectReplyIdentity(answer) + "\"";
        return answered + ": connection refused, first byte " + Hex(answer[0]);
    }
    if (answer.size() == kMemoryNameReplySize) {
        const std::string memory = "memory " + std::to_string(answer[0]);
        if (answer[1] != 1) return answered + ": " + memory + " is empty";
        return answered + ": " + memory + " '" + Characters(std::span(answer).subspan(2, kNameChars)) + "'";
    }
    if (answer.size() == kImageReplySize && !command_.empty()) {
        const std::string of =
            command_[0] == kCodeReadCurrent ? "the current setting" : "memory " + std::to_string(command_[1]);
        return answered + ": " + of;
    }
    return answered;
}

std::string FormatTrafficLine(const TrafficLine& line)
{
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%7lld ms", line.ms);
    std::string text = std::string(stamp) + "  " + line.direction + "  " + line.meaning;
    if (!line.hex.empty()) text += "  [" + line.hex + "]";
    return text;
}

std::string HexBytes(std::span<const std::uint8_t> bytes)
{
    std::string text;
    text.reserve(bytes.size() * 3);
    char byte[4];
    for (const std::uint8_t value : bytes) {
        std::snprintf(byte, sizeof byte, "%02X", value);
        if (!text.empty()) text += ' ';
        text += byte;
    }
    return text;
}
