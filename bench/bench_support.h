#pragma once
// Pieces the socket benchmarks share: memory and threads of this process, a clock in seconds,
// and a sink whose events are handled on a thread of their own, the way a front end handles
// them.

#include <dirent.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "common/event_sink.h"
#include "platform/socket.h"

namespace veltra::bench {

// A "Name:  N kB" line of /proc/self/status in KiB, or -1 when /proc cannot tell.
inline long StatusKb(const char* field) {
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr) {
        return -1;
    }
    const std::size_t length = std::strlen(field);
    char line[256];
    long kb = -1;
    while (std::fgets(line, sizeof line, status) != nullptr) {
        if (std::strncmp(line, field, length) == 0) {
            kb = std::strtol(line + length, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return kb;
}

// The process's peak resident set (VmHWM) in KiB, or -1 when /proc cannot tell.
inline long PeakResidentKb() {
    return StatusKb("VmHWM:");
}

// The threads of this process, this one included.
inline int ThreadCount() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            count += entry->d_name[0] != '.';
        }
        closedir(tasks);
    }
    return count;
}

// Address number index of the loopback network 127.NETWORK.0.0/16: 127.NETWORK.(index /
// 250).(index % 250 + 1), so that many fake hosts can each have one of their own.
inline std::uint32_t LoopbackAddress(int network, int index) {
    const std::string dotted = "127." + std::to_string(network) + "." +
                               std::to_string(index / 250) + "." + std::to_string(index % 250 + 1);
    return platform::InetAddr(dotted.c_str());
}

// Room for the sockets of many fake hosts.
inline void RaiseDescriptorLimit(rlim_t wanted) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < wanted) {
        limit.rlim_cur = std::min(wanted, limit.rlim_max);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// CPU seconds (user and system, every thread) this process has used so far.
inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

inline double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Posted events wait in a queue and one thread hands them to the handler in the order posted,
// as a dialog's message loop would: posting never waits for the handling.
class LoopSink : public EventSink {
  public:
    using Handler = std::function<void(Event&)>;

    explicit LoopSink(Handler handler) : handler_(std::move(handler)) {
        thread_ = std::thread([this] { Run(); });
    }
    ~LoopSink() override { Stop(); }
    LoopSink(const LoopSink&) = delete;
    LoopSink& operator=(const LoopSink&) = delete;

    void Post(Event event) override {
        {
            std::lock_guard guard(mutex_);
            queue_.push_back(std::move(event));
        }
        // Outside the lock, so the woken thread does not at once block on it.
        ready_.notify_one();
    }

    // Handles what is queued, then ends the loop. Safe to call twice.
    void Stop() {
        {
            std::lock_guard guard(mutex_);
            stopping_ = true;
            ready_.notify_one();
        }
        if (thread_.joinable()) {
            thread_.join();
        }
    }

  private:
    void Run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) {
                return;
            }
            Event event = std::move(queue_.front());
            queue_.pop_front();
            lock.unlock();
            handler_(event);
            lock.lock();
        }
    }

    Handler handler_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Event> queue_;
    bool stopping_ = false;
    std::thread thread_;
};

// Handles each event at once on the thread that posts it: what the transfer costs without a
// front end's thread (the handler must be safe to call from the posting threads).
class InlineSink : public EventSink {
  public:
    using Handler = std::function<void(Event&)>;
    explicit InlineSink(Handler handler) : handler_(std::move(handler)) {}
    void Post(Event event) override {
        std::lock_guard guard(mutex_);
        handler_(event);
    }

  private:
    Handler handler_;
    std::mutex mutex_;
};

// A flag that one thread raises and another waits for.
class Signal {
  public:
    void Raise() {
        std::lock_guard guard(mutex_);
        raised_ = true;
        changed_.notify_all();
    }
    bool WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [this] { return raised_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

}  // namespace veltra::bench
