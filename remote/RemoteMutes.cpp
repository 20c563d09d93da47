#include "RemoteMutes.h"

#include <chrono>
#include <future>
#include <memory>

#include <boost/asio/post.hpp>

#include "FieldEdit.h"
#include "RemoteUnit.h"

namespace {

// Far longer than the link's time-outs: only a server that is shutting
// down (its io context stopped) leaves the answer out this long.
constexpr auto kAnswerWait = std::chrono::seconds(10);

bool Await(std::future<bool>& answer)
{
    try {
        return answer.wait_for(kAnswerWait) == std::future_status::ready && answer.get();
    } catch (const std::future_error&) {  // dropped unanswered (the io context ended)
        return false;
    }
}

}  // namespace

RemoteMutes::RemoteMutes(RemoteUnit& unit, boost::asio::any_io_executor io)
    : unit_(unit),
      io_(std::move(io)),
      current_{unit.Expected().mute[kSlotLeftRight] != 0, unit.Expected().mute[kSlotSub] != 0}
{
}

bool RemoteMutes::Send(MuteChannel channel, bool muted)
{
    auto acknowledged = std::make_shared<std::promise<bool>>();
    std::future<bool> answer = acknowledged->get_future();
    const char* name = channel == MuteChannel::LeftRight ? "lr" : "sub";
    boost::asio::post(io_, [this, acknowledged, name, muted] {
        if (!unit_.Connected()) return acknowledged->set_value(false);
        unit_.EditUnrecorded(ParseFieldEdit(name, {"mute", muted ? "1" : "0"}),
                             [acknowledged](int result) { acknowledged->set_value(result == 0); });
    });
    const bool taken = Await(answer);
    if (taken) (channel == MuteChannel::LeftRight ? current_.leftRight : current_.sub) = muted;
    return taken;
}
