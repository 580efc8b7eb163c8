#pragma once
#include <cstdint>
#include <string>

namespace veltra::platform {

// 100-nanosecond intervals between 1601-01-01 and 1970-01-01: the epoch of file times.
inline constexpr std::uint64_t kFileTimeUnixEpoch = 116444736000000000ULL;

// The calendar clock as a file time: 100 ns intervals since 1601-01-01 (UTC).
std::uint64_t CurrentFileTime();
// Milliseconds of a monotonic clock; wraps like the device's 32-bit tick count.
std::uint32_t TickCountMs();
// A moment (milliseconds since 1970-01-01 UTC) in the local time zone, written by strftime's
// format, e.g. "%Y-%m-%d %H:%M".
std::string LocalTimeText(std::int64_t ms_since_epoch, const char* format);
// The start (local midnight) of the local day a moment falls on, in milliseconds since 1970.
std::int64_t LocalDayStart(std::int64_t ms_since_epoch);

}  // namespace veltra::platform
