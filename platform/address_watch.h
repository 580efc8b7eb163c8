#pragma once
// Word from the system whenever an IPv4 address is added to or removed from an interface (Wi-Fi
// joins, a VPN comes up, a cable brings an address by DHCP).

#include "platform/owned_descriptor.h"

namespace veltra::platform {

class AddressWatch {
  public:
    // Subscribes to the system's address changes. Throws std::system_error with the errno when
    // it cannot ("cannot watch the host's addresses: ...").
    AddressWatch();

    // Blocks until one or more addresses have changed since the last call (true), or until
    // Interrupt (false, then at once on every later call). Any burst of changes that waited is
    // taken whole: it gives one true.
    bool WaitForChange() const;
    // Ends the wait of WaitForChange; any thread.
    void Interrupt() const;

  private:
    OwnedDescriptor netlink_;
    OwnedDescriptor wake_;
};

}  // namespace veltra::platform
