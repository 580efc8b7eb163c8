#include "platform/host_name.h"

#include <unistd.h>

namespace veltra::platform {

std::string HostName() {
    char buffer[1024] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) {
        return {};
    }
    return buffer;
}

}  // namespace veltra::platform
