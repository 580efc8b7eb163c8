#include "platform/socket_pipe.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace veltra::platform {

namespace {

// The most pages a pipe holds by default; below it, asking for less gains nothing.
constexpr std::size_t kDefaultCapacity = 65536;

}  // namespace

SocketPipe::SocketPipe() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        throw std::system_error(errno, std::generic_category(),
                                "cannot make a pipe for a received file");
    }
    read_end_.Reset(ends[0]);
    write_end_.Reset(ends[1]);
    // Beyond /proc/sys/fs/pipe-max-size, or past the user's share of pipe pages, the kernel
    // refuses (EPERM): half of it is asked next.
    for (std::size_t size = kWantedCapacity; size > kDefaultCapacity; size /= 2) {
        if (fcntl(write_end_.Get(), F_SETPIPE_SZ, static_cast<int>(size)) >= 0) {
            break;
        }
    }
    const int granted = fcntl(write_end_.Get(), F_GETPIPE_SZ);
    capacity_ = granted > 0 ? static_cast<std::size_t>(granted) : kDefaultCapacity;
}

FileMove SocketPipe::Move(const Socket& socket, int file_descriptor, std::size_t count) {
    FileMove move;
    const std::size_t wanted = std::min(count, capacity_);
    ssize_t taken;
    do {
        taken =
            splice(socket.Descriptor(), nullptr, write_end_.Get(), nullptr, wanted, SPLICE_F_MOVE);
    } while (taken < 0 && errno == EINTR);
    if (taken == 0) {
        move.received = IoResult{0, IoStatus::kEnd};
        return move;
    }
    if (taken < 0) {
        move.received = StoppedBy(errno);
        return move;
    }
    move.received = IoResult{static_cast<std::size_t>(taken)};
    auto held = static_cast<std::size_t>(taken);
    while (held > 0) {
        const ssize_t written =
            splice(read_end_.Get(), nullptr, file_descriptor, nullptr, held, SPLICE_F_MOVE);
        if (written > 0) {
            held -= static_cast<std::size_t>(written);
            move.written += static_cast<std::size_t>(written);
            continue;
        }
        const int error = written < 0 ? errno : EIO;
        if (error == EINTR) {
            continue;
        }
        // EINVAL: the file's system has no splice for its files; the held bytes go in through
        // the process, where any other failure of the file shows again.
        if (error == EINVAL) {
            move.not_direct = true;
        } else {
            move.file_error = error;
        }
        EmptyThroughProcess(file_descriptor, held, move);
        break;
    }
    return move;
}

void SocketPipe::EmptyThroughProcess(int file_descriptor, std::size_t held, FileMove& move) const {
    char buffer[16384];
    while (held > 0) {
        const ssize_t got = read(read_end_.Get(), buffer, std::min(held, sizeof buffer));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            // Never seen: the pipe holds these bytes and only this object reads it. Were it to
            // happen, the bytes left would land in the next file, so the stream ends here.
            throw std::system_error(got < 0 ? errno : EIO, std::generic_category(),
                                    "cannot empty the pipe of a received file");
        }
        held -= static_cast<std::size_t>(got);
        if (move.file_error == 0) {
            std::size_t written = 0;
            move.file_error =
                WriteFully(file_descriptor, buffer, static_cast<std::size_t>(got), written);
            move.written += written;
        }
    }
}

}  // namespace veltra::platform
