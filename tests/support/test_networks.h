#pragma once
// Networks that a test adds to its own network namespace (tests/isolated.sh): bridges without
// ports, each an interface that is up, can broadcast and holds an address, and a default route
// over one of them. A broadcast that leaves by such an interface comes back to the host itself,
// so a test sees every datagram it sends on them. Everything is removed again when the object
// goes. Outside a namespace that has only loopback nothing is made: Ready() says so, and the
// test skips.

#include <net/if.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace veltra::testing {

class TestNetworks {
  public:
    TestNetworks() { ready_ = OnlyLoopback(); }
    ~TestNetworks() {
        for (const std::string& bridge : bridges_) {
            Run("ip link del " + bridge);
        }
    }
    TestNetworks(const TestNetworks&) = delete;
    TestNetworks& operator=(const TestNetworks&) = delete;

    // False when this is not a namespace of the test's own, or a step failed.
    bool Ready() const { return ready_; }

    // A bridge named name (up), with address ("10.1.2.1/24"; none when empty).
    void AddInterface(const std::string& name, const std::string& address = {}) {
        if (!ready_ || !Run("ip link add " + name + " type bridge")) {
            ready_ = false;
            return;
        }
        bridges_.push_back(name);
        ready_ =
            Run("ip link set " + name + " up") && (address.empty() || AddAddress(name, address));
    }
    bool AddAddress(const std::string& name, const std::string& address) {
        ready_ = ready_ && Run("ip addr add " + address + " dev " + name);
        return ready_;
    }
    bool RemoveAddress(const std::string& name, const std::string& address) {
        ready_ = ready_ && Run("ip addr del " + address + " dev " + name);
        return ready_;
    }
    void SetDown(const std::string& name) {
        ready_ = ready_ && Run("ip link set " + name + " down");
    }
    // The limited broadcast, and everything without a route of its own, leaves by name.
    void RouteDefaultOver(const std::string& name) {
        ready_ = ready_ && Run("ip route replace default dev " + name);
    }

  private:
    // Guards the machine's own network: a namespace with nothing but loopback is a test's.
    static bool OnlyLoopback() {
        struct if_nameindex* names = if_nameindex();  // the struct shares the name of the call
        if (names == nullptr) {
            return false;
        }
        bool only_loopback = true;
        for (const struct if_nameindex* name = names; name->if_index != 0; ++name) {
            only_loopback = only_loopback && std::string(name->if_name) == "lo";
        }
        if_freenameindex(names);
        return only_loopback;
    }
    static bool Run(const std::string& command) {
        const std::string quiet = command + " >/dev/null 2>&1";
        return std::system(quiet.c_str()) == 0;
    }

    bool ready_ = false;
    std::vector<std::string> bridges_;
};

}  // namespace veltra::testing
