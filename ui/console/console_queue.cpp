#include "ui/console/console_queue.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace veltra {
namespace {

bool IsProgress(const ConsoleEvent& item) {
    const auto* event = std::get_if<Event>(&item);
    return event != nullptr && std::holds_alternative<FileProgress>(*event);
}

// The download worker's account of a received file, which scripts count on, and its progress:
// a fast transfer of small files would otherwise crowd out its own progress lines.
bool WaitsForRoom(const Event& event) {
    return std::holds_alternative<BatchStarted>(event) ||
           std::holds_alternative<FileStarted>(event) ||
           std::holds_alternative<FileProgress>(event) || std::holds_alternative<FileDone>(event) ||
           std::holds_alternative<FilesReceived>(event);
}

// Dropping the pending peer change would leave the list unchanged for good: no other is posted
// until it has been handled. A served offer is reported once, and the end of input waits for it;
// there is one per entry this console offered. A received file's lines wait for room instead; of
// them only a progress line, which the file's end line follows, may make room for others.
bool MayDrop(const ConsoleEvent& item) {
    const auto* event = std::get_if<Event>(&item);
    return event != nullptr && !std::holds_alternative<PeersChanged>(*event) &&
           !std::holds_alternative<OfferServed>(*event) && !WaitsForRoom(*event);
}

Event DroppedNotice() {
    return LogNotice{L"输出跟不上，部分日志已丢弃"};
}

}  // namespace

void ConsoleQueue::Post(Event event) {
    const bool progress = std::holds_alternative<FileProgress>(event);
    const bool waits = WaitsForRoom(event);
    ConsoleEvent item(std::move(event));
    bool wake = false;
    {
        std::unique_lock lock(mutex_);
        if (events_.Replaces(item)) {
            events_.Add(std::move(item));
            return;  // the batch it joins is already due
        }
        if (waits && posted_ >= message_limit_ && !closed_) {
            ++waiting_for_room_;
            room_.wait(lock, [this] { return closed_ || posted_ < message_limit_; });
            --waiting_for_room_;
        }
        if (posted_ >= message_limit_ && !MakeRoom(progress)) {
            return;
        }
        wake = !Ready();
        events_.Add(std::move(item));
        ++posted_;
        wake = wake || posted_ == message_limit_ / 2;
    }
    if (wake) {
        ready_.notify_one();
    }
}

bool ConsoleQueue::MakeRoom(bool for_progress) {
    const std::vector<ConsoleEvent>& waiting = events_.Items();
    auto victim = std::find_if(waiting.begin(), waiting.end(), IsProgress);
    if (victim == waiting.end()) {
        if (for_progress) {
            NoteDropped();
            return false;  // the newest progress goes before any other message
        }
        victim = std::find_if(waiting.begin(), waiting.end(), MayDrop);
        if (victim == waiting.end()) {
            return true;  // nothing waiting may go: the queue holds one more
        }
    }
    NoteDropped();
    events_.Erase(static_cast<std::size_t>(std::distance(waiting.begin(), victim)));
    --posted_;
    return true;
}

void ConsoleQueue::NoteDropped() {
    if (!dropped_) {
        dropped_ = true;
        notice_due_ = true;
    }
}

void ConsoleQueue::PostInput(ConsoleInput input) {
    bool wake = false;
    {
        std::lock_guard guard(mutex_);
        wake = !Ready();
        events_.Add(std::move(input));
    }
    if (wake) {
        ready_.notify_one();
    }
}

std::vector<ConsoleEvent> ConsoleQueue::TakeAll() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return Ready(); });
    return TakeReady(lock);
}

std::vector<ConsoleEvent> ConsoleQueue::TakeAllWithin(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, limit, [this] { return Ready(); })) {
        return {};
    }
    return TakeReady(lock);
}

std::vector<ConsoleEvent> ConsoleQueue::TakeReady(std::unique_lock<std::mutex>& lock) {
    // What comes meanwhile joins this batch; a post that crowds the queue cuts the wait short.
    ready_.wait_until(lock, last_taken_ + kDrainSpacing, [this] { return Crowded(); });
    last_taken_ = Clock::now();
    std::vector<ConsoleEvent> batch = events_.TakeAll();
    if (notice_due_) {
        notice_due_ = false;
        batch.insert(batch.begin(), DroppedNotice());
    }
    posted_ = 0;
    dropped_ = false;  // caught up: a later overflow is told again
    room_.notify_all();
    return batch;
}

void ConsoleQueue::Close() {
    {
        std::lock_guard guard(mutex_);
        closed_ = true;
    }
    room_.notify_all();
}

std::size_t ConsoleQueue::PostsWaitingForRoom() {
    std::lock_guard guard(mutex_);
    return waiting_for_room_;
}

}  // namespace veltra
