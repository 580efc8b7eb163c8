#include "history/history_recorder.h"

#include <chrono>
#include <exception>
#include <system_error>
#include <utility>

#include "common/started_thread.h"
#include "history/history_schema.h"
#include "platform/utf8.h"

namespace veltra {

namespace {

// Items waiting beyond this (a disk that stalls for long) are dropped: the history must never
// hold the program's memory hostage.
constexpr std::size_t kMaxWaiting = 100000;
// Offered entries that are never fetched are forgotten at this many.
constexpr std::size_t kMaxOfferedRows = 65536;

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::wstring StoppedBecause(const std::exception& error) {
    return std::wstring(kHistoryStopped) + platform::Utf8ToWide(error.what());
}

}  // namespace

std::optional<platform::Path> DefaultHistoryFile(platform::MissingFolder missing) {
    const std::optional<platform::Path> folder = platform::UserDataFolder(missing);
    if (!folder) {
        return std::nullopt;
    }
    return *folder / L"history.sqlite3";
}

HistoryRecorder::HistoryRecorder(EventSink& front_end, HistoryOptions options)
    : front_end_(front_end),
      hold_writer_(std::move(options.hold_writer)),
      reader_arrived_(std::move(options.reader_arrived)) {
    if (!options.enabled) {
        opened_ = true;
        return;
    }
    // What arrives while the writer opens the file waits for it: opening checks every page,
    // which takes a while for a large history, and must not hold up the start.
    accepting_ = true;
    try {
        writer_ = StartThread<std::thread>("the history", [this, options = std::move(options)] {
            if (Open(options)) {
                RunWriter();
            }
        });
    } catch (const std::exception& error) {
        accepting_ = false;
        opened_ = true;
        Tell(StoppedBecause(error));
    }
}

bool HistoryRecorder::Open(const HistoryOptions& options) {
    std::lock_guard store_guard(store_mutex_);
    std::wstring notice;
    try {
        const std::optional<platform::Path> file =
            options.file ? options.file : DefaultHistoryFile();
        if (file) {  // without a data folder (no home) there is nothing to keep a history in
            store_ = std::make_unique<HistoryStore>(*file, options.rows_kept);
            if (store_->MovedAside()) {
                told_moved_ = true;
                Tell(kHistoryMovedAside);
            }
        }
    } catch (const std::system_error& error) {
        notice = sqlite::FaultOf(error) == sqlite::Fault::kFull ? kHistoryDiskFull
                                                                : StoppedBecause(error);
    } catch (const std::exception& error) {
        notice = StoppedBecause(error);
    }
    const bool opened = store_ != nullptr;
    if (!opened) {
        Stop(std::move(notice));
    }
    {
        std::lock_guard guard(queue_mutex_);
        opened_ = true;
    }
    written_.notify_all();
    return opened;
}

void HistoryRecorder::WaitOpened() {
    std::unique_lock lock(queue_mutex_);
    written_.wait(lock, [this] { return opened_; });
}

HistoryRecorder::~HistoryRecorder() {
    Shutdown();
}

void HistoryRecorder::Tell(std::wstring text) {
    front_end_.Post(LogNotice{std::move(text)});
}

void HistoryRecorder::Post(Event event) {
    // A cheap test for the events of every file and its progress, which the history skips.
    try {
        if (const auto* message = std::get_if<MessageReceived>(&event)) {
            Queue(*message);
        } else if (const auto* batch = std::get_if<FilesReceived>(&event)) {
            Queue(*batch);
        } else if (const auto* served = std::get_if<OfferServed>(&event)) {
            Queue(*served);
        }
    } catch (...) {
        // Out of memory for a copy: the row is lost, the event still goes on.
    }
    front_end_.Post(std::move(event));
}

void HistoryRecorder::RecordSent(std::uint32_t address, PeerNames peer, std::wstring text) {
    Queue(SentText{address, std::move(peer), std::move(text)});
}

void HistoryRecorder::RecordOffered(std::uint32_t address, PeerNames peer,
                                    std::vector<OfferResult> results) {
    Queue(Offered{address, std::move(peer), std::move(results)});
}

void HistoryRecorder::Queue(Item item) {
    const std::int64_t now = NowMs();
    {
        std::lock_guard guard(queue_mutex_);
        if (!accepting_ || waiting_.size() >= kMaxWaiting) {
            return;
        }
        waiting_.push_back(Timed{now, std::move(item)});
        ++queued_count_;
        if (waiting_.size() > 1) {
            return;  // the writer has been woken for the first
        }
    }
    queued_.notify_one();
}

void HistoryRecorder::RunWriter() {
    for (;;) {
        {
            std::unique_lock lock(queue_mutex_);
            queued_.wait(lock, [this] { return !waiting_.empty() || stopping_; });
            if (waiting_.empty()) {
                return;
            }
        }
        if (hold_writer_) {
            hold_writer_();
        }
        std::lock_guard store_guard(store_mutex_);
        std::vector<Timed> items;
        {
            std::lock_guard guard(queue_mutex_);
            items.swap(waiting_);
        }
        Write(items);
        {
            std::lock_guard guard(queue_mutex_);
            written_count_ += items.size();
        }
        written_.notify_all();
    }
}

void HistoryRecorder::Write(const std::vector<Timed>& items) {
    bool retried = false;
    for (;;) {
        try {
            HistoryStore::Batch batch = store_->Begin();
            for (const Timed& timed : items) {
                WriteItem(batch, timed);
            }
            batch.Commit();
            return;
        } catch (const std::system_error& error) {
            const sqlite::Fault fault = sqlite::FaultOf(error);
            if (fault == sqlite::Fault::kFull) {
                return Stop(kHistoryDiskFull);
            }
            if (fault != sqlite::Fault::kDamaged || retried) {
                return Stop(StoppedBecause(error));
            }
        } catch (const std::exception& error) {
            return Stop(StoppedBecause(error));
        }
        // Damage found while writing: the file goes aside as at the start, and the rows go
        // into a new one.
        retried = true;
        offered_rows_.clear();
        try {
            store_->StartAfresh();
        } catch (const std::exception& error) {
            return Stop(StoppedBecause(error));
        }
        if (!told_moved_) {
            told_moved_ = true;
            Tell(kHistoryMovedAside);
        }
    }
}

void HistoryRecorder::WriteItem(HistoryStore::Batch& batch, const Timed& timed) {
    const std::int64_t time = timed.time_ms;
    if (const auto* message = std::get_if<MessageReceived>(&timed.item)) {
        batch.Append(MessageRow(time, *message));
    } else if (const auto* files = std::get_if<FilesReceived>(&timed.item)) {
        for (const HistoryRow& row : BatchRows(time, *files)) {
            batch.Append(row);
        }
    } else if (const auto* served = std::get_if<OfferServed>(&timed.item)) {
        const auto found = offered_rows_.find(served->file_id);
        if (found != offered_rows_.end()) {
            batch.SetOutcome(found->second, served->whole ? outcome::kSent : outcome::kSendFailed,
                             served->whole ? "" : "connection");
            offered_rows_.erase(found);
        }
    } else if (const auto* sent = std::get_if<SentText>(&timed.item)) {
        batch.Append(SentRow(time, sent->address, sent->peer, sent->text));
    } else if (const auto* offered = std::get_if<Offered>(&timed.item)) {
        for (const OfferResult& result : offered->results) {
            const std::int64_t id =
                batch.Append(OfferedRow(time, offered->address, offered->peer, result));
            if (result.entry) {
                if (offered_rows_.size() >= kMaxOfferedRows) {
                    offered_rows_.clear();
                }
                offered_rows_[result.entry->file_id] = id;
            }
        }
    }
}

void HistoryRecorder::Stop(std::wstring notice) {
    {
        std::lock_guard guard(queue_mutex_);
        if (!accepting_) {
            return;
        }
        accepting_ = false;
        written_count_ += waiting_.size();
        waiting_.clear();
    }
    written_.notify_all();
    if (!notice.empty()) {
        Tell(std::move(notice));
    }
}

std::vector<HistoryRow> HistoryRecorder::Read(const HistoryQuery& query) {
    WaitOpened();
    std::lock_guard guard(store_mutex_);
    if (reader_arrived_) {
        reader_arrived_();
    }
    if (!store_) {
        return {};
    }
    try {
        return store_->Read(query);
    } catch (const std::exception&) {
        return {};  // a damage found here is dealt with by the next write
    }
}

bool HistoryRecorder::Clear() {
    WaitOpened();
    std::lock_guard guard(store_mutex_);
    if (!store_) {
        return false;
    }
    {
        std::lock_guard queue_guard(queue_mutex_);
        written_count_ += waiting_.size();
        waiting_.clear();
    }
    written_.notify_all();
    offered_rows_.clear();
    try {
        store_->Clear();
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void HistoryRecorder::Flush() {
    if (reader_arrived_) {
        reader_arrived_();
    }
    std::unique_lock lock(queue_mutex_);
    const std::uint64_t target = queued_count_;
    written_.wait(lock, [&] { return opened_ && written_count_ >= target; });
}

void HistoryRecorder::Shutdown() {
    {
        std::lock_guard guard(queue_mutex_);
        stopping_ = true;
        accepting_ = false;  // what waits is still written; nothing more is taken
    }
    queued_.notify_all();
    if (writer_.joinable()) {
        writer_.join();
    }
}

bool HistoryRecorder::Available() {
    std::unique_lock lock(queue_mutex_);
    written_.wait(lock, [this] { return opened_; });
    return accepting_;
}

std::uint64_t HistoryRecorder::Commits() {
    WaitOpened();
    std::lock_guard guard(store_mutex_);
    return store_ ? store_->Commits() : 0;
}

}  // namespace veltra
