#include "RemoteTuneUnit.h"

#include <atomic>
#include <chrono>
#include <future>
#include <memory>

#include <boost/asio/post.hpp>

#include "FieldEdit.h"
#include "RemoteUnit.h"

namespace {

// Far longer than the link's time-outs for one message and for those of a
// whole setting: only a server that is shutting down (its io context
// stopped) leaves the answer out this long.
constexpr auto kMuteWait = std::chrono::seconds(10);
constexpr auto kSettingWait = std::chrono::seconds(30);

// The history's ids of the tuning passes' changes, counting down from -1: a
// client's gesture (a hash of its name) meets one only by chance.
long NextGesture()
{
    static std::atomic<long> passes{0};
    return -1 - passes++;
}

// Runs `ask` on the io thread, which answers through the promise it is
// given; the answer, or `none` when it did not come.
template <class T>
T AnswerFromIo(const boost::asio::any_io_executor& io, std::function<void(std::shared_ptr<std::promise<T>>)> ask,
               T none, std::chrono::seconds wait = kMuteWait)
{
    auto promise = std::make_shared<std::promise<T>>();
    std::future<T> answer = promise->get_future();
    boost::asio::post(io, [ask = std::move(ask), promise] { ask(promise); });
    try {
        return answer.wait_for(wait) == std::future_status::ready ? answer.get() : none;
    } catch (const std::future_error&) {  // dropped unanswered (the io context ended)
        return none;
    }
}

}  // namespace

RemoteTuneUnit::RemoteTuneUnit(RemoteUnit& unit, boost::asio::any_io_executor io)
    : unit_(unit),
      io_(std::move(io)),
      mutes_{unit.Expected().mute[kSlotLeftRight] != 0, unit.Expected().mute[kSlotSub] != 0},
      gesture_(NextGesture())
{
}

bool RemoteTuneUnit::Send(MuteChannel channel, bool muted)
{
    const char* name = channel == MuteChannel::LeftRight ? "lr" : "sub";
    const bool taken = AnswerFromIo<bool>(
        io_,
        [this, name, muted](std::shared_ptr<std::promise<bool>> answer) {
            if (!unit_.Connected()) return answer->set_value(false);
            unit_.EditUnrecorded(ParseFieldEdit(name, {"mute", muted ? "1" : "0"}),
                                 [answer](int result) { answer->set_value(result == 0); });
        },
        false);
    if (taken) (channel == MuteChannel::LeftRight ? mutes_.leftRight : mutes_.sub) = muted;
    return taken;
}

std::optional<ParameterModel> RemoteTuneUnit::Setting()
{
    return AnswerFromIo<std::optional<ParameterModel>>(
        io_,
        [this](std::shared_ptr<std::promise<std::optional<ParameterModel>>> answer) {
            answer->set_value(unit_.Connected() ? std::optional(unit_.Expected()) : std::nullopt);
        },
        std::nullopt);
}

ApplyResult RemoteTuneUnit::Apply(const ParameterModel& from, const ParameterModel& to, const std::string& label)
{
    // A client's edit between the proposal and now: nothing is sent.
    const ApplyResult changed{ApplyResult::Outcome::PutBack,
                              "The unit's setting changed since it was read: nothing was applied.",
                              {}};
    // A message that failed may or may not have been taken: every field may hold either value.
    const ApplyResult lost{ApplyResult::Outcome::LeftChanged, "The unit did not acknowledge the change.",
                           SettingDifferences(from, to)};
    return AnswerFromIo<ApplyResult>(
        io_,
        [this, from, to, label, changed, lost](std::shared_ptr<std::promise<ApplyResult>> answer) {
            if (!unit_.Connected())
                return answer->set_value({ApplyResult::Outcome::PutBack,
                                          "The unit is not connected: nothing was applied.", {}});
            if (!SameSetting(unit_.Expected(), from)) return answer->set_value(changed);
            unit_.ChangeSetting(
                to, label, [answer, lost](int result) { answer->set_value(result == 0 ? ApplyResult{} : lost); },
                gesture_);
        },
        lost, kSettingWait);
}
