#include "common/text.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cwchar>

#include "platform/codepage.h"

namespace veltra {

namespace {

// vswprintf cannot tell how long its result would be, so the buffer grows until the text fits.
// A failure that is not for want of room sets EILSEQ; this bound stops the growth for any other.
constexpr size_t kMaxWideFormatLength = size_t{1} << 28;

}  // namespace

std::wstring AnsiToWide(std::string_view text) {
    return platform::ConvertFromCodePage(text, platform::kAnsiCodePage);
}

std::string WideToAnsi(std::wstring_view text) {
    return platform::ConvertToCodePage(text, platform::kAnsiCodePage);
}

std::string FormatAnsi(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list measure;
    va_copy(measure, args);
    const int length = std::vsnprintf(nullptr, 0, pattern, measure);
    va_end(measure);
    std::string result;
    if (length > 0) {
        result.resize(static_cast<size_t>(length));
        std::vsnprintf(result.data(), result.size() + 1, pattern, args);
    }
    va_end(args);
    return result;
}

std::wstring FormatWide(const wchar_t* pattern, ...) {
    std::wstring buffer(std::wcslen(pattern) * 2 + 256, L'\0');
    for (;;) {
        va_list args;
        va_start(args, pattern);
        errno = 0;
        const int length = std::vswprintf(buffer.data(), buffer.size() + 1, pattern, args);
        va_end(args);
        if (length >= 0) {
            buffer.resize(static_cast<size_t>(length));
            return buffer;
        }
        if (errno == EILSEQ || buffer.size() >= kMaxWideFormatLength) {
            return {};
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace veltra
