#pragma once
// What one read, receive or send call came to, and why it moved nothing when it did not. It is
// returned by value from calls that run once per chunk of a transfer: no allocation, no exception.

#include <cerrno>
#include <cstddef>

namespace veltra::platform {

enum class IoStatus {
    kMoved,      // bytes moved, at least one
    kEnd,        // nothing more comes: the end of the file, or the peer closed its side in order
    kTimedOut,   // the socket's limit for one call passed without a byte
    kFailed,     // the call failed: the connection broke or was interrupted, or the read failed
    kNotDirect,  // Socket::SendFile: the file cannot go from the file cache, it is to be read
};

struct IoResult {
    std::size_t bytes = 0;  // kMoved: how many
    IoStatus status = IoStatus::kMoved;
    int error = 0;  // kTimedOut, kFailed, kNotDirect: the errno

    bool Moved() const { return status == IoStatus::kMoved; }
};

// What a receive or send that moved nothing came to, from its errno: a socket's limit for one
// call passing shows as EAGAIN.
inline IoResult StoppedBy(int error) {
    const bool timed_out = error == EAGAIN || error == EWOULDBLOCK;
    return IoResult{0, timed_out ? IoStatus::kTimedOut : IoStatus::kFailed, error};
}

}  // namespace veltra::platform
