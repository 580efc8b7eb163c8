#include "ui/console/console_queue.h"

#include <utility>

namespace veltra {

void ConsoleQueue::PostMessage(platform::WindowMessage message) {
    {
        std::lock_guard guard(mutex_);
        events_.emplace_back(std::move(message));
    }
    ready_.notify_one();
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
    ready_.wait(lock, [this] { return !events_.empty(); });
    ConsoleEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
}

std::optional<ConsoleEvent> ConsoleQueue::TakeWithin(std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    if (!ready_.wait_for(lock, limit, [this] { return !events_.empty(); })) {
        return std::nullopt;
    }
    ConsoleEvent event = std::move(events_.front());
    events_.pop_front();
    return event;
}

}  // namespace veltra
