#include "serving/wire_fields.h"

#include "common/text.h"

namespace veltra {

std::string SizeField(std::uint64_t size) {
    const auto high = static_cast<unsigned>(size >> 32);
    const auto low = static_cast<unsigned>(size & 0xFFFFFFFFu);
    return high == 0 ? FormatAnsi("%x%x", high, low) : FormatAnsi("%x%08x", high, low);
}

std::string WireBaseName(std::wstring_view path) {
    const auto is_separator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    while (path.size() > 1 && is_separator(path.back())) {
        path.remove_suffix(1);
    }
    const std::size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring_view::npos) {
        path.remove_prefix(cut + 1);
    }
    return WideToAnsi(path);
}

}  // namespace veltra
