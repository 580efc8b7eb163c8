#include "engine/timer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace veltra {
namespace {

using namespace std::chrono_literals;

TEST(SteadyTimer, RunsTheLatestTaskOnceWhenItIsDue) {
    SteadyTimer timer;
    std::atomic<int> first{0};
    std::promise<Timer::Clock::time_point> ran;
    const auto due = timer.Now() + 30ms;
    timer.RunAt(timer.Now() + 10ms, [&] { ++first; });
    timer.RunAt(due, [&] { ran.set_value(Timer::Clock::now()); });  // replaces the first
    auto done = ran.get_future();
    ASSERT_EQ(done.wait_for(5s), std::future_status::ready);
    EXPECT_GE(done.get(), due);
    EXPECT_EQ(first, 0);
}

TEST(SteadyTimer, CancelDropsTheTaskAndWaitsForOneThatRuns) {
    SteadyTimer timer;
    std::atomic<int> dropped{0};
    timer.RunAt(timer.Now() + 20ms, [&] { ++dropped; });
    timer.Cancel();

    std::promise<void> started;
    std::atomic<bool> release{false};
    std::atomic<bool> finished{false};
    timer.RunAt(timer.Now(), [&] {
        started.set_value();
        while (!release) {
            std::this_thread::yield();
        }
        finished = true;
    });
    ASSERT_EQ(started.get_future().wait_for(5s), std::future_status::ready);
    auto cancel = std::async(std::launch::async, [&] { timer.Cancel(); });
    EXPECT_EQ(cancel.wait_for(50ms), std::future_status::timeout)
        << "Cancel returned while the task was still running";
    release = true;
    cancel.get();
    EXPECT_TRUE(finished);
    std::this_thread::sleep_for(40ms);
    EXPECT_EQ(dropped, 0) << "a cancelled task ran";
}

}  // namespace
}  // namespace veltra
