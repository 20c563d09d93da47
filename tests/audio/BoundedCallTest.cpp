// The bounded wait that keeps a hanging sound library from hanging the program.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "BoundedCall.h"

using namespace std::chrono_literals;

TEST(BoundedCall, ACallThatNeverReturnsIsGivenUpAfterTheTimeoutAndOneThatReturnsIsWaitedFor)
{
    auto release = std::make_shared<std::promise<void>>();
    std::shared_future<void> released = release->get_future().share();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(CallWithin(100ms, [released] { released.wait(); }));
    // Generous: only a wait without bound fails it.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    release->set_value();

    bool ran = false;
    EXPECT_TRUE(CallWithin(20s, [&ran] {
        std::this_thread::sleep_for(50ms);
        ran = true;
    }));
    EXPECT_TRUE(ran);
}

TEST(BoundedCall, WhatTheCallThrowsReachesTheCaller)
{
    EXPECT_THROW(CallWithin(20s, [] { throw std::runtime_error("device gone"); }), std::runtime_error);
}
