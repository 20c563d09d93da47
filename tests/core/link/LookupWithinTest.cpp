// A host lookup within a time-out: a lookup that hangs is given up on at the
// time-out, and what it finds later is freed by the helper, not leaked or
// handed to a caller that has gone.
#include <gtest/gtest.h>

#include <future>

#include "link/LookupWithin.h"

namespace {

using namespace std::chrono_literals;

TEST(LookupWithin, GivesTheResultInTimeAndGivesUpOnALookupThatHangs)
{
    const auto never = [](int&) { FAIL() << "a result taken in time was discarded"; };
    EXPECT_EQ(LookupWithin<int>([] { return 7; }, never, 10s), 7);

    std::promise<void> answer;
    // Shared with the helper, which may still be leaving set_value when the test ends.
    const auto discarded = std::make_shared<std::promise<int>>();
    std::shared_future<void> answered = answer.get_future().share();
    const std::optional<int> late = LookupWithin<int>(
        [answered] {
            answered.wait();
            return 9;
        },
        [discarded](int& result) { discarded->set_value(result); }, 20ms);
    EXPECT_FALSE(late);
    answer.set_value();
    std::future<int> freed = discarded->get_future();
    ASSERT_EQ(freed.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(freed.get(), 9);
}

}  // namespace
