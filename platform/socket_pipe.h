#pragma once
// Bytes moved from a connection into a file inside the kernel: the socket's pages go into a pipe
// and from the pipe into the file (splice), so the process never copies them through a buffer of
// its own. One pipe serves every file of a stream, one after the other.

#include <cstddef>

#include "platform/io_result.h"
#include "platform/owned_descriptor.h"
#include "platform/socket.h"

namespace veltra::platform {

// What one move from a connection into a file came to.
struct FileMove {
    // What the connection gave: kMoved with the bytes taken from it, or why it gave none (kEnd,
    // kTimedOut, kFailed, as Socket::Receive tells them).
    IoResult received;
    // Of the bytes taken, those now in the file.
    std::size_t written = 0;
    // The errno of a write into the file that failed (ENOSPC, EIO, ...), else 0. The bytes taken
    // and not written are dropped: the connection stays in step all the same.
    int file_error = 0;
    // The file takes no splice (its file system has none for it): the bytes taken were written
    // with plain writes, and the rest of the file is to follow that way.
    bool not_direct = false;
};

class SocketPipe {
  public:
    // The size asked of the kernel: room for the pages of a whole chunk however the connection
    // cut it. A smaller one is taken when that is all an unprivileged process may have.
    static constexpr std::size_t kWantedCapacity = std::size_t{1} << 20;

    // Throws std::system_error with the errno when no pipe can be made (EMFILE, ENFILE).
    SocketPipe();

    std::size_t Capacity() const { return capacity_; }

    // Takes up to count bytes (more than 0) from socket in one receive and writes them into the
    // file open for writing at file_descriptor, at its position. Never takes more than count, so
    // whatever follows on the connection stays unread. The pipe is empty again on return.
    FileMove Move(const Socket& socket, int file_descriptor, std::size_t count);

  private:
    // Writes the held bytes into the file through the process, after the file refused a splice
    // (file_error 0) or drops them (file_error set); counts what was written into move.
    void EmptyThroughProcess(int file_descriptor, std::size_t held, FileMove& move) const;

    OwnedDescriptor read_end_;
    OwnedDescriptor write_end_;
    std::size_t capacity_ = 0;
};

}  // namespace veltra::platform
