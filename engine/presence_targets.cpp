#include "engine/presence_targets.h"

#include <algorithm>
#include <set>

#include "common/text.h"
#include "platform/socket.h"

namespace veltra {

std::vector<std::uint32_t> DirectedBroadcasts(
    const std::vector<platform::InterfaceNetwork>& networks,
    std::optional<std::uint32_t> limited_source) {
    std::set<std::string> reached_interfaces;
    if (limited_source) {
        for (const platform::InterfaceNetwork& network : networks) {
            if (network.address == *limited_source) {
                reached_interfaces.insert(network.interface);
            }
        }
    }
    // A network of another interface with the broadcast address of a reached one is on the same
    // wire (a second card on the same LAN): its directed broadcast would only say it twice.
    std::vector<std::uint32_t> reached;
    for (const platform::InterfaceNetwork& network : networks) {
        if (reached_interfaces.count(network.interface) != 0) {
            reached.push_back(network.broadcast);
        }
    }
    std::vector<std::uint32_t> directed;
    for (const platform::InterfaceNetwork& network : networks) {
        const auto said = [&network](const std::vector<std::uint32_t>& addresses) {
            return std::find(addresses.begin(), addresses.end(), network.broadcast) !=
                   addresses.end();
        };
        if (!said(reached) && !said(directed)) {
            directed.push_back(network.broadcast);
        }
    }
    return directed;
}

std::vector<std::uint32_t> BroadcastListHosts(const std::wstring& list) {
    std::vector<std::uint32_t> hosts;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find(L';', start);
        if (end == std::wstring::npos) {
            end = list.size();
        }
        if (end > start) {
            const std::string host = WideToAnsi(list.substr(start, end - start));
            hosts.push_back(platform::InetAddr(host.c_str()));
        }
        start = end + 1;
    }
    return hosts;
}

}  // namespace veltra
