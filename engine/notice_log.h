#pragma once
// Log lines about trouble the program got over (an offer dropped, a handler that failed, a
// thread that could not start), posted to a front end as LogNotice events. A flood of the same
// trouble must not become a flood of lines: the line of one key (a kind of trouble, with the
// source it came from where that matters) goes out at most once per interval, and counts the
// occurrences held back since the last one.

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

#include "common/event_sink.h"

namespace veltra {

inline constexpr auto kNoticeInterval = std::chrono::minutes(1);

class NoticeLog {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Lines go to sink (none while it is null); clock defaults to the steady clock.
    explicit NoticeLog(EventSink* sink = nullptr, Clock clock = {},
                       std::chrono::steady_clock::duration interval = kNoticeInterval);
    NoticeLog(const NoticeLog&) = delete;
    NoticeLog& operator=(const NoticeLog&) = delete;

    // Any thread. The sink must outlive its registration.
    void SetSink(EventSink* sink);

    // One occurrence of the trouble named by key (any thread). When no line for key went out
    // within the interval, posts text(count), count being the occurrences since the last line
    // for key, this one included, and returns true. Never throws: called from catch blocks,
    // where text may use CurrentExceptionText().
    bool Report(std::uint64_t key,
                const std::function<std::wstring(std::uint64_t count)>& text) noexcept;

    // A key of its own for a kind of trouble from one IPv4 address (network order).
    static constexpr std::uint64_t Key(std::uint32_t kind, std::uint32_t address = 0) {
        return (std::uint64_t{kind} << 32) | address;
    }

  private:
    struct Entry {
        std::chrono::steady_clock::time_point last{};
        std::uint64_t held_back = 0;
        bool posted = false;  // false for a key just added
    };
    // Forgets keys whose last line is an interval old with nothing held back: their next
    // occurrence gets a line at once either way. mutex_ held.
    void Prune(std::chrono::steady_clock::time_point now);

    std::mutex mutex_;
    EventSink* sink_;
    const Clock clock_;
    const std::chrono::steady_clock::duration interval_;
    std::unordered_map<std::uint64_t, Entry> entries_;
    std::size_t prune_at_ = 64;
};

// The cause carried by the exception being handled, for a log line; call it in a catch block.
std::wstring CurrentExceptionText();

// "（N次）" when a line stands for more than one occurrence, else nothing.
std::wstring RepeatSuffix(std::uint64_t count);

}  // namespace veltra
