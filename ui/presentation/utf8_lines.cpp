#include "ui/presentation/utf8_lines.h"

#include "platform/utf8.h"

namespace veltra {

std::string Utf8Lines(std::wstring_view text) {
    std::wstring lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!(text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n')) {
            lines += text[i];
        }
    }
    return platform::WideToUtf8(lines);
}

}  // namespace veltra
