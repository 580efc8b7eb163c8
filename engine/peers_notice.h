#pragma once
// When the front end hears that the peer table changed. A notice says only "rebuild from the
// table", so one pending notice stands for any number of changes. Notices are also metered: a few
// may go out back to back, after which they come no more often than once per spacing. Occasional
// changes are thus shown at once, while a stream of announcements spread over a second costs the
// front end a handful of rebuilds, each copying the whole table, instead of one per datagram,
// whose copies would add up to the square of the peers.

#include <chrono>
#include <mutex>

#include "common/event_sink.h"
#include "engine/timer.h"

namespace veltra {

inline constexpr auto kPeersNoticeSpacing = std::chrono::milliseconds(100);
inline constexpr int kPeersNoticeBurst = 5;

class PeersNotice {
  public:
    using Clock = Timer::Clock;

    // Posts PeersChanged to sink; timer tells the time and posts a notice that had to wait. Both
    // must outlive this object. Up to burst notices may be posted back to back; the allowance
    // grows again by one per spacing.
    PeersNotice(EventSink& sink, Timer& timer, Clock::duration spacing = kPeersNoticeSpacing,
                int burst = kPeersNoticeBurst);
    // A notice still waiting for its time is dropped; nothing is posted after this returns.
    ~PeersNotice();
    PeersNotice(const PeersNotice&) = delete;
    PeersNotice& operator=(const PeersNotice&) = delete;

    // The table has changed (any thread). With a notice pending nothing more is needed: its
    // handler copies the table after this change. Otherwise a notice is posted at once if the
    // allowance has one, else as soon as it has.
    void Changed();
    // The front end is about to copy the table (its thread, before the copy): a change from now
    // on needs a notice of its own.
    void Taken();

  private:
    // Adds what the allowance has earned since it was last brought up to date; mutex_ held.
    void Refill(Clock::time_point now);
    // The timer's task: the notice that waited for the allowance.
    void PostDeferred();

    EventSink& sink_;
    Timer& timer_;
    const Clock::duration spacing_;
    const double burst_;
    std::mutex mutex_;
    double allowance_;
    Clock::time_point refilled_;
    bool pending_ = false;   // posted or due, and the front end has not copied the table since
    bool deferred_ = false;  // the timer posts it
};

}  // namespace veltra
