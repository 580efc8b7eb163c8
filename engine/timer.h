#pragma once
// A clock that also runs one task once its time has come. The program uses the steady clock and a
// thread of the timer's own; tests put a timer that they move by hand in its place.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "common/time_source.h"

namespace veltra {

class Timer : public TimeSource {
  public:
    // Runs task once, at due or soon after, on a thread of the timer's; a task given earlier that
    // has not run yet is dropped. Any thread.
    virtual void RunAt(Clock::time_point due, std::function<void()> task) = 0;
    // Drops the task that has not run yet and waits for one that is running; none runs after this
    // returns unless RunAt is called again. Never call it from inside a task.
    virtual void Cancel() = 0;
};

// The steady clock, and a thread that sleeps until the task is due.
class SteadyTimer final : public Timer {
  public:
    // Starts the thread; throws std::system_error ("cannot create thread for a timer") when it
    // cannot.
    SteadyTimer();
    ~SteadyTimer() override;
    SteadyTimer(const SteadyTimer&) = delete;
    SteadyTimer& operator=(const SteadyTimer&) = delete;

    Clock::time_point Now() override { return Clock::now(); }
    void RunAt(Clock::time_point due, std::function<void()> task) override;
    void Cancel() override;

  private:
    void Run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::function<void()> task_;
    Clock::time_point due_{};
    std::uint64_t generation_ = 0;  // counts the tasks given and the cancels
    bool running_ = false;          // a task is being run, outside the lock
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace veltra
