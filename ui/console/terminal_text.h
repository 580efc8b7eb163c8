#pragma once
// Text that a peer chose (user and host names, messages, file names), made fit for a terminal:
// every C0 control character, DEL and every C1 control (U+0080..U+009F) is shown as "\xNN", so no
// peer can recolour, clear or move about the terminal.

#include <string>
#include <string_view>

namespace veltra {

// With line_breaks (a message's text), each CR LF stays a line break, and the line after it is
// indented by one space like the message's first line: nothing a peer sends can start a line of
// its own.
std::wstring TerminalText(std::wstring_view text, bool line_breaks = false);

// TerminalText(text) in UTF-8, appended to out: a file's line is built in one buffer that the
// console reuses, with no wide copy of the name on the way.
void AppendTerminalUtf8(std::string& out, std::wstring_view text);

}  // namespace veltra
