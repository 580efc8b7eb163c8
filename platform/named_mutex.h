#pragma once
// A mutex found by name: every NamedMutex of the same name in the process locks the same mutex,
// as the device's named kernel mutexes did. It lives while any holder of the name exists.

#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>

namespace veltra::platform {

class NamedMutex {
  public:
    explicit NamedMutex(const std::string& name);

    void lock();
    bool try_lock();
    // Waits for the mutex unless stop is requested first (the wait then ends at once); true when
    // the mutex is now held.
    bool lock(std::stop_token stop);
    void unlock();

  private:
    // A plain flag under a plain mutex, so that a wait can also end on a stop request, and so
    // that ThreadSanitizer sees every hand-over.
    struct State {
        std::mutex mutex;
        std::condition_variable_any released;
        bool held = false;
    };
    std::shared_ptr<State> state_;
};

}  // namespace veltra::platform
