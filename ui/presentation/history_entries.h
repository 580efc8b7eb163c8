#pragma once
// The history's rows as the front ends show them: each as the log would have shown it when it
// happened, what a peer chose made fit for the front end's screen, a received entry with where it
// was stored. The console prints them with their date; the dialogs open their log with the last
// day's, dimmed, and list them in the history window.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_row.h"

namespace veltra {

// How a front end makes what a peer chose fit for its screen; line_breaks for a message's text
// (CR LF line ends), whose every line after the first is then indented as the log's are.
using PeerTextShown = std::wstring (*)(std::wstring_view text, bool line_breaks);
// For a screen that shows any text as text (a dialog's): the text as it is, as the dialogs' log
// shows a message that arrives.
std::wstring ShownAsItIs(std::wstring_view text, bool line_breaks);

// The log's text of row without its time, CR LF line ends:
//   a message received   "bob (10.0.0.5|pc2):" and the text indented below it
//   a message sent       "发给 bob（10.0.0.5）:" and the text indented below it
//   an entry received    "来自 bob（10.0.0.5）: 文件NAME 已存于 PATH", or "... 接收失败：REASON"
//   an entry offered     "发给 bob（10.0.0.5）: " and what became of it ("已发送文件NAME", ...)
//   a batch's summary    the batch's lines ("==收到2个文件!==", ...)
std::wstring HistoryEntryText(const HistoryRow& row, PeerTextShown shown);

// The local date and time of row, "2026-12-09 13:05"; or the time alone, "13:05".
std::wstring HistoryDateTime(const HistoryRow& row);
std::wstring HistoryTime(const HistoryRow& row);

// Ends the history that opens the dialogs' log.
inline constexpr const wchar_t* kHistoryEndLine = L"——以上为历史记录——";
// The most rows of that day the log opens with: the newest of them.
inline constexpr std::size_t kLogHistoryRows = 500;

// Reads the history as MessengerSession::History does (newest first).
using HistoryReader = std::function<std::vector<HistoryRow>(const HistoryQuery&)>;

// The rows of the last day (local time) that has history, oldest first: those of the newest
// row's day, at most kLogHistoryRows. Nothing without history.
std::vector<HistoryRow> LastHistoryDay(const HistoryReader& read);

// What the dialogs' log opens with for rows (oldest first): a date line ("—— 2026-12-08 ——"),
// each row as the log showed it with its time in front ("09:14 "), then kHistoryEndLine; CR LF
// line ends. Empty without rows.
std::wstring HistoryLogText(const std::vector<HistoryRow>& rows);

}  // namespace veltra
