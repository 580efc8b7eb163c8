#include "ui/console/terminal_text.h"

#include <cwchar>

#include "platform/utf8.h"

namespace veltra {
namespace {

bool IsControl(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

void AppendEscape(std::string& out, wchar_t c) {
    constexpr char kHexDigits[] = "0123456789abcdef";
    const auto code = static_cast<unsigned>(c);
    out += "\\x";
    out += kHexDigits[(code >> 4) & 0xF];
    out += kHexDigits[code & 0xF];
}

}  // namespace

std::wstring TerminalText(std::wstring_view text, bool line_breaks) {
    std::wstring shown;
    shown.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (line_breaks && c == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            shown += L"\r\n ";
            ++i;
        } else if (IsControl(c)) {
            wchar_t escaped[8];
            std::swprintf(escaped, 8, L"\\x%02x", static_cast<unsigned>(c));
            shown += escaped;
        } else {
            shown += c;
        }
    }
    return shown;
}

void AppendTerminalUtf8(std::string& out, std::wstring_view text) {
    std::size_t plain_from = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (IsControl(text[i])) {
            platform::AppendWideAsUtf8(out, text.substr(plain_from, i - plain_from));
            AppendEscape(out, text[i]);
            plain_from = i + 1;
        }
    }
    platform::AppendWideAsUtf8(out, text.substr(plain_from));
}

}  // namespace veltra
