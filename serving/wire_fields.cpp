#include "serving/wire_fields.h"

#include <charconv>

#include "common/text.h"

namespace veltra {

void AppendHex(std::string& out, std::uint64_t value, std::size_t min_digits) {
    char digits[16];
    const char* end = std::to_chars(digits, digits + sizeof digits, value, 16).ptr;
    const auto length = static_cast<std::size_t>(end - digits);
    if (length < min_digits) {
        out.append(min_digits - length, '0');
    }
    out.append(digits, length);
}

void AppendSizeField(std::string& out, std::uint64_t size) {
    const std::uint64_t high = size >> 32;
    const std::uint64_t low = size & 0xFFFFFFFFu;
    AppendHex(out, high);
    AppendHex(out, low, high == 0 ? 1 : 8);
}

std::string SizeField(std::uint64_t size) {
    std::string field;
    AppendSizeField(field, size);
    return field;
}

void AppendWireName(std::string& out, std::string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        // No byte of a double-byte character in code page 936 is a ':'.
        if (name[i] != ':') {
            out += name[i];
        } else if (i == 0) {
            out += ';';
        } else {
            out += "::";
        }
    }
}

std::string WireName(std::string_view name) {
    std::string written;
    written.reserve(name.size() + 8);
    AppendWireName(written, name);
    return written;
}

std::string WireBaseName(const platform::Path& path) {
    return WideToAnsi(path.FileName());
}

}  // namespace veltra
