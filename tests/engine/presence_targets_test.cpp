// Where presence goes on a host with several networks, and how a burst of address changes
// earns one announcement.
#include "engine/presence_targets.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "engine/address_watcher.h"
#include "platform/socket.h"
#include "tests/support/manual_timer.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;
using platform::InetAddr;
using platform::InterfaceNetwork;
using Addresses = std::vector<std::uint32_t>;

InterfaceNetwork Network(const char* interface, const char* address, const char* broadcast) {
    return InterfaceNetwork{interface, InetAddr(address), InetAddr(broadcast)};
}

TEST(DirectedBroadcasts, OneInterfaceIsReachedByTheLimitedBroadcastAlone) {
    const std::vector<InterfaceNetwork> networks{Network("eth0", "192.168.1.5", "192.168.1.255")};
    EXPECT_EQ(DirectedBroadcasts(networks, InetAddr("192.168.1.5")), Addresses{});
}

TEST(DirectedBroadcasts, EveryOtherInterfacesNetworkGetsItsOwnInOrder) {
    const std::vector<InterfaceNetwork> networks{
        Network("wlan0", "10.0.0.7", "10.0.0.255"),
        Network("eth0", "192.168.1.5", "192.168.1.255"),
        // A second network on the wire the limited broadcast leaves by: reached by it.
        Network("eth0", "172.16.0.5", "172.16.255.255"),
        Network("eth1", "192.168.7.2", "192.168.7.255"),
    };
    EXPECT_EQ(DirectedBroadcasts(networks, InetAddr("192.168.1.5")),
              (Addresses{InetAddr("10.0.0.255"), InetAddr("192.168.7.255")}));
}

TEST(DirectedBroadcasts, ADefaultRouteOverAVpnReachesNoneOfThem) {
    const std::vector<InterfaceNetwork> networks{
        Network("eth0", "192.168.1.5", "192.168.1.255"),
        Network("wlan0", "10.0.0.7", "10.0.0.255"),
    };
    const Addresses both{InetAddr("192.168.1.255"), InetAddr("10.0.0.255")};
    // The VPN's tunnel cannot broadcast, so its address is no network of the list.
    EXPECT_EQ(DirectedBroadcasts(networks, InetAddr("10.8.0.2")), both);
    EXPECT_EQ(DirectedBroadcasts(networks, std::nullopt), both) << "no route at all";
}

TEST(DirectedBroadcasts, EachNetworkIsToldOnceAndNotAgainWhereTheLimitedOneWent) {
    const std::vector<InterfaceNetwork> networks{
        Network("eth0", "192.168.1.5", "192.168.1.255"),
        // Wi-Fi and cable on the same LAN: the limited broadcast on the cable reaches it.
        Network("wlan0", "192.168.1.6", "192.168.1.255"),
        Network("eth1", "10.1.0.2", "10.1.0.255"),
        Network("eth2", "10.1.0.3", "10.1.0.255"),
    };
    EXPECT_EQ(DirectedBroadcasts(networks, InetAddr("192.168.1.5")),
              Addresses{InetAddr("10.1.0.255")});
}

TEST(BroadcastListHosts, EntriesInOrderEmptyOnesSkippedAndANameIsTheBroadcast) {
    EXPECT_EQ(BroadcastListHosts(L";192.168.2.10;;10.0.0.7;"),
              (Addresses{InetAddr("192.168.2.10"), InetAddr("10.0.0.7")}));
    EXPECT_EQ(BroadcastListHosts(L"nowhere"), Addresses{InetAddr("255.255.255.255")});
    EXPECT_EQ(BroadcastListHosts(L""), Addresses{});
}

TEST(SettledAction, ABurstOfChangesRunsTheActionOnceAfterTheSettle) {
    testing::ManualTimer timer;
    int runs = 0;
    SettledAction settled(timer, 1s, [&runs] { ++runs; });
    settled.Changed();
    timer.Advance(400ms);
    settled.Changed();
    settled.Changed();
    timer.Advance(599ms);
    EXPECT_EQ(runs, 0) << "the burst has not settled yet";
    timer.Advance(1ms);
    EXPECT_EQ(runs, 1);
    timer.Advance(10s);
    EXPECT_EQ(runs, 1) << "nothing changed since";

    settled.Changed();  // a later change is a burst of its own
    timer.Advance(1s);
    EXPECT_EQ(runs, 2);
}

TEST(SettledAction, AChangeDuringTheRunIsServedByAnotherRun) {
    testing::ManualTimer timer;
    int runs = 0;
    SettledAction* self = nullptr;
    SettledAction settled(timer, 1s, [&runs, &self] {
        if (++runs == 1) {
            self->Changed();  // the addresses the run read may be older than this change
        }
    });
    self = &settled;
    settled.Changed();
    timer.Advance(1s);
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(timer.HasTask());
    timer.Advance(1s);
    EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace veltra
