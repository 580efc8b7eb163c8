#pragma once
// The history's feed: stands between the workers and the front end's sink, passes every event on
// unchanged, and hands a copy of what the history keeps (messages, a batch's end, a served
// offer) to a writer thread of its own, as it does with what the session sends. The writer
// writes whatever has queued up in one transaction, so a burst costs one commit and the
// receiving worker never waits for the disk. A history that cannot be had, or that fills the
// disk, costs nothing but its rows: the front end is told once, and everything else goes on.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <variant>
#include <vector>

#include "common/event_sink.h"
#include "common/offer_result.h"
#include "history/history_row.h"
#include "history/history_rows.h"
#include "history/history_store.h"
#include "platform/data_folder.h"
#include "platform/path.h"

namespace veltra {

// Told once when a damaged or unreadable history was put aside and a new one started.
inline constexpr const wchar_t* kHistoryMovedAside = L"历史记录已损坏，已另存并重新开始";
// Told once when the disk is full: nothing more is written this run.
inline constexpr const wchar_t* kHistoryDiskFull = L"磁盘已满，历史记录已停止";
// Told once, before the cause, when the history cannot be had or written for another reason.
inline constexpr const wchar_t* kHistoryStopped = L"历史记录已停止：";

// history.sqlite3 in the user's data folder; nothing without one (no home). With kLeave, a
// missing folder is not made: a reader that finds none has nothing to read.
std::optional<platform::Path> DefaultHistoryFile(
    platform::MissingFolder missing = platform::MissingFolder::kMake);

struct HistoryOptions {
    bool enabled = true;
    // The database file; nothing: history.sqlite3 in the user's data folder.
    std::optional<platform::Path> file{};
    std::size_t rows_kept = kHistoryRowsKept;
    // Seams for tests, empty in the program. The writer calls hold_writer when it has woken for
    // what queued up, before it takes the store (it may wait there). A reader calls
    // reader_arrived when it starts to wait for the writer (Flush) and when it holds the store to
    // read (Read); neither may wait for the writer.
    std::function<void()> hold_writer{};
    std::function<void()> reader_arrived{};
};

class HistoryRecorder : public EventSink {
  public:
    // Starts the writer, which opens the history (see HistoryStore) first; what is posted
    // meanwhile waits for it. Never throws for the history's sake: a history that cannot be had
    // is told to front_end (from the writer), which must outlive this.
    HistoryRecorder(EventSink& front_end, HistoryOptions options = {});
    ~HistoryRecorder() override;
    HistoryRecorder(const HistoryRecorder&) = delete;
    HistoryRecorder& operator=(const HistoryRecorder&) = delete;

    // Any thread: queues what the history keeps of event, then posts event to the front end.
    void Post(Event event) override;
    // What the session sent: a message, and what became of each path of an offer.
    void RecordSent(std::uint32_t address, PeerNames peer, std::wstring text);
    void RecordOffered(std::uint32_t address, PeerNames peer, std::vector<OfferResult> results);

    // The rows the query asks for, newest first; nothing without a history.
    std::vector<HistoryRow> Read(const HistoryQuery& query);
    // Deletes every row, those still waiting to be written included, and gives the room back.
    // False when there is no history or it could not be cleared.
    bool Clear();

    // Returns once the history is open (or known not to be) and everything queued before the
    // call is written (or dropped, without a history). Read, Clear, Available and Commits wait
    // for the opening too.
    void Flush();
    // Writes what waits, then ends the writer; nothing is queued or told after it returns. Safe
    // to call twice.
    void Shutdown();

    bool Available();
    // Transactions committed so far (diagnostics and tests).
    std::uint64_t Commits();

  private:
    struct SentText {
        std::uint32_t address = 0;
        PeerNames peer;
        std::wstring text;
    };
    struct Offered {
        std::uint32_t address = 0;
        PeerNames peer;
        std::vector<OfferResult> results;
    };
    using Item = std::variant<MessageReceived, FilesReceived, OfferServed, SentText, Offered>;
    struct Timed {
        std::int64_t time_ms = 0;
        Item item;
    };

    // The writer's first step; false when there is no history to write.
    bool Open(const HistoryOptions& options);
    void WaitOpened();
    void Queue(Item item);
    void RunWriter();
    void Write(const std::vector<Timed>& items);
    void WriteItem(HistoryStore::Batch& batch, const Timed& timed);
    void Stop(std::wstring notice);
    void Tell(std::wstring text);

    EventSink& front_end_;
    const std::function<void()> hold_writer_;
    const std::function<void()> reader_arrived_;

    // Lock order: store_mutex_, then queue_mutex_.
    std::mutex store_mutex_;  // guards store_, offered_rows_, told_moved_
    std::unique_ptr<HistoryStore> store_;
    // The row of each entry offered this run and not served yet, by its file id.
    std::unordered_map<std::int32_t, std::int64_t> offered_rows_;
    bool told_moved_ = false;

    std::mutex queue_mutex_;
    std::condition_variable queued_;
    std::condition_variable written_;
    std::vector<Timed> waiting_;
    std::uint64_t queued_count_ = 0;   // items queued so far
    std::uint64_t written_count_ = 0;  // of them written or dropped
    bool accepting_ = false;           // false without a history, once stopped or shut down
    bool opened_ = false;              // the writer has tried to open the history
    bool stopping_ = false;

    std::thread writer_;
};

}  // namespace veltra
