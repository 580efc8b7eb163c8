#include "ui/console/console_queue.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "engine/window_messages.h"

namespace veltra {
namespace {

bool IsProgress(const ConsoleEvent& event) {
    const auto* message = std::get_if<platform::WindowMessage>(&event);
    return message != nullptr && message->id == WM_FILE_PROGRESS;
}

// Dropping the pending peer-change message would leave the list unchanged for good: no other is
// posted until it has been handled. A served offer is reported once, and the end of input waits
// for it; there is one per entry this console offered.
bool MayDrop(const ConsoleEvent& event) {
    const auto* message = std::get_if<platform::WindowMessage>(&event);
    return message != nullptr && message->id != WM_PEERS_CHANGED && message->id != WM_OFFER_SERVED;
}

platform::WindowMessage DroppedNotice() {
    auto notice = std::make_unique<NoticePayload>();
    notice->text = L"输出跟不上，部分日志已丢弃";
    return platform::WindowMessage{WM_LOG_NOTICE, 0, 0, std::move(notice)};
}

}  // namespace

void ConsoleQueue::PostMessage(platform::WindowMessage message) {
    {
        std::lock_guard guard(mutex_);
        if (messages_ >= message_limit_ && !MakeRoom(message.id == WM_FILE_PROGRESS)) {
            return;
        }
        events_.emplace_back(std::move(message));
        ++messages_;
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
    --messages_;
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
    if (std::holds_alternative<platform::WindowMessage>(event)) {
        --messages_;
    }
    if (events_.empty()) {
        dropped_ = false;  // caught up: a later overflow is told again
    }
    return event;
}

}  // namespace veltra
