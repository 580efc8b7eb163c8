#include "engine/peers_notice.h"

#include <algorithm>

namespace veltra {

PeersNotice::PeersNotice(EventSink& sink, Timer& timer, Clock::duration spacing, int burst)
    : sink_(sink),
      timer_(timer),
      spacing_(spacing),
      burst_(std::max(burst, 1)),
      allowance_(burst_),
      refilled_(timer.Now()) {}

PeersNotice::~PeersNotice() {
    timer_.Cancel();
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
        const Clock::time_point now = timer_.Now();
        Refill(now);
        if (allowance_ < 1.0) {
            deferred_ = true;
            timer_.RunAt(
                now + std::chrono::duration_cast<Clock::duration>((1.0 - allowance_) * spacing_),
                [this] { PostDeferred(); });
            return;
        }
        allowance_ -= 1.0;
        deferred_ = false;
    }
    // Outside the lock: a front end may copy the table from inside Post.
    sink_.Post(PeersChanged{});
}

void PeersNotice::Taken() {
    std::lock_guard guard(mutex_);
    pending_ = false;
}

void PeersNotice::PostDeferred() {
    {
        std::lock_guard guard(mutex_);
        if (!deferred_) {
            return;
        }
        deferred_ = false;
        Refill(timer_.Now());
        allowance_ = std::max(0.0, allowance_ - 1.0);
    }
    sink_.Post(PeersChanged{});
}

}  // namespace veltra
