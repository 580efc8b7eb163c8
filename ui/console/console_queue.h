#pragma once
// The console's "window": one queue into which worker threads post their window messages and the
// input reader puts parsed command lines. The main thread takes them out one at a time, so
// messages and commands are handled on one thread in the order they arrived, as a dialog's
// message loop would.
//
// Standard output may be read slowly or not at all while peers keep sending, so the messages
// waiting are bounded: beyond the bound, progress messages are dropped first, then the oldest
// others, and the next event taken is one line saying so (once until the queue has run empty).
// Input lines are never dropped, nor the one pending peer-change message, nor the reports of
// served offers.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <variant>

#include "platform/window.h"
#include "ui/console/console_command.h"

namespace veltra {

// A parsed input line, or the end of input.
struct ConsoleInput {
    ConsoleParse parse;
    bool end_of_input = false;
};

using ConsoleEvent = std::variant<platform::WindowMessage, ConsoleInput>;

inline constexpr std::size_t kConsoleMessageLimit = 1024;

class ConsoleQueue : public platform::MessageWindow {
  public:
    explicit ConsoleQueue(std::size_t message_limit = kConsoleMessageLimit)
        : message_limit_(message_limit) {}

    // Any thread; never waits for the message to be handled.
    void PostMessage(platform::WindowMessage message) override;
    void PostInput(ConsoleInput input);
    // Waits until an event is there and takes the oldest.
    ConsoleEvent Take();
    // The oldest event, or nothing when none comes within limit.
    std::optional<ConsoleEvent> TakeWithin(std::chrono::milliseconds limit);

  private:
    // Drops a waiting message to make room for one more: the oldest progress message, else the
    // oldest other one that may go. False when the new message, a progress message while none
    // waits, is the one to drop. mutex_ held.
    bool MakeRoom(bool for_progress);
    bool Ready() const { return notice_due_ || !events_.empty(); }
    // The notice if one is due, else the oldest event; mutex_ held, Ready().
    ConsoleEvent TakeReady();

    const std::size_t message_limit_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<ConsoleEvent> events_;
    std::size_t messages_ = 0;  // window messages in events_
    bool dropped_ = false;      // since the queue was last empty
    bool notice_due_ = false;
};

}  // namespace veltra
