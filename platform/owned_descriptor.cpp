#include "platform/owned_descriptor.h"

#include <unistd.h>

#include <cerrno>

namespace veltra::platform {

void OwnedDescriptor::Reset(int fd) {
    // close() releases the descriptor even when it reports an error, so it is never retried.
    if (const int old = std::exchange(fd_, fd); old >= 0) {
        close(old);
    }
}

int WriteFully(int fd, const void* data, std::size_t size, std::size_t& written) {
    const auto* bytes = static_cast<const char*>(data);
    written = 0;
    while (written < size) {
        const ssize_t result = write(fd, bytes + written, size - written);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        written += static_cast<std::size_t>(result);
    }
    return 0;
}

}  // namespace veltra::platform
