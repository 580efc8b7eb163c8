#include "platform/datagram_batch.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>
#include <vector>

namespace veltra::platform {

// What recvmmsg fills: a header, a buffer and a source address per datagram.
struct DatagramBatch::Slots {
    // Not filled in: only the pages the datagrams reach are ever touched.
    std::unique_ptr<char[]> bytes;
    std::vector<iovec> buffers;
    std::vector<sockaddr_in> sources;
    std::vector<mmsghdr> headers;
};

DatagramBatch::DatagramBatch(std::size_t count, std::size_t capacity)
    : count_(std::max<std::size_t>(count, 1)),
      capacity_(capacity),
      slots_(std::make_unique<Slots>()) {
    slots_->bytes = std::make_unique_for_overwrite<char[]>(count_ * capacity_);
    slots_->buffers.resize(count_);
    slots_->sources.resize(count_);
    slots_->headers.resize(count_);
}

DatagramBatch::~DatagramBatch() = default;

std::size_t DatagramBatch::Receive(const Socket& socket) {
    Slots& slots = *slots_;
    for (std::size_t i = 0; i < count_; ++i) {
        slots.buffers[i] = iovec{slots.bytes.get() + i * capacity_, capacity_};
        slots.headers[i] = mmsghdr{};
        msghdr& header = slots.headers[i].msg_hdr;
        header.msg_name = &slots.sources[i];
        header.msg_namelen = sizeof(sockaddr_in);
        header.msg_iov = &slots.buffers[i];
        header.msg_iovlen = 1;
    }
    // MSG_TRUNC: each length is the datagram's own, as a single receive tells it, so that one
    // too long for its buffer is known as such.
    int received;
    do {
        received = recvmmsg(socket.Descriptor(), slots.headers.data(),
                            static_cast<unsigned>(count_), MSG_WAITFORONE | MSG_TRUNC, nullptr);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        throw std::system_error(errno, std::generic_category(),
                                "cannot receive datagrams on the UDP socket");
    }
    return static_cast<std::size_t>(received);
}

ReceivedDatagram DatagramBatch::operator[](std::size_t index) const {
    const mmsghdr& entry = slots_->headers[index];
    const sockaddr_in& source = slots_->sources[index];
    ReceivedDatagram datagram;
    datagram.data = slots_->bytes.get() + index * capacity_;
    datagram.length = entry.msg_len;
    datagram.source = Endpoint{source.sin_addr.s_addr, source.sin_port};
    datagram.truncated = (entry.msg_hdr.msg_flags & MSG_TRUNC) != 0 || datagram.length > capacity_;
    return datagram;
}

}  // namespace veltra::platform
