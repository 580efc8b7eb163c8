#pragma once
// The console's main thread: events and input lines, a batch at a time, until the front end says
// to stop.

#include "ui/console/console_front_end.h"
#include "ui/console/console_queue.h"

namespace veltra {

// Takes the events waiting in the queue, a batch at a time, and hands them to the front end until
// it says to stop or the linger passes; the output is flushed once per batch, before waiting for
// the next. Returns the exit status.
int RunConsole(ConsoleQueue& queue, ConsoleFrontEnd& front_end);

}  // namespace veltra
