// Turns a link's traffic events into lines a person reads: when, which
// way, the bytes in hex and what they mean ("connect", "gain Left&Right
// -3.0dB", "store memory 3 'Hall'", "acknowledgement", "time-out after
// 1000 ms ..."). Frames are read back with the code that builds them
// (Frame.h, ParameterMessages.h), so the log cannot tell a different story
// from the one sent. The decoder follows the conversation (which command a
// block belongs to, how much of an answer has come), so one decoder takes
// one link's events, in order, on one thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/LinkTraffic.h"

struct TrafficLine {
    long long ms = 0;       // since the first event this decoder took
    std::string direction;  // "->" to the unit, "<-" from it, "--" the link itself
    std::string hex;        // the bytes, "56 4E 42"; empty when there are none
    std::string meaning;
};

class TrafficDecoder {
public:
    TrafficLine Decode(const TrafficEvent& event);
    // Time counts from the next event again.
    void Restart() { start_.reset(); }

private:
    std::string DescribeSent(const std::vector<std::uint8_t>& bytes, int expectedReply);
    std::string DescribeUnframed(const std::vector<std::uint8_t>& bytes) const;
    std::string DescribeReceived(const std::vector<std::uint8_t>& bytes);
    std::string DescribeAnswer(const TrafficEvent& event);

    std::optional<std::chrono::steady_clock::time_point> start_;
    std::vector<std::uint8_t> command_;  // the payload of the last frame sent
    int stepReply_ = 0;                  // what the current step awaits
    bool stepAnswered_ = true;
    int blockBytes_ = 0;  // of the awaited block, received so far
};

// "     12 ms  ->  connect  [56 4E 42 31 30 02 C9 00 C9 53]"
std::string FormatTrafficLine(const TrafficLine& line);
// "FA 50"
std::string HexBytes(std::span<const std::uint8_t> bytes);
