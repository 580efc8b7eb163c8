#include "engine/timer.h"

#include <utility>

#include "common/started_thread.h"

namespace veltra {

SteadyTimer::SteadyTimer() : thread_(StartThread<std::thread>("a timer", [this] { Run(); })) {}

SteadyTimer::~SteadyTimer() {
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
        task_ = nullptr;
    }
    wake_.notify_all();
    thread_.join();
}

void SteadyTimer::RunAt(Clock::time_point due, std::function<void()> task) {
    {
        std::lock_guard guard(mutex_);
        task_ = std::move(task);
        due_ = due;
        ++generation_;
    }
    wake_.notify_all();
}

void SteadyTimer::Cancel() {
    std::unique_lock lock(mutex_);
    task_ = nullptr;
    ++generation_;
    wake_.notify_all();
    idle_.wait(lock, [this] { return !running_; });
}

void SteadyTimer::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || task_ != nullptr; });
        if (stopping_) {
            return;
        }
        // Woken before the time by a new task, a cancel or the end: look again.
        const std::uint64_t generation = generation_;
        if (wake_.wait_until(lock, due_, [&] { return stopping_ || generation_ != generation; })) {
            continue;
        }
        std::function<void()> task = std::move(task_);
        task_ = nullptr;
        running_ = true;
        lock.unlock();
        task();
        lock.lock();
        running_ = false;
        idle_.notify_all();
    }
}

}  // namespace veltra
