#pragma once
// The names programs read for how a received entry ended: the console's JSON events and the
// history keep the same words, so that a script can match one against the other.

#include <string_view>

#include "common/events.h"

namespace veltra {

// "stored", "connection_lost", "disk_full", ...: lower case, words joined by '_'.
std::string_view OutcomeCode(FileOutcome outcome);

}  // namespace veltra
