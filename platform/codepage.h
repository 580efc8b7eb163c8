#pragma once

#include <string>
#include <string_view>

namespace veltra::platform {

// The code page of all multi-byte text on the wire, in every build: simplified Chinese (GBK).
inline constexpr unsigned kAnsiCodePage = 936;

// Conversions between wide text and a multi-byte code page. 936 is GBK, 65001 UTF-8, 0 stands for
// kAnsiCodePage, and any other number N is tried as the converter "CPN".
//
// Characters the target cannot represent become '?', and every byte of an invalid or truncated
// multi-byte sequence becomes one '?'; such text is converted, not refused. Embedded NULs are
// converted like any other character. The only failure is a code page that has no converter: it
// throws std::system_error with the errno.
//
// Safe to call from any thread at once: each thread keeps its own converters.
std::string ConvertToCodePage(std::wstring_view text, unsigned code_page);
std::wstring ConvertFromCodePage(std::string_view text, unsigned code_page);

// A host name (the bytes a directory listing gave, see utf8.h) in kAnsiCodePage, by the same rule
// as ConvertToCodePage(Utf8ToWide(name)): every byte that is no valid UTF-8 becomes one '?', and so
// does every character the code page lacks. Most names are ASCII, which the wire code page writes
// as itself, so those are taken as they are.
std::string HostNameToWireCodePage(std::string_view host_name);

}  // namespace veltra::platform
