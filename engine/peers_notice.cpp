#include "engine/peers_notice.h"

#include <algorithm>

#include "engine/window_messages.h"

namespace veltra {

namespace {

void Post(platform::MessageWindow& window) {
    window.PostMessage(platform::WindowMessage{WM_PEERS_CHANGED, 0, 0, nullptr});
}

}  // namespace

PeersNotice::PeersNotice(platform::MessageWindow& window, Clock::duration spacing, int burst)
    : window_(window),
      spacing_(spacing),
      burst_(std::max(burst, 1)),
      allowance_(burst_),
      refilled_(Clock::now()) {
    timer_ = std::thread([this] { RunTimer(); });
}

PeersNotice::~PeersNotice() {
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    timer_.join();
}

void PeersNotice::Refill(Clock::time_point now) {
    const double earned =
        std::chrono::duration<double>(now - refilled_) / std::chrono::duration<double>(spacing_);
    allowance_ = std::min(burst_, allowance_ + earned);
    refilled_ = now;
}

void PeersNotice::Changed() {
    {
        std::lock_guard guard(mutex_);
        if (pending_) {
            return;
        }
        pending_ = true;
        const Clock::time_point now = Clock::now();
        Refill(now);
        if (allowance_ < 1.0) {
            deferred_ = true;
            due_ = now + std::chrono::duration_cast<Clock::duration>((1.0 - allowance_) * spacing_);
            wake_.notify_all();
            return;
        }
        allowance_ -= 1.0;
        deferred_ = false;
    }
    // Outside the lock: a window may copy the table from inside PostMessage.
    Post(window_);
}

void PeersNotice::Taken() {
    std::lock_guard guard(mutex_);
    pending_ = false;
}

void PeersNotice::RunTimer() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || deferred_; });
        if (stopping_) {
            return;
        }
        if (!wake_.wait_until(lock, due_, [this] { return stopping_; }) && deferred_) {
            deferred_ = false;
            Refill(Clock::now());
            allowance_ = std::max(0.0, allowance_ - 1.0);
            lock.unlock();
            Post(window_);
            lock.lock();
        }
    }
}

}  // namespace veltra
