#pragma once
// Who a request's target names. The one place a typed TARGET becomes an address for the running
// instance, so that a richer rule lands here alone.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ui/presentation/peer_rows.h"

namespace veltra {

struct ControlTarget {
    std::uint32_t address = 0;  // network order, when error is empty
    std::string error;          // else one line for the asker; the command exits 2
};

// target as the user typed it; rows the instance's list as it stands. A dotted IPv4 address
// names itself, listed or not.
ControlTarget ResolveControlTarget(std::string_view target, const std::vector<PeerRow>& rows);

}  // namespace veltra
