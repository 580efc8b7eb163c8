// The host's networks, the way of the limited broadcast and the word of address changes, on
// interfaces the tests add to their own network namespace.
#include "platform/network_interfaces.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <tuple>
#include <vector>

#include "platform/address_watch.h"
#include "platform/socket.h"
#include "tests/support/test_networks.h"

namespace veltra::platform {
namespace {

using namespace std::chrono_literals;

// Each network as (interface, address, broadcast), sorted.
std::vector<std::tuple<std::string, std::string, std::string>> Listed() {
    std::vector<std::tuple<std::string, std::string, std::string>> listed;
    for (const InterfaceNetwork& network : BroadcastNetworks()) {
        listed.emplace_back(network.interface, InetNtoa(network.address),
                            InetNtoa(network.broadcast));
    }
    std::sort(listed.begin(), listed.end());
    return listed;
}

TEST(NetworkInterfaces, LoopbackAloneIsNoBroadcastNetworkAndTheLimitedBroadcastHasNoWay) {
    testing::TestNetworks networks;
    if (!networks.Ready()) {
        GTEST_SKIP() << "needs a network namespace of the test's own";
    }
    EXPECT_TRUE(BroadcastNetworks().empty());
    EXPECT_EQ(LimitedBroadcastSource(), std::nullopt);
    EXPECT_EQ(HostAddresses(), std::vector<std::uint32_t>{InetAddr("127.0.0.1")});
}

TEST(NetworkInterfaces, EveryAddressOfABroadcastInterfaceWithItsNetworksBroadcast) {
    testing::TestNetworks networks;
    networks.AddInterface("vtn1", "10.1.1.1/24");
    networks.AddInterface("vtn2", "10.1.2.1/16");
    // A further address under a label of its own is still the device's.
    networks.AddAddress("vtn2", "192.168.5.9/24 label vtn2:x");
    networks.AddAddress("vtn1", "10.9.0.1/31");  // nobody else on it: no broadcast
    networks.AddInterface("vtn3");               // no address
    if (!networks.Ready()) {
        GTEST_SKIP() << "needs a network namespace of the test's own";
    }
    EXPECT_EQ(Listed(), (std::vector<std::tuple<std::string, std::string, std::string>>{
                            {"vtn1", "10.1.1.1", "10.1.1.255"},
                            {"vtn2", "10.1.2.1", "10.1.255.255"},
                            {"vtn2", "192.168.5.9", "192.168.5.255"},
                        }));
    std::vector<std::uint32_t> addresses = HostAddresses();
    std::sort(addresses.begin(), addresses.end());
    std::vector<std::uint32_t> expected{InetAddr("127.0.0.1"), InetAddr("10.1.1.1"),
                                        InetAddr("10.9.0.1"), InetAddr("10.1.2.1"),
                                        InetAddr("192.168.5.9")};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(addresses, expected);
}

TEST(NetworkInterfaces, AnInterfaceThatIsDownIsNoNetworkOfTheHosts) {
    testing::TestNetworks networks;
    networks.AddInterface("vtn1", "10.1.1.1/24");
    networks.AddInterface("vtn2", "10.1.2.1/24");
    networks.SetDown("vtn2");
    if (!networks.Ready()) {
        GTEST_SKIP() << "needs a network namespace of the test's own";
    }
    EXPECT_EQ(Listed(), (std::vector<std::tuple<std::string, std::string, std::string>>{
                            {"vtn1", "10.1.1.1", "10.1.1.255"}}));
}

TEST(NetworkInterfaces, TheLimitedBroadcastLeavesByTheDefaultRoutesInterface) {
    testing::TestNetworks networks;
    networks.AddInterface("vtn1", "10.1.1.1/24");
    networks.AddInterface("vtn2", "10.1.2.1/24");
    networks.RouteDefaultOver("vtn2");
    if (!networks.Ready()) {
        GTEST_SKIP() << "needs a network namespace of the test's own";
    }
    EXPECT_EQ(LimitedBroadcastSource(), InetAddr("10.1.2.1"));
}

TEST(AddressWatch, AnAddressAddedOrRemovedIsToldAndInterruptEndsTheWait) {
    testing::TestNetworks networks;
    networks.AddInterface("vtw1");
    if (!networks.Ready()) {
        GTEST_SKIP() << "needs a network namespace of the test's own";
    }
    const AddressWatch watch;
    const auto told = [&watch] {
        auto waiting = std::async(std::launch::async, [&watch] { return watch.WaitForChange(); });
        if (waiting.wait_for(10s) != std::future_status::ready) {
            watch.Interrupt();  // a hang guard: the wait ends, and says nothing came
            waiting.get();
            return false;
        }
        return waiting.get();
    };
    ASSERT_TRUE(networks.AddAddress("vtw1", "10.2.0.1/24"));
    EXPECT_TRUE(told());
    ASSERT_TRUE(networks.RemoveAddress("vtw1", "10.2.0.1/24"));
    EXPECT_TRUE(told());

    watch.Interrupt();
    EXPECT_FALSE(watch.WaitForChange());
    EXPECT_FALSE(watch.WaitForChange()) << "and at once on every later call";
}

}  // namespace
}  // namespace veltra::platform
