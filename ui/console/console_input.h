#pragma once
// The console's input reader, on a thread of its own: a blocked read must not hold up the events.

#include <istream>

#include "ui/console/console_queue.h"

namespace veltra {

// Parses each line of input and queues it, until a quit command or the end of input (which is
// queued as well). Lines are UTF-8.
void ReadConsoleInput(std::istream& input, ConsoleQueue& queue);

}  // namespace veltra
