#pragma once

#include <string>
#include <string_view>

namespace veltra::platform {

// Host file names are bytes that are usually, but not always, UTF-8. Bytes that do not form valid
// UTF-8 are carried through wide text as U+DC80..U+DCFF (one per byte) and written back as the same
// bytes, so a name read from a directory maps back to the very same file.
std::wstring Utf8ToWide(std::string_view text);

// Wide characters that are no Unicode scalar value (other surrogates, beyond U+10FFFF) become '?'.
std::string WideToUtf8(std::wstring_view text);
// The same, appended to out: a caller that builds its lines in one buffer allocates nothing per
// line.
void AppendWideAsUtf8(std::string& out, std::wstring_view text);

}  // namespace veltra::platform
