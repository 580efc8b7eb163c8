#pragma once
// Where the datagrams that tell peers of this host's presence (an announcement, a departure) go:
// every network the host is on, then the hosts the user listed.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/network_interfaces.h"

namespace veltra {

// The directed broadcasts that reach the networks the limited broadcast does not: the limited
// broadcast leaves by one interface (the one holding limited_source; none when it has no route)
// and reaches every network on that wire, so each network of the other interfaces gets its own,
// each broadcast address once, in the order of networks. On a host with one interface: none.
std::vector<std::uint32_t> DirectedBroadcasts(
    const std::vector<platform::InterfaceNetwork>& networks,
    std::optional<std::uint32_t> limited_source);

// The hosts of a ';'-separated broadcast list in order, empty entries skipped. An entry that is
// not a dotted IPv4 address stands for 255.255.255.255, as inet_addr reads it.
std::vector<std::uint32_t> BroadcastListHosts(const std::wstring& list);

}  // namespace veltra
