// The receive thread's reply recogniser, fed the unit's answers in chunks
// as the port delivers them, under any expected-reply code a sender could
// set. Each step must complete exactly when its awaited byte or block has
// arrived, hand over the block unchanged, and stay complete whatever follows.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "fuzz/ReplySteps.h"
#include "link/ReplyRecogniser.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr int kFirstByteCode = 80;
constexpr int kFirstBlockCode = 257, kLastBlockCode = 511;

bool AwaitsBlock(int code) { return code >= kFirstBlockCode && code <= kLastBlockCode; }
bool AwaitsByte(int code) { return code >= kFirstByteCode && code < 256; }
bool AwaitsAny(int code) { return code < kFirstByteCode; }

// Whether the bytes received so far answer the step.
bool Answered(int code, const Bytes& received)
{
    if (AwaitsBlock(code)) return received.size() >= static_cast<std::size_t>(code - 256);
    if (AwaitsByte(code)) return std::find(received.begin(), received.end(), code) != received.end();
    if (AwaitsAny(code)) return !received.empty();
    return false;  // 256, and 512 and above, match no byte
}

ReplyRecogniser recogniser;

Bytes Reply(std::size_t count)
{
    Bytes reply(count);
    recogniser.CopyReply(reply.data(), static_cast<int>(count));
    return reply;
}

void RunStep(const ReplyStep& step)
{
    const int code = step.expectedReply;
    recogniser.BeginStep(code);
    Bytes received;
    bool complete = false;
    Bytes block;  // the block answer as first handed over
    for (const Bytes& chunk : step.chunks) {
        if (chunk.empty()) continue;  // the receive thread passes on only what it read
        received.insert(received.end(), chunk.begin(), chunk.end());
        recogniser.Feed(chunk.data(), static_cast<int>(chunk.size()));
        const bool answered = complete || Answered(code, received);
        FUZZ_CHECK(recogniser.AnswerPending() == !answered);
        FUZZ_CHECK(recogniser.WaitForAnswer(0) == !recogniser.AnswerPending());
        if (!answered) {
            FUZZ_CHECK(recogniser.ExpectedReply() == code);
            continue;
        }
        FUZZ_CHECK(recogniser.ExpectedReply() == (AwaitsAny(code) ? code : code + 1));
        if (AwaitsBlock(code)) {
            const std::size_t kept = std::min<std::size_t>(received.size(), kReplyBufferSize);
            if (!complete) {
                block = Reply(kept);
                FUZZ_CHECK(std::equal(block.begin(), block.end(), received.begin()));
            }
            FUZZ_CHECK(Reply(block.size()) == block);  // later bytes leave it alone
        }
        complete = true;
    }
    recogniser.SetIdle();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    for (const ReplyStep& step : DecodeReplySteps(std::span(data, size))) RunStep(step);
    return 0;
}
