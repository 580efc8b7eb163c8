#pragma once
// The history database: one file in the user's data folder, open to its owner alone, in WAL mode
// (readers do not wait for the writer, a commit costs no sync of the file). Rows are written in
// transactions that group what came together, and the oldest beyond a bound go with the write
// that passes it. Not safe for two threads at once: its owner orders the calls.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "history/history_row.h"
#include "history/sqlite.h"
#include "platform/path.h"

namespace veltra {

// The rows kept when nothing else is said: the newest 100,000.
inline constexpr std::size_t kHistoryRowsKept = 100000;

class HistoryStore {
  public:
    // Opens file, making it (0600) when missing and migrating it to this version. A file that is
    // not a database, is damaged or cannot be read is moved aside as FILE.broken-YYYYMMDD-HHMMSS
    // (its write-ahead log beside it) and a new one started; MovedAside() then says so. Throws
    // NewerHistory for a database of a later version, std::system_error when no database can be
    // had at all (a full disk, a folder that cannot be written).
    HistoryStore(platform::Path file, std::size_t rows_kept = kHistoryRowsKept);
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    bool MovedAside() const { return moved_aside_; }
    const platform::Path& File() const { return file_; }

    // Rows written in one transaction: the changes of a Batch show together or not at all.
    class Batch {
      public:
        // Appends row (its id is ignored) and returns the id it got.
        std::int64_t Append(const HistoryRow& row);
        // Sets the outcome of the row of id, written earlier, when it is still kept.
        void SetOutcome(std::int64_t id, std::string_view outcome, std::string_view reason);
        // Drops the oldest rows beyond the bound, then commits. Without it, nothing was written.
        void Commit();

      private:
        friend class HistoryStore;
        explicit Batch(HistoryStore& store) : store_(store), transaction_(*store.database_) {}
        HistoryStore& store_;
        sqlite::Transaction transaction_;
        std::optional<sqlite::Statement> insert_;  // prepared once per batch
    };
    // Starts a batch; throws std::system_error (a full disk: sqlite::Fault::kFull).
    Batch Begin() { return Batch(*this); }

    // The rows the query asks for, newest first.
    std::vector<HistoryRow> Read(const HistoryQuery& query);
    // Deletes every row and gives the room back (VACUUM), the log's copies of them included.
    void Clear();
    // Moves the file aside (as at the start) and starts a new one, after a damage found later.
    void StartAfresh();

    // Transactions committed since the store was opened (diagnostics and tests).
    std::uint64_t Commits() const { return database_->Commits(); }

  private:
    void Open();
    void MoveAside();

    platform::Path file_;
    std::size_t rows_kept_;
    std::optional<sqlite::Database> database_;
    bool moved_aside_ = false;
};

}  // namespace veltra
