// The input of the reply-recogniser fuzz target: a run of exchange steps,
// each the expected-reply code a sender sets and the chunks in which the
// answer arrives.
//
//   step  := code (2 bytes, big-endian) count (1 byte) chunk{count}
//   chunk := length (1 byte) bytes{length}
//
// Input that ends early ends the last step or chunk there.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

struct ReplyStep {
    int expectedReply = 0;
    std::vector<std::vector<std::uint8_t>> chunks;
};

std::vector<ReplyStep> DecodeReplySteps(std::span<const std::uint8_t> data);
std::vector<std::uint8_t> EncodeReplySteps(const std::vector<ReplyStep>& steps);
