#pragma once
// The log's entries end their lines with CR LF, as the dialogs' log shows them; a terminal and a
// program reading a pipe take LF alone.

#include <string>
#include <string_view>

namespace veltra {

// text as UTF-8, every CR LF written as a bare LF; a CR on its own stays.
std::string Utf8Lines(std::wstring_view text);

}  // namespace veltra
