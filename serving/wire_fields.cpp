#include "serving/wire_fields.h"

#include "common/text.h"

namespace veltra {

std::string SizeField(std::uint64_t size) {
    const auto high = static_cast<unsigned>(size >> 32);
    const auto low = static_cast<unsigned>(size & 0xFFFFFFFFu);
    return high == 0 ? FormatAnsi("%x%x", high, low) : FormatAnsi("%x%08x", high, low);
}

std::string WireName(std::string_view name) {
    std::string written;
    written.reserve(name.size() + 8);
    for (std::size_t i = 0; i < name.size(); ++i) {
        // No byte of a double-byte character in code page 936 is a ':'.
        if (name[i] != ':') {
            written += name[i];
        } else if (i == 0) {
            written += ';';
        } else {
            written += "::";
        }
    }
    return written;
}

std::string WireBaseName(const platform::Path& path) {
    return WideToAnsi(path.FileName());
}

}  // namespace veltra
