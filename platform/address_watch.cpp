#include "platform/address_watch.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>

namespace veltra::platform {
namespace {

[[noreturn]] void ThrowWatchFailed(const char* step) {
    throw std::system_error(errno, std::generic_category(),
                            std::string("cannot watch the host's addresses: ") + step);
}

// Whether the messages in buffer tell of an IPv4 address added or removed.
bool TellsOfIpv4Address(const char* buffer, long length) {
    auto size = static_cast<unsigned int>(length);
    for (auto* header = reinterpret_cast<const nlmsghdr*>(buffer); NLMSG_OK(header, size);
         header = NLMSG_NEXT(header, size)) {
        if (header->nlmsg_type != RTM_NEWADDR && header->nlmsg_type != RTM_DELADDR) {
            continue;
        }
        if (header->nlmsg_len < NLMSG_LENGTH(sizeof(ifaddrmsg))) {
            continue;
        }
        const auto* address = static_cast<const ifaddrmsg*>(NLMSG_DATA(header));
        if (address->ifa_family == AF_INET) {
            return true;
        }
    }
    return false;
}

}  // namespace

AddressWatch::AddressWatch()
    : netlink_(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE)),
      wake_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (!netlink_.Valid()) {
        ThrowWatchFailed("netlink socket");
    }
    if (!wake_.Valid()) {
        ThrowWatchFailed("eventfd");
    }
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = RTMGRP_IPV4_IFADDR;
    if (bind(netlink_.Get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ThrowWatchFailed("bind");
    }
}

bool AddressWatch::WaitForChange() const {
    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        pollfd waiting[2] = {{wake_.Get(), POLLIN, 0}, {netlink_.Get(), POLLIN, 0}};
        if (poll(waiting, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;  // nothing more can be learned; the owner ends its watch
        }
        if (waiting[0].revents != 0) {
            return false;
        }
        bool changed = false;
        for (;;) {
            const long length = recv(netlink_.Get(), buffer, sizeof buffer, MSG_DONTWAIT);
            if (length > 0) {
                changed = changed || TellsOfIpv4Address(buffer, length);
                continue;
            }
            // So many changes that the system dropped some of their messages: what they said
            // is unknown, so something changed.
            changed = changed || (length < 0 && errno == ENOBUFS);
            if (length < 0 && (errno == EINTR || errno == ENOBUFS)) {
                continue;
            }
            break;  // EAGAIN: everything that waited has been read
        }
        if (changed) {
            return true;
        }
    }
}

void AddressWatch::Interrupt() const {
    const std::uint64_t one = 1;
    // A wake that is already pending is as good as this one: a failed write changes nothing.
    [[maybe_unused]] const ssize_t written = write(wake_.Get(), &one, sizeof one);
}

}  // namespace veltra::platform
