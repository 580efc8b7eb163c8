#include "platform/clock.h"

#include <chrono>
#include <ctime>

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

namespace {

// Floor division: a moment before 1970 still falls in its own second.
std::time_t SecondOf(std::int64_t ms_since_epoch) {
    std::int64_t seconds = ms_since_epoch / 1000;
    if (ms_since_epoch % 1000 < 0) {
        --seconds;
    }
    return static_cast<std::time_t>(seconds);
}

}  // namespace

std::string LocalTimeText(std::int64_t ms_since_epoch, const char* format) {
    const std::time_t moment = SecondOf(ms_since_epoch);
    std::tm local{};
    if (localtime_r(&moment, &local) == nullptr) {
        return {};
    }
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &local);
    return std::string(text, length);
}

std::int64_t LocalDayStart(std::int64_t ms_since_epoch) {
    const std::time_t moment = SecondOf(ms_since_epoch);
    std::tm local{};
    if (localtime_r(&moment, &local) == nullptr) {
        return ms_since_epoch;
    }
    local.tm_hour = 0;
    local.tm_min = 0;
    local.tm_sec = 0;
    local.tm_isdst = -1;  // the day may have begun on the other side of a clock change
    const std::time_t midnight = std::mktime(&local);
    if (midnight == static_cast<std::time_t>(-1)) {
        return ms_since_epoch;
    }
    return static_cast<std::int64_t>(midnight) * 1000;
}

}  // namespace veltra::platform
