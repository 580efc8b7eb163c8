#include "history/history_store.h"

#include <sqlite3.h>

#include <string>
#include <utility>

#include "history/history_schema.h"
#include "platform/private_file.h"

namespace veltra {

namespace {

constexpr const char* kColumns =
    "time, kind, peer_name, address, host, text, name, folder, size, outcome, reason, "
    "stored_path, count, failed";

// The text as a LIKE pattern that matches it anywhere, its own % _ and \ taken literally.
std::string Anywhere(std::string_view text) {
    std::string pattern = "%";
    for (const char c : text) {
        if (c == '%' || c == '_' || c == '\\') {
            pattern.push_back('\\');
        }
        pattern.push_back(c);
    }
    pattern.push_back('%');
    return pattern;
}

platform::Path Beside(const platform::Path& file, std::string_view suffix) {
    return platform::Path::FromHost(file.Host() + std::string(suffix));
}

// Whether a failure to open says that the file itself cannot be used, so that a new one would
// do: not a database, damaged, unreadable. A full disk or a busy lock would fail a new one too.
bool FileIsAtFault(const std::system_error& error) {
    if (error.code().category() != sqlite::Category()) {
        return false;  // the file could not be made private: nothing to move
    }
    const sqlite::Fault fault = sqlite::FaultOf(error);
    const int code = error.code().value();
    return fault == sqlite::Fault::kDamaged ||
           (fault == sqlite::Fault::kOther && code != SQLITE_BUSY && code != SQLITE_LOCKED &&
            code != SQLITE_NOMEM);
}

}  // namespace

HistoryStore::HistoryStore(platform::Path file, std::size_t rows_kept)
    : file_(std::move(file)), rows_kept_(rows_kept) {
    try {
        Open();
    } catch (const std::system_error& error) {
        if (!FileIsAtFault(error)) {
            throw;
        }
        StartAfresh();
    }
}

void HistoryStore::Open() {
    database_.reset();
    platform::MakePrivateFile(file_);
    database_.emplace(file_.Host());
    sqlite::Database& database = *database_;
    database.Execute("PRAGMA journal_mode = WAL", "turn on the write-ahead log");
    // In WAL mode a commit that is not synced is lost only with the machine, never damaged.
    database.Execute("PRAGMA synchronous = NORMAL", "set the sync mode");
    {
        sqlite::Statement check(database, "PRAGMA quick_check");
        if (!check.Step() || check.Text(0) != "ok") {
            database.Check(SQLITE_CORRUPT, "check the pages");
        }
    }
    MigrateHistory(database);
}

void HistoryStore::MoveAside() {
    database_.reset();
    const std::string aside = ".broken-" + platform::LocalTimeStamp();
    platform::MoveFile(file_, Beside(file_, aside));
    // The log belongs to the file it was written for; a new file must not replay it.
    platform::MoveFile(Beside(file_, "-wal"), Beside(file_, aside + "-wal"));
    platform::RemoveFileIfPresent(Beside(file_, "-shm"));
    moved_aside_ = true;
}

void HistoryStore::StartAfresh() {
    MoveAside();
    Open();
}

std::int64_t HistoryStore::Batch::Append(const HistoryRow& row) {
    sqlite::Database& database = *store_.database_;
    if (!insert_) {
        static const std::string sql = std::string("INSERT INTO history (") + kColumns +
                                       ") VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, "
                                       "?12, ?13, ?14)";
        insert_.emplace(database, sql.c_str());
    }
    insert_->Bind(1, row.time_ms)
        .Bind(2, KindName(row.kind))
        .Bind(3, row.peer_name)
        .Bind(4, row.address)
        .Bind(5, row.host)
        .Bind(6, row.text)
        .Bind(7, row.name)
        .Bind(8, std::int64_t{row.folder})
        .Bind(9, static_cast<std::int64_t>(row.size))
        .Bind(10, row.outcome)
        .Bind(11, row.reason)
        .Bind(12, row.stored_path)
        .Bind(13, std::int64_t{row.count})
        .Bind(14, std::int64_t{row.failed});
    insert_->Run();
    return database.LastInsertId();
}

void HistoryStore::Batch::SetOutcome(std::int64_t id, std::string_view outcome,
                                     std::string_view reason) {
    sqlite::Statement update(*store_.database_,
                             "UPDATE history SET outcome = ?1, reason = ?2 WHERE id = ?3");
    update.Bind(1, outcome).Bind(2, reason).Bind(3, id).Run();
}

void HistoryStore::Batch::Commit() {
    // Rows are only appended, and dropped from the oldest end or all at once, so their ids run
    // without gaps: the newest rows_kept are those within rows_kept of the largest id.
    sqlite::Statement prune(*store_.database_,
                            "DELETE FROM history WHERE id <= (SELECT max(id) FROM history) - ?1");
    prune.Bind(1, static_cast<std::int64_t>(store_.rows_kept_)).Run();
    insert_.reset();
    transaction_.Commit();
}

std::vector<HistoryRow> HistoryStore::Read(const HistoryQuery& query) {
    static const std::string sql =
        std::string("SELECT id, ") + kColumns +
        " FROM history WHERE id < ?1 AND time >= ?2"
        " AND (?3 = '' OR text LIKE ?4 ESCAPE '\\' OR name LIKE ?4 ESCAPE '\\'"
        "  OR stored_path LIKE ?4 ESCAPE '\\')"
        " AND (?5 = '' OR peer_name LIKE ?6 ESCAPE '\\' OR host LIKE ?6 ESCAPE '\\'"
        "  OR address LIKE ?6 ESCAPE '\\')"
        " ORDER BY id DESC LIMIT ?7";
    sqlite::Statement select(*database_, sql.c_str());
    select.Bind(1, query.before_id.value_or(INT64_MAX))
        .Bind(2, query.since.value_or(INT64_MIN))
        .Bind(3, query.text)
        .Bind(4, Anywhere(query.text))
        .Bind(5, query.peer)
        .Bind(6, Anywhere(query.peer))
        .Bind(7, static_cast<std::int64_t>(query.limit));
    std::vector<HistoryRow> rows;
    while (select.Step()) {
        HistoryRow row;
        row.id = select.Integer(0);
        row.time_ms = select.Integer(1);
        row.kind = KindNamed(select.Text(2)).value_or(HistoryKind::kMessageReceived);
        row.peer_name = select.Text(3);
        row.address = select.Text(4);
        row.host = select.Text(5);
        row.text = select.Text(6);
        row.name = select.Text(7);
        row.folder = select.Integer(8) != 0;
        row.size = static_cast<std::uint64_t>(select.Integer(9));
        row.outcome = select.Text(10);
        row.reason = select.Text(11);
        row.stored_path = select.Text(12);
        row.count = static_cast<int>(select.Integer(13));
        row.failed = static_cast<int>(select.Integer(14));
        rows.push_back(std::move(row));
    }
    return rows;
}

void HistoryStore::Clear() {
    sqlite::Database& database = *database_;
    database.Execute("DELETE FROM history", "delete the rows");
    database.Execute("VACUUM", "give the room back");
    // The log still holds the pages as they were until it is checkpointed and emptied.
    database.Execute("PRAGMA wal_checkpoint(TRUNCATE)", "empty the write-ahead log");
}

}  // namespace veltra
