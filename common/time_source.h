#pragma once
// Time as the rate rules and waits see it. The program reads the steady clock; tests put a clock
// that they move by hand in its place, so that what they check does not depend on how busy the
// machine is. Here, below the engine, so that a front end can take one without seeing the engine.

#include <chrono>
#include <cstdint>

namespace veltra {

class TimeSource {
  public:
    using Clock = std::chrono::steady_clock;

    virtual ~TimeSource() = default;
    virtual Clock::time_point Now() = 0;

    // Milliseconds of Now, wrapping like the device's 32-bit tick count.
    std::uint32_t NowMs() {
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Now().time_since_epoch())
                .count());
    }
};

// The steady clock itself: one for the whole process, any thread.
TimeSource& SteadyTime();

}  // namespace veltra
