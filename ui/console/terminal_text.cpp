#include "ui/console/terminal_text.h"

#include <cwchar>

namespace veltra {
namespace {

bool IsControl(wchar_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
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

}  // namespace veltra
