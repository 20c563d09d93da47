// The client's side of Telnet with the COM-port control option: the bytes
// that ask a network serial server to set up its serial port, the escaping
// of data (0xFF doubled), and the reading of what the server sends, which
// mixes the serial data with Telnet commands.
//
// Of the server's commands, the answers to the line-setting requests are
// kept (SettingsVerdict compares them with what was asked); its option
// requests are answered (binary transmission and suppress-go-ahead are
// welcome, anything else refused); its notifications (line and modem state,
// flow control) are passed over. It does no input or output itself.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "link/SerialLine.h"

class ComPortControl {
public:
    using Bytes = std::vector<std::uint8_t>;

    // What the client says first: it will speak COM-port control, and both
    // sides send binary.
    Bytes Greeting();
    // The requests for speed, data bits, parity, stop bits and flow control.
    static Bytes SettingsRequests(const LineSettings& settings);
    static Bytes DtrRequest(bool raised);
    // Asks the server to discard what its serial port has queued both ways.
    static Bytes PurgeRequest();
    // Appends the data as it goes on the connection.
    static void AppendEscaped(const std::uint8_t* bytes, int count, Bytes& out);

    // Reads what the server sent: its serial data goes to `data`, the
    // answers owed to its option requests to `replies`.
    void Receive(const std::uint8_t* bytes, int count, Bytes& data, Bytes& replies);

    enum class Verdict { Pending, Accepted, Refused };
    // Whether the server has acknowledged every setting of `settings` as
    // asked; when it refused, `why` says what it answered.
    Verdict SettingsVerdict(const LineSettings& settings, std::string* why) const;

private:
    enum class State { Data, Command, Option, Subnegotiation, SubnegotiationCommand };
    static constexpr int kSettingCount = 5;

    void Negotiate(std::uint8_t verb, std::uint8_t option, Bytes& replies);
    void TakeSubnegotiation();

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    Bytes subnegotiation_;
    std::bitset<256> weDo_, weAsked_, theyDo_, theyAsked_;
    bool comPortRefused_ = false;
    std::array<std::optional<std::uint32_t>, kSettingCount> acknowledged_;
};
