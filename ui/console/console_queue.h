#pragma once
// The console's event sink: worker threads post their events, and the input reader its parsed
// lines, into one queue that the main thread empties a batch at a time, in the order of arrival,
// writing its output in one go. A post wakes the main thread only when the queue was empty, and
// batches come at most one per kDrainSpacing (a queue half full at once), so a fast transfer
// costs the console a wake-up and a write per batch, not per file.
//
// Standard output may be read slowly or not at all while peers keep sending, so the events
// waiting are bounded. A received file's lines wait for room, as a writer waits for a full pipe:
// a script reading them must see every file. Anything else makes room by dropping a waiting event
// that may go (MakeRoom), and the next batch starts with one line saying so.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <variant>
#include <vector>

#include "common/event_sink.h"
#include "ui/console/console_command.h"
#include "ui/control/control_server.h"
#include "ui/presentation/event_batch.h"

namespace veltra {

// A parsed input line, the end of input, or a request that came through the control socket.
struct ConsoleInput {
    ConsoleParse parse;
    bool end_of_input = false;
    std::shared_ptr<ControlCall> control = {};
};

using ConsoleEvent = std::variant<Event, ConsoleInput>;

inline constexpr std::size_t kConsoleMessageLimit = 1024;
inline constexpr std::chrono::milliseconds kDrainSpacing{10};

class ConsoleQueue : public EventSink {
  public:
    using Clock = std::chrono::steady_clock;

    explicit ConsoleQueue(std::size_t message_limit = kConsoleMessageLimit)
        : message_limit_(message_limit) {}

    // Any thread; never waits for the event to be handled, only for room for a received file's
    // line (see above) until Close.
    void Post(Event event) override;
    void PostInput(ConsoleInput input);
    // Waits until something is there, then takes everything waiting, oldest first.
    std::vector<ConsoleEvent> TakeAll();
    // As TakeAll, but empty when nothing comes within limit.
    std::vector<ConsoleEvent> TakeAllWithin(std::chrono::milliseconds limit);
    // The main thread takes no more: a post waiting for room goes on (as a full queue's other
    // events do), and none waits from now on. Called before the session stops its workers.
    void Close();
    // Posts waiting for room now (for tests).
    std::size_t PostsWaitingForRoom();

  private:
    // Drops a waiting event to make room for one more: the oldest progress event, else the
    // oldest other one that may go. False when the new event, a progress event while none
    // waits, is the one to drop. mutex_ held.
    bool MakeRoom(bool for_progress);
    // The next batch starts with the line saying that output was dropped. mutex_ held.
    void NoteDropped();
    bool Ready() const { return notice_due_ || !events_.Empty(); }
    bool Crowded() const { return posted_ >= message_limit_ / 2; }
    // After Ready(): waits out the spacing since the last batch, then takes the batch.
    std::vector<ConsoleEvent> TakeReady(std::unique_lock<std::mutex>& lock);

    const std::size_t message_limit_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::condition_variable room_;
    EventBatch<ConsoleEvent> events_;
    std::size_t posted_ = 0;  // posted events (not input lines) in events_
    bool dropped_ = false;    // since the queue was last empty
    bool notice_due_ = false;
    Clock::time_point last_taken_{};
    bool closed_ = false;
    std::size_t waiting_for_room_ = 0;
};

}  // namespace veltra
