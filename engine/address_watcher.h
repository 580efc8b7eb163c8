#pragma once
// Announcing again when the host's addresses change: a new network (Wi-Fi joins, a VPN comes up)
// has peers that never heard the announcement of the start. The system tells of changes in
// bursts (an address, its routes, a second address), and a burst earns one announcement, made
// once it has settled.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/timer.h"
#include "platform/address_watch.h"

namespace veltra {

// Long enough for the rest of a burst to arrive, short enough that peers of a new network see
// the host within a few seconds.
inline constexpr auto kAddressSettle = std::chrono::seconds(1);

// Runs an action once changes have settled: the first change arms it, due settle later, and the
// changes that come before it runs are served by that run. A change during the run arms it again,
// since the run may have read the state from before that change.
class SettledAction {
  public:
    // timer must outlive this object and be cancelled before it goes.
    SettledAction(Timer& timer, Timer::Clock::duration settle, std::function<void()> action);
    // Any thread.
    void Changed();

  private:
    void Run();

    Timer& timer_;
    const Timer::Clock::duration settle_;
    const std::function<void()> action_;
    std::mutex mutex_;
    bool armed_ = false;
};

// Watches the host's addresses on a thread of its own and runs action (on the timer's thread)
// once each burst of changes has settled.
class AddressWatcher {
  public:
    // Throws std::system_error with the errno when the system's word cannot be had or a thread
    // cannot start.
    explicit AddressWatcher(std::function<void()> action,
                            Timer::Clock::duration settle = kAddressSettle);
    ~AddressWatcher();
    AddressWatcher(const AddressWatcher&) = delete;
    AddressWatcher& operator=(const AddressWatcher&) = delete;

    // Ends the watch and waits for an action that is running; none runs after this returns.
    // Safe to call twice.
    void Stop();

  private:
    platform::AddressWatch watch_;
    SteadyTimer timer_;
    SettledAction settled_;
    std::thread thread_;
};

}  // namespace veltra
