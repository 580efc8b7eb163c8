#pragma once
// The console's "window": one queue into which worker threads post their window messages and the
// input reader puts parsed command lines. The main thread takes them out one at a time, so
// messages and commands are handled on one thread in the order they arrived, as a dialog's
// message loop would.

#include <chrono>
#include <condition_variable>
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

class ConsoleQueue : public platform::MessageWindow {
  public:
    // Any thread; never waits for the message to be handled.
    void PostMessage(platform::WindowMessage message) override;
    void PostInput(ConsoleInput input);
    // Waits until an event is there and takes the oldest.
    ConsoleEvent Take();
    // The oldest event, or nothing when none comes within limit.
    std::optional<ConsoleEvent> TakeWithin(std::chrono::milliseconds limit);

  private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<ConsoleEvent> events_;
};

}  // namespace veltra
