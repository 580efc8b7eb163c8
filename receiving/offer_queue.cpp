#include "receiving/offer_queue.h"

#include <utility>

namespace veltra {

OfferQueue::Outcome OfferQueue::Push(DownloadJob job) {
    {
        std::lock_guard guard(mutex_);
        if (closed_) {
            return Outcome::kClosed;
        }
        const std::uint32_t source = job.packet->source_address;
        const auto found = per_source_.find(source);
        if (found != per_source_.end() && found->second >= limits_.per_source) {
            return Outcome::kSourceFull;
        }
        if (jobs_.size() >= limits_.total) {
            return Outcome::kQueueFull;
        }
        jobs_.push_back(std::move(job));
        ++per_source_[source];
    }
    pushed_.notify_one();
    return Outcome::kQueued;
}

bool OfferQueue::WaitForJob(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    return pushed_.wait(lock, stop, [this] { return closed_ || !jobs_.empty(); }) && !closed_;
}

std::optional<DownloadJob> OfferQueue::Take() {
    std::lock_guard guard(mutex_);
    if (jobs_.empty()) {
        return std::nullopt;
    }
    DownloadJob job = std::move(jobs_.front());
    jobs_.pop_front();
    const auto found = per_source_.find(job.packet->source_address);
    if (--found->second == 0) {
        per_source_.erase(found);
    }
    return job;
}

void OfferQueue::Close() {
    std::deque<DownloadJob> dropped;
    {
        std::lock_guard guard(mutex_);
        closed_ = true;
        dropped.swap(jobs_);
        per_source_.clear();
    }
    pushed_.notify_all();
}

std::size_t OfferQueue::Size() {
    std::lock_guard guard(mutex_);
    return jobs_.size();
}

}  // namespace veltra
