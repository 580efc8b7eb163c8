#pragma once
// The host's IPv4 networks as its interfaces hold them, and where the system sends a datagram to
// the limited broadcast address: what an announcement needs to reach every network the host is on.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veltra::platform {

// One IPv4 address of an interface, with its network's directed broadcast address.
struct InterfaceNetwork {
    std::string interface;    // the device's name, without an address label ("eth0", not "eth0:1")
    std::uint32_t address;    // network order
    std::uint32_t broadcast;  // network order
};

// Every IPv4 address of an interface that is up and can broadcast (loopback and point-to-point
// links left out) on a network that has a broadcast address (a prefix shorter than 31 bits), in
// the order the system lists them. Throws std::system_error with the errno when the interfaces
// cannot be listed ("cannot list the network interfaces: ...").
std::vector<InterfaceNetwork> BroadcastNetworks();

// Every IPv4 address the host has, on any interface, loopback included. Throws as
// BroadcastNetworks.
std::vector<std::uint32_t> HostAddresses();

// The address a datagram to 255.255.255.255 would leave from, which names the interface the
// system sends it out of (the one of the default route); nothing when no route takes it.
std::optional<std::uint32_t> LimitedBroadcastSource();

}  // namespace veltra::platform
