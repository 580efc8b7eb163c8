#include "ui/console/console_queue.h"

#include <algorithm>
#include <utility>

namespace veltra {
namespace {

bool IsProgress(const ConsoleEvent& item) {
    const auto* event = std::get_if<Event>(&item);
    return event != nullptr && std::holds_alternative<FileProgress>(*event);
}

// Dropping the pending peer change would leave the list unchanged for good: no other is posted
// until it has been handled. A served offer is reported once, and the end of input waits for it;
// there is one per entry this console offered.
bool MayDrop(const ConsoleEvent& item) {
    const auto* event = std::get_if<Event>(&item);
    return event != nullptr && !std::holds_alternative<PeersChanged>(*event) &&
           !std::holds_alternative<OfferServed>(*event);
}

Event DroppedNotice() {
    return LogNotice{L"输出跟不上，部分日志已丢弃"};
}

}  // namespace

void ConsoleQueue::Post(Event event) {
    {
        std::lock_guard guard(mutex_);
        if (posted_ >= message_limit_ && !MakeRoom(std::holds_alternative<FileProgress>(event))) {
            return;
        }
        events_.emplace_back(std::move(event));
        ++posted_;
    }
    ready_.notify_one();
}

bool ConsoleQueue::MakeRoom(bool for_progress) {
    if (!dropped_) {
        dropped_ = true;
        notice_due_ = true;
    }
    auto victim = std::find_if(events_.begin(), events_.end(), IsProgress);
    if (victim == events_.end()) {
        if (for_progress) {
            return false;  // the newest progress goes before any other message
        }
        victim = std::find_if(events_.begin(), events_.end(), MayDrop);
        if (victim == events_.end()) {
            return true;
        }
    }
    events_.erase(victim);
    --posted_;
    return true;
}

void ConsoleQueue::PostInput(ConsoleInput input) {
    {
        std::lock_guard guard(mutex_);
        events_.emplace_back(std::move(input));
    }
    ready_.notify_one();
}

ConsoleEvent ConsoleQueue::Take() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return Ready(); });
    return TakeReady();
}

std::optional<ConsoleEvent> ConsoleQueue::TakeWithin(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, limit, [this] { return Ready(); })) {
        return std::nullopt;
    }
    return TakeReady();
}

ConsoleEvent ConsoleQueue::TakeReady() {
    if (notice_due_) {
        notice_due_ = false;
        return DroppedNotice();
    }
    ConsoleEvent event = std::move(events_.front());
    events_.pop_front();
    if (std::holds_alternative<Event>(event)) {
        --posted_;
    }
    if (events_.empty()) {
        dropped_ = false;  // caught up: a later overflow is told again
    }
    return event;
}

}  // namespace veltra
