#include "platform/clock.h"

#include <chrono>

namespace veltra::platform {

std::uint64_t CurrentFileTime() {
    auto since_1970 = std::chrono::system_clock::now().time_since_epoch();
    auto ticks =
        std::chrono::duration_cast<std::chrono::duration<std::int64_t, std::ratio<1, 10000000>>>(
            since_1970);
    return kFileTimeUnixEpoch + static_cast<std::uint64_t>(ticks.count());
}

std::uint32_t TickCountMs() {
    auto since_start = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count());
}

}  // namespace veltra::platform
