#include "ui/console/console_loop.h"

#include <utility>
#include <vector>

namespace veltra {

int RunConsole(ConsoleQueue& queue, ConsoleFrontEnd& front_end) {
    for (bool running = true; running;) {
        // Whatever the last batch wrote is out before the wait: a script waiting for a line sees
        // it at once.
        front_end.Flush();
        std::vector<ConsoleEvent> batch;
        if (const auto left = front_end.LingerLeft()) {
            batch = queue.TakeAllWithin(*left);
            if (batch.empty()) {
                front_end.GiveUpWaiting();
                break;
            }
        } else {
            batch = queue.TakeAll();
        }
        for (ConsoleEvent& event : batch) {
            if (!front_end.Handle(std::move(event))) {
                running = false;
                break;
            }
        }
    }
    front_end.Flush();
    return front_end.ExitStatus();
}

bool HandleFor(ConsoleQueue& queue, const std::function<bool(ConsoleEvent)>& handle,
               std::chrono::milliseconds wait, TimeSource& time) {
    const auto deadline = time.Now() + wait;
    for (auto now = time.Now(); now < deadline; now = time.Now()) {
        for (ConsoleEvent& event :
             queue.TakeAllWithin(std::chrono::ceil<std::chrono::milliseconds>(deadline - now))) {
            if (!handle(std::move(event))) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace veltra
