#pragma once
// The history window's rows and search, without the toolkit: what each row of its list says, and
// the query that the search fields make.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "history/history_row.h"

namespace veltra {

// The most rows the window lists: the newest of those that match.
inline constexpr std::size_t kHistoryWindowRows = 500;

// The rows that hold text (in a message, an entry's name or its stored path) and whose peer's
// name, host or address holds peer, newest first; blanks around either are no part of it, and an
// empty one matches every row.
HistoryQuery HistoryWindowQuery(std::wstring_view text, std::wstring_view peer);

// One row of the window's list.
struct HistoryListRow {
    std::wstring time;         // "2026-12-09 13:05", local time
    std::wstring text;         // the log's text of the row on one line (line breaks as spaces)
    std::wstring stored_path;  // a received entry stored whole: where; empty otherwise
    // The folder "打开所在文件夹" shows: the one the stored entry lies in; nothing without one.
    std::optional<std::wstring> folder;
};
HistoryListRow ListRowOf(const HistoryRow& row);

}  // namespace veltra
