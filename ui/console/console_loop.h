#pragma once
// The console's main thread: events and input lines, a batch at a time, until the front end says
// to stop.

#include <chrono>
#include <functional>

#include "common/time_source.h"
#include "ui/console/console_front_end.h"
#include "ui/console/console_queue.h"

namespace veltra {

// Takes the events waiting in the queue, a batch at a time, and hands them to the front end until
// it says to stop or the linger passes; the output is flushed once per batch, before waiting for
// the next. Returns the exit status.
int RunConsole(ConsoleQueue& queue, ConsoleFrontEnd& front_end);

// How long a run that starts alone waits, after its announcement, for the answers before it looks
// a name up or lists the users. Peers answer an announcement at once, so on a LAN the answers are
// in within milliseconds; a second leaves room for a busy network and for a handheld whose radio
// dozes between beacons, and is still short for a script. There is no telling when the last
// answer has come, so the wait is whole: a name is never looked up among half the answers.
inline constexpr std::chrono::milliseconds kAnswersWait = std::chrono::seconds(1);

// Hands every event of the queue to handle until wait has passed, dated by time; false when
// handle returned false (a quit from a termination signal) before then.
bool HandleFor(ConsoleQueue& queue, const std::function<bool(ConsoleEvent)>& handle,
               std::chrono::milliseconds wait, TimeSource& time = SteadyTime());

}  // namespace veltra
