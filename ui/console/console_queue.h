#pragma once
// The console's event sink: one queue into which worker threads post their events and the input
// reader puts parsed command lines. The main thread takes them out one at a time, so events and
// commands are handled on one thread in the order they arrived, as a dialog's message loop would.
//
// Standard output may be read slowly or not at all while peers keep sending, so the events
// waiting are bounded: beyond the bound, progress events are dropped first, then the oldest
// others, and the next item taken is one line saying so (once until the queue has run empty).
// Input lines are never dropped, nor the one pending peer change, nor the reports of served
// offers.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <variant>

#include "common/event_sink.h"
#include "ui/console/console_command.h"

namespace veltra {

// A parsed input line, or the end of input.
struct ConsoleInput {
    ConsoleParse parse;
    bool end_of_input = false;
};

using ConsoleEvent = std::variant<Event, ConsoleInput>;

inline constexpr std::size_t kConsoleMessageLimit = 1024;

class ConsoleQueue : public EventSink {
  public:
    explicit ConsoleQueue(std::size_t message_limit = kConsoleMessageLimit)
        : message_limit_(message_limit) {}

    // Any thread; never waits for the event to be handled.
    void Post(Event event) override;
    void PostInput(ConsoleInput input);
    // Waits until an event is there and takes the oldest.
    ConsoleEvent Take();
    // The oldest event, or nothing when none comes within limit.
    std::optional<ConsoleEvent> TakeWithin(std::chrono::milliseconds limit);

  private:
    // Drops a waiting event to make room for one more: the oldest progress event, else the
    // oldest other one that may go. False when the new event, a progress event while none
    // waits, is the one to drop. mutex_ held.
    bool MakeRoom(bool for_progress);
    bool Ready() const { return notice_due_ || !events_.empty(); }
    // The notice if one is due, else the oldest event; mutex_ held, Ready().
    ConsoleEvent TakeReady();

    const std::size_t message_limit_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<ConsoleEvent> events_;
    std::size_t posted_ = 0;  // posted events (not input lines) in events_
    bool dropped_ = false;    // since the queue was last empty
    bool notice_due_ = false;
};

}  // namespace veltra
