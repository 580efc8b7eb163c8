#include "engine/address_watcher.h"

#include <utility>

#include "common/started_thread.h"

namespace veltra {

SettledAction::SettledAction(Timer& timer, Timer::Clock::duration settle,
                             std::function<void()> action)
    : timer_(timer), settle_(settle), action_(std::move(action)) {}

void SettledAction::Changed() {
    std::lock_guard guard(mutex_);
    if (armed_) {
        return;
    }
    armed_ = true;
    timer_.RunAt(timer_.Now() + settle_, [this] { Run(); });
}

void SettledAction::Run() {
    {
        std::lock_guard guard(mutex_);
        armed_ = false;
    }
    action_();
}

AddressWatcher::AddressWatcher(std::function<void()> action, Timer::Clock::duration settle)
    : settled_(timer_, settle, std::move(action)) {
    thread_ = StartThread<std::thread>("the address watch", [this] {
        while (watch_.WaitForChange()) {
            settled_.Changed();
        }
    });
}

AddressWatcher::~AddressWatcher() {
    Stop();
}

void AddressWatcher::Stop() {
    watch_.Interrupt();
    if (thread_.joinable()) {
        thread_.join();
    }
    timer_.Cancel();
}

}  // namespace veltra
