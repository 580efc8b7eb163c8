#pragma once
// The log entries of the offering side: what became of each entry offered to a peer. Names are
// wide text (an offered path's FileName), already made fit for the front end's screen.

#include <string>
#include <string_view>

namespace veltra {

// "已发送文件<name>\r\n", or "已发送文件夹<name>\r\n" for a folder: the peer fetched it whole.
std::wstring SentEntry(std::wstring_view name, bool directory);
// "发送失败<name>\r\n": serving it failed (the connection broke, or the file could not be read).
std::wstring SendFailedEntry(std::wstring_view name);
// "对方未接收<name>\r\n": the peer had not fetched it when the offering side stopped waiting.
std::wstring NotFetchedEntry(std::wstring_view name);

}  // namespace veltra
