#include "ui/control/control_target.h"

#include <optional>

namespace veltra {
namespace {

// Strict dotted decimal, four parts of one to three digits, each 0..255.
std::optional<std::uint32_t> DottedAddress(std::string_view text) {
    std::uint8_t parts[4] = {};
    std::size_t at = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (at >= text.size() || text[at] != '.') {
                return std::nullopt;
            }
            ++at;
        }
        unsigned value = 0;
        std::size_t digits = 0;
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9' && digits < 4;
             ++at, ++digits) {
            value = value * 10 + static_cast<unsigned>(text[at] - '0');
        }
        if (digits == 0 || digits > 3 || value > 255) {
            return std::nullopt;
        }
        parts[part] = static_cast<std::uint8_t>(value);
    }
    if (at != text.size()) {
        return std::nullopt;
    }
    // Network order: the first part is the first byte in memory.
    std::uint32_t address = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&address);
    for (int part = 0; part < 4; ++part) {
        bytes[part] = parts[part];
    }
    return address;
}

}  // namespace

ControlTarget ResolveControlTarget(std::string_view target, const std::vector<PeerRow>& /*rows*/) {
    if (const std::optional<std::uint32_t> address = DottedAddress(target)) {
        return ControlTarget{*address, {}};
    }
    return ControlTarget{0, "not an IPv4 address: " + std::string(target)};
}

}  // namespace veltra
