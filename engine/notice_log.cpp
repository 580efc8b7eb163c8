#include "engine/notice_log.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <utility>

#include "platform/utf8.h"

namespace veltra {

NoticeLog::NoticeLog(EventSink* sink, Clock clock, std::chrono::steady_clock::duration interval)
    : sink_(sink),
      clock_(clock ? std::move(clock) : Clock(&std::chrono::steady_clock::now)),
      interval_(interval) {}

void NoticeLog::SetSink(EventSink* sink) {
    std::lock_guard guard(mutex_);
    sink_ = sink;
}

bool NoticeLog::Report(std::uint64_t key,
                       const std::function<std::wstring(std::uint64_t count)>& text) noexcept {
    try {
        std::uint64_t count = 1;
        EventSink* sink = nullptr;
        {
            std::lock_guard guard(mutex_);
            const auto now = clock_();
            Entry& entry = entries_[key];
            if (entry.posted && now - entry.last < interval_) {
                ++entry.held_back;
                return false;
            }
            count += entry.held_back;
            entry = Entry{now, 0, true};
            Prune(now);
            sink = sink_;
        }
        if (sink != nullptr) {
            sink->Post(LogNotice{text(count)});
        }
        return true;
    } catch (...) {
        // No memory even for the line: the trouble goes unlogged rather than end the thread.
        return false;
    }
}

void NoticeLog::Prune(std::chrono::steady_clock::time_point now) {
    if (entries_.size() < prune_at_) {
        return;
    }
    std::erase_if(entries_, [&](const auto& entry) {
        return entry.second.held_back == 0 && now - entry.second.last >= interval_;
    });
    // Pruning again only once the table has doubled keeps the work per report constant.
    prune_at_ = std::max<std::size_t>(64, entries_.size() * 2);
}

std::wstring CurrentExceptionText() {
    try {
        throw;
    } catch (const std::system_error& error) {
        return platform::Utf8ToWide(error.code().message());
    } catch (const std::exception& error) {
        return platform::Utf8ToWide(error.what());
    } catch (...) {
        return L"未知错误";
    }
}

std::wstring RepeatSuffix(std::uint64_t count) {
    return count > 1 ? L"（" + std::to_wstring(count) + L"次）" : std::wstring();
}

}  // namespace veltra
