#include "receiving/offer_queue.h"

#include <utility>

namespace veltra {

OfferQueue::Outcome OfferQueue::Push(DownloadJob job) {
    std::optional<DownloadJob> displaced;  // goes after the lock is released
    {
        std::lock_guard guard(mutex_);
        if (closed_) {
            return Outcome::kClosed;
        }
        const std::uint32_t source = job.packet->source_address;
        if (!per_source_.TryAdd(source)) {
            return Outcome::kSourceFull;
        }
        if (SizeLocked() >= limits_.total) {
            if (!job.listed || unlisted_.empty()) {
                per_source_.Remove(source);  // not queued after all
                return Outcome::kQueueFull;
            }
            displaced = std::move(unlisted_.back());
            unlisted_.pop_back();
            per_source_.Remove(displaced->packet->source_address);
        }
        (job.listed ? listed_ : unlisted_).push_back(std::move(job));
    }
    pushed_.notify_one();
    return displaced ? Outcome::kQueuedInPlaceOfAnother : Outcome::kQueued;
}

bool OfferQueue::WaitForJob(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    return pushed_.wait(lock, stop, [this] { return closed_ || SizeLocked() > 0; }) && !closed_;
}

std::optional<DownloadJob> OfferQueue::Take() {
    std::lock_guard guard(mutex_);
    std::deque<DownloadJob>& group = listed_.empty() ? unlisted_ : listed_;
    if (group.empty()) {
        return std::nullopt;
    }
    DownloadJob job = std::move(group.front());
    group.pop_front();
    per_source_.Remove(job.packet->source_address);
    return job;
}

void OfferQueue::Close() {
    std::deque<DownloadJob> dropped_listed;
    std::deque<DownloadJob> dropped_unlisted;
    {
        std::lock_guard guard(mutex_);
        closed_ = true;
        dropped_listed.swap(listed_);
        dropped_unlisted.swap(unlisted_);
        per_source_.Clear();
    }
    pushed_.notify_all();
}

std::size_t OfferQueue::Size() {
    std::lock_guard guard(mutex_);
    return SizeLocked();
}

}  // namespace veltra
