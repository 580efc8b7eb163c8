#pragma once
// The history's rows as the console prints them: each as the log would have shown it, with the
// local date and time in front ("2026-12-09 13:05 "), what a peer chose made fit for a terminal.

#include <string>

#include "history/history_row.h"

namespace veltra {

// The log's text of row, CR LF line ends:
//   a message received   "DATE bob (10.0.0.5|pc2):" and the text indented below it
//   a message sent       "DATE 发给 bob（10.0.0.5）:" and the text indented below it
//   an entry received    "DATE 来自 bob（10.0.0.5）: 文件NAME 已存于 PATH", or "...
//   接收失败：REASON" an entry offered     "DATE 发给 bob（10.0.0.5）: " and what became of it
//   ("已发送文件NAME", ...) a batch's summary    "DATE " and the batch's lines ("==收到2个文件!==",
//   ...)
std::wstring HistoryEntry(const HistoryRow& row);

}  // namespace veltra
