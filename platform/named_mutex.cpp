#include "platform/named_mutex.h"

#include <map>

namespace veltra::platform {

NamedMutex::NamedMutex(const std::string& name) {
    static std::mutex registry_lock;
    static std::map<std::string, std::weak_ptr<State>> registry;
    std::lock_guard guard(registry_lock);
    std::weak_ptr<State>& slot = registry[name];
    state_ = slot.lock();
    if (!state_) {
        state_ = std::make_shared<State>();
        slot = state_;
    }
}

void NamedMutex::lock() {
    std::unique_lock lock(state_->mutex);
    state_->released.wait(lock, [this] { return !state_->held; });
    state_->held = true;
}

bool NamedMutex::try_lock() {
    std::lock_guard guard(state_->mutex);
    if (state_->held) {
        return false;
    }
    state_->held = true;
    return true;
}

bool NamedMutex::lock(std::stop_token stop) {
    std::unique_lock lock(state_->mutex);
    if (!state_->released.wait(lock, stop, [this] { return !state_->held; })) {
        return false;
    }
    state_->held = true;
    return true;
}

void NamedMutex::unlock() {
    {
        std::lock_guard guard(state_->mutex);
        state_->held = false;
    }
    // Every waiter: one whose stop was requested leaves without taking the mutex, and must not
    // swallow the wake-up of another.
    state_->released.notify_all();
}

}  // namespace veltra::platform
