#include "tests/soak/SoakRig.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

namespace soak {

namespace {

constexpr long kShortRunMessages = 2000;
constexpr long kShortRunConnects = 36;
constexpr unsigned kDefaultSeed = 20261207;

// A late reply arrives this long after the step has already given up.
constexpr int kLateByAtLeastMs = 100;
constexpr int kLateByAtMostMs = 400;
// Time for a late reply to cross the line and be dropped by the idle recogniser.
constexpr int kLateReplySettleMs = 150;

long EnvironmentNumber(const char* name, long fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return (end != nullptr && *end == '\0' && value >= 0) ? value : fallback;
}

int Between(std::mt19937& random, int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); }

}  // namespace

const char* FaultName(Fault fault)
{
    switch (fault) {
        case Fault::None:
            return "none";
        case Fault::Split:
            return "split replies";
        case Fault::Garbage:
            return "garbage before acknowledgements";
        case Fault::ShortDelay:
            return "replies delayed within the time-out";
        case Fault::LateReply:
            return "replies past the time-out";
        case Fault::Silent:
            return "silent";
        case Fault::NoFrameAck:
            return "frames not acknowledged";
        case Fault::WrongConnect:
            return "wrong connect reply";
        case Fault::HangUp:
            return "hang-up";
    }
    return "?";
}

bool Benign(Fault fault)
{
    return fault == Fault::None || fault == Fault::Split || fault == Fault::Garbage || fault == Fault::ShortDelay;
}

FaultDeck::FaultDeck(std::vector<Fault> deck, std::mt19937& random)
    : cards_(std::move(deck)), next_(cards_.size()), random_(random)
{
}

Fault FaultDeck::Draw()
{
    if (next_ == cards_.size()) {
        std::shuffle(cards_.begin(), cards_.end(), random_);
        next_ = 0;
    }
    return cards_[next_++];
}

SoakSize SoakSizeFromEnvironment()
{
    return {EnvironmentNumber("QUENBAR_SOAK_MESSAGES", kShortRunMessages),
            EnvironmentNumber("QUENBAR_SOAK_CONNECTS", kShortRunConnects),
            static_cast<unsigned>(EnvironmentNumber("QUENBAR_SOAK_SEED", kDefaultSeed))};
}

long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 12, '\n');
    }
    return 0;
}

bool SanitizerHoldsMemory()
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

long ElapsedMs(Clock::time_point since)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

void SoakRig::Apply(Fault fault, std::mt19937& random)
{
    EmulatorFaults faults;
    switch (fault) {
        case Fault::None:
            break;
        case Fault::Split:
            faults.splitReplies = true;
            faults.splitGapMs = Between(random, 0, 3);
            break;
        case Fault::Garbage:
            faults.garbageBeforeAck = true;
            break;
        case Fault::ShortDelay:
            faults.replyDelayMs = Between(random, 1, kStepTimeoutMs / 10);
            break;
        case Fault::LateReply:
            lateReplyMs_ = kStepTimeoutMs + Between(random, kLateByAtLeastMs, kLateByAtMostMs);
            faults.replyDelayMs = lateReplyMs_;
            break;
        case Fault::Silent:
            faults.silent = true;
            break;
        case Fault::NoFrameAck:
            faults.noFrameAck = true;
            break;
        case Fault::WrongConnect:
            faults.wrongConnectReply = true;
            break;
        case Fault::HangUp:
            hangUpAfter_ = Between(random, 1, 7);
            faults.hangUpAfterExchanges = Unit().Exchanges() + hangUpAfter_;
            break;
    }
    Unit().SetFaults(faults);
    Unit().ClearReceived();
}

int SoakRig::FramesAnsweredSince(int before, int expected)
{
    const auto giveUpAt = Clock::now() + std::chrono::milliseconds(kDeadlineSlackMs);
    while (Unit().Exchanges() - before < expected && Clock::now() < giveUpAt)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return Unit().Exchanges() - before;
}

bool SoakRig::Recover(Fault fault)
{
    Unit().SetFaults({});
    if (fault == Fault::LateReply) {
        // The failed step waited its full time-out already.
        std::this_thread::sleep_for(std::chrono::milliseconds(lateReplyMs_ - kStepTimeoutMs + kLateReplySettleMs));
    }
    return fault != Fault::HangUp || rig_.Reopen();
}

}  // namespace soak
