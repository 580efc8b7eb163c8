#pragma once
// How often a file's progress is told: for its first chunk, then once kProgressLineIntervalMs
// have passed since the last time told, and always for the chunk that completes the file. A
// faster pace tells a reader nothing new and costs a fast transfer its time.

#include <cstdint>

namespace veltra {

// The shortest time between two progress lines of one file: at most four a second.
inline constexpr std::uint32_t kProgressLineIntervalMs = 250;

class ProgressThrottle {
  public:
    // A new file: its first chunk is told.
    void Start() { told_ = false; }
    // Whether the chunk that brings received of size bytes, at now_ms, is told.
    bool Due(std::uint64_t received, std::uint64_t size, std::uint32_t now_ms) {
        // Unsigned subtraction: right across a wrap of the 32-bit tick count.
        if (received >= size || !told_ || now_ms - last_ms_ >= kProgressLineIntervalMs) {
            told_ = true;
            last_ms_ = now_ms;
            return true;
        }
        return false;
    }

  private:
    bool told_ = false;
    std::uint32_t last_ms_ = 0;
};

}  // namespace veltra
