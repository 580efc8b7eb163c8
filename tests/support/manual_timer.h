#pragma once
// A timer whose clock moves only when the test moves it: a task that has come due runs on the
// test's own thread, inside Advance.

#include <chrono>
#include <functional>
#include <mutex>
#include <utility>

#include "engine/timer.h"

namespace veltra::testing {

class ManualTimer : public Timer {
  public:
    Clock::time_point Now() override {
        std::lock_guard guard(mutex_);
        return now_;
    }
    void RunAt(Clock::time_point due, std::function<void()> task) override {
        std::lock_guard guard(mutex_);
        due_ = due;
        task_ = std::move(task);
    }
    void Cancel() override {
        std::lock_guard guard(mutex_);
        task_ = nullptr;
    }

    // Moves the clock on by step and runs the task if it has come due.
    void Advance(Clock::duration step) {
        std::function<void()> task;
        {
            std::lock_guard guard(mutex_);
            now_ += step;
            if (task_ && due_ <= now_) {
                task = std::move(task_);
                task_ = nullptr;
            }
        }
        if (task) {
            task();
        }
    }
    bool HasTask() {
        std::lock_guard guard(mutex_);
        return task_ != nullptr;
    }

  private:
    std::mutex mutex_;
    Clock::time_point now_{std::chrono::hours(1)};
    Clock::time_point due_{};
    std::function<void()> task_;
};

}  // namespace veltra::testing
