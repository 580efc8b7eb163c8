#pragma once
// An open file descriptor and the duty to close it. Every handle of this folder (files, folders,
// listings, sockets) holds one, so the close and the hand-over on a move are written once.

#include <cstddef>
#include <utility>

namespace veltra::platform {

class OwnedDescriptor {
  public:
    OwnedDescriptor() = default;
    // Takes over fd (a negative one holds nothing).
    explicit OwnedDescriptor(int fd) : fd_(fd) {}
    OwnedDescriptor(OwnedDescriptor&& other) noexcept : fd_(other.Release()) {}
    OwnedDescriptor& operator=(OwnedDescriptor&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }
    OwnedDescriptor(const OwnedDescriptor&) = delete;
    OwnedDescriptor& operator=(const OwnedDescriptor&) = delete;
    ~OwnedDescriptor() { Reset(); }

    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Hands the descriptor to the caller, who closes it from now on.
    int Release() { return std::exchange(fd_, -1); }
    // Closes the descriptor held, if any, and holds fd instead.
    void Reset(int fd = -1);

  private:
    int fd_ = -1;
};

// Writes every byte of data to fd, going on after a short or an interrupted write. 0, or the errno
// of the write that failed; written counts the bytes that went out either way.
int WriteFully(int fd, const void* data, std::size_t size, std::size_t& written);

}  // namespace veltra::platform
