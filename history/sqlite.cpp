#include "history/sqlite.h"

#include <sqlite3.h>

#include <utility>

namespace veltra::sqlite {

namespace {

class SqliteCategory : public std::error_category {
  public:
    const char* name() const noexcept override { return "sqlite"; }
    std::string message(int code) const override { return sqlite3_errstr(code); }
};

int CountCommit(void* counter) {
    ++*static_cast<std::uint64_t*>(counter);
    return 0;  // go on with the commit
}

}  // namespace

const std::error_category& Category() {
    static const SqliteCategory category;
    return category;
}

Fault FaultOf(const std::system_error& error) {
    if (error.code().category() != Category()) {
        return Fault::kOther;
    }
    switch (error.code().value()) {
        case SQLITE_OK:
            return Fault::kNone;
        case SQLITE_FULL:
            return Fault::kFull;
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            return Fault::kDamaged;
        default:
            return Fault::kOther;
    }
}

Database::Database(const std::string& host_path) : path_(host_path) {
    const int result = sqlite3_open_v2(
        host_path.c_str(), &db_,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOFOLLOW | SQLITE_OPEN_NOMUTEX,
        nullptr);
    if (result != SQLITE_OK) {
        Close();
        throw std::system_error(result & 0xff, Category(), "cannot open the history " + path_);
    }
    sqlite3_extended_result_codes(db_, 0);
    sqlite3_commit_hook(db_, CountCommit, &commits_);
    // Another process of the user's (a second instance in a test's namespace) may be writing.
    sqlite3_busy_timeout(db_, 5000);
}

Database::Database(Database&& other) noexcept
    : db_(std::exchange(other.db_, nullptr)),
      path_(std::move(other.path_)),
      commits_(other.commits_) {
    if (db_) {
        sqlite3_commit_hook(db_, CountCommit, &commits_);
    }
}

Database& Database::operator=(Database&& other) noexcept {
    if (this != &other) {
        Close();
        db_ = std::exchange(other.db_, nullptr);
        path_ = std::move(other.path_);
        commits_ = other.commits_;
        if (db_) {
            sqlite3_commit_hook(db_, CountCommit, &commits_);
        }
    }
    return *this;
}

Database::~Database() {
    Close();
}

void Database::Close() {
    if (db_) {
        sqlite3_close_v2(db_);
        db_ = nullptr;
    }
}

void Database::Check(int result, std::string_view step) const {
    if (result == SQLITE_OK || result == SQLITE_ROW || result == SQLITE_DONE) {
        return;
    }
    std::string what = "cannot ";
    what.append(step).append(" in the history ").append(path_);
    if (db_ && sqlite3_errcode(db_) == result) {
        // SQLite's message for the connection names what it found (a table missing, ...).
        throw std::system_error(result & 0xff, Category(), what + ": " + sqlite3_errmsg(db_));
    }
    throw std::system_error(result & 0xff, Category(), what);
}

void Database::Execute(const char* sql, const char* step) {
    Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), step);
}

std::int64_t Database::Number(const char* sql, const char* step) {
    Statement statement(*this, sql);
    if (!statement.Step()) {
        Check(SQLITE_ERROR, step);
    }
    return statement.Integer(0);
}

std::int64_t Database::Changes() const {
    return sqlite3_changes64(db_);
}

std::int64_t Database::LastInsertId() const {
    return sqlite3_last_insert_rowid(db_);
}

Statement::Statement(Database& database, const char* sql) : database_(database) {
    database_.Check(sqlite3_prepare_v2(database_.Handle(), sql, -1, &statement_, nullptr),
                    "prepare a statement");
}

Statement::Statement(Statement&& other) noexcept
    : database_(other.database_), statement_(std::exchange(other.statement_, nullptr)) {}

Statement::~Statement() {
    sqlite3_finalize(statement_);
}

Statement& Statement::Bind(int index, std::int64_t value) {
    database_.Check(sqlite3_bind_int64(statement_, index, value), "bind a value");
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    database_.Check(sqlite3_bind_text64(statement_, index, text.data(), text.size(),
                                        SQLITE_TRANSIENT, SQLITE_UTF8),
                    "bind a text");
    return *this;
}

bool Statement::Step() {
    const int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW) {
        return true;
    }
    if (result != SQLITE_DONE) {
        // sqlite3_reset returns the error of the failed step itself.
        const int cause = sqlite3_reset(statement_);
        database_.Check(cause != SQLITE_OK ? cause : result, "read or write rows");
    }
    return false;
}

void Statement::Run() {
    while (Step()) {
    }
    Reset();
}

void Statement::Reset() {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

std::int64_t Statement::Integer(int column) const {
    return sqlite3_column_int64(statement_, column);
}

std::string Statement::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
    const int length = sqlite3_column_bytes(statement_, column);
    return text ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

Transaction::Transaction(Database& database) : database_(database) {
    database_.Execute("BEGIN IMMEDIATE", "begin a transaction");
}

Transaction::~Transaction() {
    if (open_) {
        sqlite3_exec(database_.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void Transaction::Commit() {
    database_.Execute("COMMIT", "commit a transaction");
    open_ = false;
}

}  // namespace veltra::sqlite
