#pragma once

#include <string>
#include <string_view>

namespace veltra {

// Multi-byte text (wire, packet records, peer keys) is always in the ANSI code page, GBK; wide text
// is everything on the screen and every path. These helpers are the one place where the two meet.
// Unrepresentable characters become '?' (see platform/codepage.h). The conversions convert the
// whole view, NULs included: pass a view that ends where the text ends.
std::wstring AnsiToWide(std::string_view text);
std::string WideToAnsi(std::wstring_view text);

// printf-style formatting into a string of whatever length the result has.
std::string FormatAnsi(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// The same for wide text, never cut however long (log entries repeat the whole log). Wide string
// arguments are passed with "%ls"; a plain "%s" in a wide pattern takes a narrow char* and converts
// it in the C locale, so it suits ASCII only. Gives an empty string if the pattern cannot be
// formatted at all (for instance "%s" with non-ASCII bytes).
std::wstring FormatWide(const wchar_t* pattern, ...);

}  // namespace veltra
