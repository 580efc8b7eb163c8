#include "platform/network_interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <functional>
#include <memory>
#include <system_error>

#include "platform/socket.h"

namespace veltra::platform {
namespace {

struct FreeInterfaces {
    void operator()(ifaddrs* list) const { freeifaddrs(list); }
};
using InterfaceList = std::unique_ptr<ifaddrs, FreeInterfaces>;

InterfaceList ListInterfaces() {
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot list the network interfaces");
    }
    return InterfaceList(list);
}

// The IPv4 address of a socket address, or nothing for another family (or none at all).
std::optional<std::uint32_t> Ipv4Of(const sockaddr* address) {
    if (address == nullptr || address->sa_family != AF_INET) {
        return std::nullopt;
    }
    return reinterpret_cast<const sockaddr_in*>(address)->sin_addr.s_addr;
}

// "eth0:1", a label of a further address of eth0, names the device eth0.
std::string DeviceName(const char* name) {
    const std::string label(name != nullptr ? name : "");
    return label.substr(0, label.find(':'));
}

void ForEachIpv4(const std::function<void(const ifaddrs&, std::uint32_t address)>& visit) {
    const InterfaceList list = ListInterfaces();
    for (const ifaddrs* entry = list.get(); entry != nullptr; entry = entry->ifa_next) {
        if (const std::optional<std::uint32_t> address = Ipv4Of(entry->ifa_addr)) {
            visit(*entry, *address);
        }
    }
}

}  // namespace

std::vector<InterfaceNetwork> BroadcastNetworks() {
    std::vector<InterfaceNetwork> networks;
    ForEachIpv4([&networks](const ifaddrs& entry, std::uint32_t address) {
        constexpr unsigned kWanted = IFF_UP | IFF_BROADCAST;
        if ((entry.ifa_flags & kWanted) != kWanted ||
            (entry.ifa_flags & (IFF_LOOPBACK | IFF_POINTOPOINT)) != 0) {
            return;
        }
        const std::optional<std::uint32_t> netmask = Ipv4Of(entry.ifa_netmask);
        // A /31 or /32 network has no broadcast address: nobody else is on it.
        if (!netmask || (ntohl(*netmask) & 0x3u) != 0) {
            return;
        }
        // The network's all-ones address, which the system routes as its broadcast whether or
        // not the address was given one explicitly.
        std::uint32_t broadcast = address | ~*netmask;
        if (const std::optional<std::uint32_t> given = Ipv4Of(entry.ifa_broadaddr);
            given && *given != 0 && *given != address) {
            broadcast = *given;
        }
        networks.push_back(InterfaceNetwork{DeviceName(entry.ifa_name), address, broadcast});
    });
    return networks;
}

std::vector<std::uint32_t> HostAddresses() {
    std::vector<std::uint32_t> addresses;
    ForEachIpv4(
        [&addresses](const ifaddrs&, std::uint32_t address) { addresses.push_back(address); });
    return addresses;
}

std::optional<std::uint32_t> LimitedBroadcastSource() {
    // Connecting a datagram socket sends nothing: it only asks the routing for the way.
    const Socket probe = Socket::Udp();
    if (!probe.Valid() || !probe.SetBroadcast() ||
        !probe.Connect(MakeEndpoint(INADDR_BROADCAST, 9), 0)) {
        return std::nullopt;
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (getsockname(probe.Descriptor(), reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
        local.sin_addr.s_addr == INADDR_ANY) {
        return std::nullopt;
    }
    return local.sin_addr.s_addr;
}

}  // namespace veltra::platform
