#include "platform/named_mutex.h"

#include <map>

namespace veltra::platform {

NamedMutex::NamedMutex(const std::string& name) {
    static std::mutex registry_lock;
    static std::map<std::string, std::weak_ptr<std::timed_mutex>> registry;
    std::lock_guard guard(registry_lock);
    std::weak_ptr<std::timed_mutex>& slot = registry[name];
    mutex_ = slot.lock();
    if (!mutex_) {
        mutex_ = std::make_shared<std::timed_mutex>();
        slot = mutex_;
    }
}

}  // namespace veltra::platform
