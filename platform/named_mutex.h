#pragma once
// A mutex found by name: every NamedMutex of the same name in the process locks the same mutex,
// as the device's named kernel mutexes did. It lives while any holder of the name exists.

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

namespace veltra::platform {

class NamedMutex {
  public:
    explicit NamedMutex(const std::string& name);

    void lock() { mutex_->lock(); }
    bool try_lock() { return mutex_->try_lock(); }
    bool try_lock_for(std::chrono::milliseconds limit) { return mutex_->try_lock_for(limit); }
    void unlock() { mutex_->unlock(); }

    // True when both objects lock the same mutex.
    bool SharesWith(const NamedMutex& other) const { return mutex_ == other.mutex_; }

  private:
    std::shared_ptr<std::timed_mutex> mutex_;
};

}  // namespace veltra::platform
