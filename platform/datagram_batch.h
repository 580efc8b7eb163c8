#pragma once
// Datagrams taken from a socket several at a time: one system call drains what a burst left
// waiting, instead of one call per datagram. The buffers are made once and reused by every call.

#include <cstddef>
#include <memory>

#include "platform/socket.h"

namespace veltra::platform {

// One datagram of the last receive. Its bytes stay valid until the next receive.
struct ReceivedDatagram {
    const char* data = nullptr;
    // The datagram's full length, which exceeds the buffer's capacity when the rest was cut off.
    std::size_t length = 0;
    Endpoint source;
    bool truncated = false;
};

class DatagramBatch {
  public:
    // Room for count datagrams (at least 1) of capacity bytes each. Throws std::bad_alloc.
    DatagramBatch(std::size_t count, std::size_t capacity);
    ~DatagramBatch();
    DatagramBatch(const DatagramBatch&) = delete;
    DatagramBatch& operator=(const DatagramBatch&) = delete;

    // Waits for the first datagram, then takes those already waiting behind it, up to the
    // batch's count: how many came. 0 when the socket's receive limit passed, or nothing waits
    // on a socket that does not block. A socket interrupted (Socket::Interrupt) gives one
    // datagram of length 0. Throws std::system_error with the errno for any other failure.
    std::size_t Receive(const Socket& socket);

    std::size_t Count() const { return count_; }
    std::size_t Capacity() const { return capacity_; }
    // Datagram index (below what the last Receive returned) of the last receive.
    ReceivedDatagram operator[](std::size_t index) const;

  private:
    struct Slots;
    std::size_t count_;
    std::size_t capacity_;
    std::unique_ptr<Slots> slots_;
};

}  // namespace veltra::platform
