#include "platform/owned_descriptor.h"

#include <unistd.h>

namespace veltra::platform {

void OwnedDescriptor::Reset(int fd) {
    // close() releases the descriptor even when it reports an error, so it is never retried.
    if (const int old = std::exchange(fd_, fd); old >= 0) {
        close(old);
    }
}

}  // namespace veltra::platform
