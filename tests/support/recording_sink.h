#pragma once
// A front end's stand-in for the tests: keeps every event posted to it, with the time it came.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "common/event_sink.h"

namespace veltra::testing {

// The kind of an event, as short text for comparing sequences: "peers", "message", "files",
// "started", "progress", "done", "notice" or "served".
inline std::string KindOf(const Event& event) {
    static const char* const kKinds[] = {"peers",    "message", "files",  "started",
                                         "progress", "done",    "notice", "served"};
    static_assert(std::size(kKinds) == std::variant_size_v<Event>);
    return kKinds[event.index()];
}

class RecordingSink : public EventSink {
  public:
    using Clock = std::chrono::steady_clock;

    // Runs on the posting thread with every event before it is kept; set it before anything can
    // post. It may throw, as a front end out of memory might: the event is then not kept.
    std::function<void(const Event&)> on_post;

    void Post(Event event) override {
        if (on_post) {
            on_post(event);
        }
        std::lock_guard guard(mutex_);
        events_.push_back(Recorded{std::move(event), Clock::now()});
        changed_.notify_all();
    }

    // Every event of kind T so far, in order.
    template <typename T>
    std::vector<T> Of() {
        std::lock_guard guard(mutex_);
        std::vector<T> found;
        for (const Recorded& recorded : events_) {
            if (const T* event = std::get_if<T>(&recorded.event)) {
                found.push_back(*event);
            }
        }
        return found;
    }
    // When each event of kind T came.
    template <typename T>
    std::vector<Clock::time_point> TimesOf() {
        std::lock_guard guard(mutex_);
        std::vector<Clock::time_point> times;
        for (const Recorded& recorded : events_) {
            if (std::holds_alternative<T>(recorded.event)) {
                times.push_back(recorded.when);
            }
        }
        return times;
    }
    template <typename T>
    std::size_t Count() {
        std::lock_guard guard(mutex_);
        return CountLocked<T>();
    }
    std::size_t Total() {
        std::lock_guard guard(mutex_);
        return events_.size();
    }
    // The kind of every event so far, in order (see KindOf).
    std::vector<std::string> Kinds() {
        std::lock_guard guard(mutex_);
        std::vector<std::string> kinds;
        for (const Recorded& recorded : events_) {
            kinds.push_back(KindOf(recorded.event));
        }
        return kinds;
    }
    // How every file ended, in order.
    std::vector<FileOutcome> Outcomes() {
        std::vector<FileOutcome> outcomes;
        for (const FileDone& done : Of<FileDone>()) {
            outcomes.push_back(done.outcome);
        }
        return outcomes;
    }
    // The text of every notice, in order.
    std::vector<std::wstring> Notices() {
        std::vector<std::wstring> texts;
        for (const LogNotice& notice : Of<LogNotice>()) {
            texts.push_back(notice.text);
        }
        return texts;
    }

    // Waits until count events of kind T have come; false when they have not within limit.
    template <typename T>
    bool WaitFor(std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return CountLocked<T>() >= count; });
    }

    // Takes out every event kept so far.
    std::vector<Event> Take() {
        std::lock_guard guard(mutex_);
        std::vector<Event> taken;
        for (Recorded& recorded : events_) {
            taken.push_back(std::move(recorded.event));
        }
        events_.clear();
        return taken;
    }

  private:
    struct Recorded {
        Event event;
        Clock::time_point when;
    };
    template <typename T>
    std::size_t CountLocked() const {
        std::size_t count = 0;
        for (const Recorded& recorded : events_) {
            count += std::holds_alternative<T>(recorded.event);
        }
        return count;
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Recorded> events_;
};

}  // namespace veltra::testing
