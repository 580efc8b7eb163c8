#pragma once
// Lines for whoever runs the program from a terminal, such as the folders a reception creates.
// The user never sees them; by default they go to standard error as UTF-8, one per line.

#include <functional>
#include <string_view>

namespace veltra::platform {

using DebugSink = std::function<void(std::wstring_view line)>;

// Writes one line (without its line end) to the current sink. Any thread.
void DebugLog(std::wstring_view line);

// Sends the lines to sink from now on (an empty sink: standard error again) and returns the sink
// it replaces. For tests; any thread.
DebugSink SetDebugSink(DebugSink sink);

}  // namespace veltra::platform
