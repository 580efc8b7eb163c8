#pragma once
// Who a request's target names. The one place a typed TARGET becomes an address for the running
// instance: the rule the console follows alone, applied to the instance's own list.

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

// target as the user typed it (UTF-8); rows the instance's list as it stands. A dotted IPv4
// address names itself, listed or not; a name must match one row, else error lists the
// candidates (the peers' own texts, as they are: the asker makes them fit for its screen).
ControlTarget ResolveControlTarget(std::string_view target, const std::vector<PeerRow>& rows);

}  // namespace veltra
