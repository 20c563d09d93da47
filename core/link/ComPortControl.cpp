#include "link/ComPortControl.h"

namespace {

// Telnet commands and options.
constexpr std::uint8_t kIac = 255;
constexpr std::uint8_t kDont = 254;
constexpr std::uint8_t kDo = 253;
constexpr std::uint8_t kWont = 252;
constexpr std::uint8_t kWill = 251;
constexpr std::uint8_t kSb = 250;
constexpr std::uint8_t kSe = 240;
constexpr std::uint8_t kBinary = 0;
constexpr std::uint8_t kSuppressGoAhead = 3;
constexpr std::uint8_t kComPort = 44;

// COM-port control commands; the server answers each with it plus 100.
constexpr std::uint8_t kSetBaudRate = 1;
constexpr std::uint8_t kSetControl = 5;
constexpr std::uint8_t kPurgeData = 12;
constexpr std::uint8_t kServerOffset = 100;
constexpr std::uint8_t kFlowNone = 1;
constexpr std::uint8_t kFlowXonXoff = 2;
constexpr std::uint8_t kFlowHardware = 3;
constexpr std::uint8_t kDtrOn = 8;
constexpr std::uint8_t kDtrOff = 9;
constexpr std::uint8_t kPurgeBoth = 3;
constexpr std::size_t kLongestSubnegotiation = 64;  // more than any answer kept here

constexpr const char* kSettingNames[] = {"speed", "data bits", "parity", "stop bits", "flow control"};

bool WeOffer(std::uint8_t option) { return option == kBinary || option == kSuppressGoAhead || option == kComPort; }
bool WeAccept(std::uint8_t option) { return option == kBinary || option == kSuppressGoAhead; }

// The values the requests carry, in the order of the commands 1 to 5.
std::array<std::uint32_t, 5> RequestedValues(const LineSettings& settings)
{
    std::uint32_t flow = kFlowNone;
    if (settings.flowControl & 0x04) flow = kFlowXonXoff;
    if (settings.flowControl & 0x02) flow = kFlowHardware;
    return {settings.baudRate, settings.dataBits, std::uint32_t{settings.parity} + 1u,
            settings.stopBits != 0 ? 2u : 1u, flow};
}

void AppendCommand(std::uint8_t command, const ComPortControl::Bytes& value, ComPortControl::Bytes& out)
{
    out.insert(out.end(), {kIac, kSb, kComPort, command});
    ComPortControl::AppendEscaped(value.data(), static_cast<int>(value.size()), out);
    out.insert(out.end(), {kIac, kSe});
}

}  // namespace

ComPortControl::Bytes ComPortControl::Greeting()
{
    weAsked_.set(kComPort);
    weAsked_.set(kBinary);
    theyAsked_.set(kBinary);
    return {kIac, kWill, kComPort, kIac, kWill, kBinary, kIac, kDo, kBinary};
}

ComPortControl::Bytes ComPortControl::SettingsRequests(const LineSettings& settings)
{
    const auto values = RequestedValues(settings);
    Bytes out;
    const std::uint32_t baud = values[0];
    AppendCommand(kSetBaudRate,
                  {static_cast<std::uint8_t>(baud >> 24), static_cast<std::uint8_t>(baud >> 16),
                   static_cast<std::uint8_t>(baud >> 8), static_cast<std::uint8_t>(baud)},
                  out);
    for (std::uint8_t command = 2; command <= kSettingCount; ++command)
        AppendCommand(command, {static_cast<std::uint8_t>(values[command - 1])}, out);
    return out;
}

ComPortControl::Bytes ComPortControl::DtrRequest(bool raised)
{
    Bytes out;
    AppendCommand(kSetControl, {raised ? kDtrOn : kDtrOff}, out);
    return out;
}

ComPortControl::Bytes ComPortControl::PurgeRequest()
{
    Bytes out;
    AppendCommand(kPurgeData, {kPurgeBoth}, out);
    return out;
}

void ComPortControl::AppendEscaped(const std::uint8_t* bytes, int count, Bytes& out)
{
    for (int i = 0; i < count; ++i) {
        out.push_back(bytes[i]);
        if (bytes[i] == kIac) out.push_back(kIac);
    }
}

void ComPortControl::Receive(const std::uint8_t* bytes, int count, Bytes& data, Bytes& replies)
{
    for (int i = 0; i < count; ++i) {
        const std::uint8_t byte = bytes[i];
        switch (state_) {
            case State::Data:
                if (byte == kIac)
                    state_ = State::Command;
                else
                    data.push_back(byte);
                break;
            case State::Command:
                state_ = State::Data;
                if (byte == kIac) {
                    data.push_back(kIac);
                } else if (byte >= kWill && byte <= kDont) {
                    verb_ = byte;
                    state_ = State::Option;
                } else if (byte == kSb) {
                    subnegotiation_.clear();
                    state_ = State::Subnegotiation;
                }  // any other command (NOP, go-ahead, ...) means nothing on a serial line
                break;
            case State::Option:
                Negotiate(verb_, byte, replies);
                state_ = State::Data;
                break;
            case State::Subnegotiation:
                if (byte == kIac)
                    state_ = State::SubnegotiationCommand;
                else if (subnegotiation_.size() < kLongestSubnegotiation)
                    subnegotiation_.push_back(byte);
                break;
            case State::SubnegotiationCommand:
                if (byte == kIac) {
                    subnegotiation_.push_back(kIac);
                    state_ = State::Subnegotiation;
                } else {
                    if (byte == kSe) TakeSubnegotiation();
                    state_ = State::Data;
                }
                break;
        }
    }
}

// Answers an option request only when it changes the option's state, so two
// sides that agree never answer each other for ever.
void ComPortControl::Negotiate(std::uint8_t verb, std::uint8_t option, Bytes& replies)
{
    const auto reply = [&replies, option](std::uint8_t answer) { replies.insert(replies.end(), {kIac, answer, option}); };
    switch (verb) {
        case kDo:
            if (weDo_[option]) break;
            if (!WeOffer(option)) {
                reply(kWont);
                break;
            }
            weDo_.set(option);
            if (!weAsked_[option]) reply(kWill);
            weAsked_.reset(option);
            break;
        case kDont:
            if (weAsked_[option] && option == kComPort) comPortRefused_ = true;
            weAsked_.reset(option);
            if (weDo_[option]) {
                weDo_.reset(option);
                reply(kWont);
            }
            break;
        case kWill:
            if (theyDo_[option]) break;
            if (!WeAccept(option)) {
                reply(kDont);
                break;
            }
            theyDo_.set(option);
            if (!theyAsked_[option]) reply(kDo);
            theyAsked_.reset(option);
            break;
        default:  // kWont
            theyAsked_.reset(option);
            if (theyDo_[option]) {
                theyDo_.reset(option);
                reply(kDont);
            }
            break;
    }
}

void ComPortControl::TakeSubnegotiation()
{
    if (subnegotiation_.size() < 3 || subnegotiation_[0] != kComPort) return;
    const int setting = subnegotiation_[1] - kServerOffset - kSetBaudRate;
    if (setting < 0 || setting >= kSettingCount) return;  // notifications and other answers
    std::uint32_t value = 0;
    for (std::size_t i = 2; i < subnegotiation_.size(); ++i) value = (value << 8) | subnegotiation_[i];
    // The answer to a DTR request comes as a flow-control answer too: only
    // flow-control values count as one.
    if (setting == kSetControl - kSetBaudRate && (value < kFlowNone || value > kFlowHardware)) return;
    acknowledged_[static_cast<std::size_t>(setting)] = value;
}

ComPortControl::Verdict ComPortControl::SettingsVerdict(const LineSettings& settings, std::string* why) const
{
    if (comPortRefused_) {
        *why = "the server does not offer COM-port control";
        return Verdict::Refused;
    }
    const auto wanted = RequestedValues(settings);
    bool complete = true;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        if (!acknowledged_[i]) {
            complete = false;
        } else if (*acknowledged_[i] != wanted[i]) {
            *why = std::string("the server set ") + kSettingNames[i] + " " + std::to_string(*acknowledged_[i]) +
                   " when asked for " + std::to_string(wanted[i]);
            return Verdict::Refused;
        }
    }
    return complete ? Verdict::Accepted : Verdict::Pending;
}
