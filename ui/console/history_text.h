#pragma once
// The history's rows as the console prints them: each as the log would have shown it, with the
// local date and time in front ("2026-12-09 13:05 "), what a peer chose made fit for a terminal.

#include <string>

#include "history/history_row.h"

namespace veltra {

// The log's text of row (see HistoryEntryText), CR LF line ends, after its date and time.
std::wstring HistoryEntry(const HistoryRow& row);

}  // namespace veltra
