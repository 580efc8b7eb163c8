#pragma once
// A thin hold on SQLite: a database connection, a prepared statement and a transaction, each
// freed or ended by its destructor, and errors as std::system_error in a category of SQLite's
// result codes, naming the step and the object before SQLite's own words. The history makes a
// handful of calls; a packaged C++ wrapper would be one more dependency for them.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

struct sqlite3;
struct sqlite3_stmt;

namespace veltra::sqlite {

// SQLite's primary result codes (SQLITE_FULL, SQLITE_CORRUPT, ...) as error codes.
const std::error_category& Category();

// The causes that callers tell apart.
enum class Fault { kNone, kFull, kDamaged, kOther };
// kDamaged: the file is not a database, or its pages do not hold together.
Fault FaultOf(const std::system_error& error);

class Database {
  public:
    // Opens (making it when missing) the database file at host_path, read and write. Throws
    // std::system_error ("cannot open the history HOST_PATH: ...").
    explicit Database(const std::string& host_path);
    Database(Database&& other) noexcept;
    Database& operator=(Database&& other) noexcept;
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;
    ~Database();

    // Runs statements that return no rows; step names what they do, for the error.
    void Execute(const char* sql, const char* step);
    // The first column of the first row of a statement that returns one number.
    std::int64_t Number(const char* sql, const char* step);
    // Rows the last statement changed; transactions committed so far on this connection.
    std::int64_t Changes() const;
    // The id of the row the last INSERT made.
    std::int64_t LastInsertId() const;
    std::uint64_t Commits() const { return commits_; }

    // Throws the error for result, when it is not success; step names what failed.
    void Check(int result, std::string_view step) const;
    sqlite3* Handle() const { return db_; }

  private:
    void Close();

    sqlite3* db_ = nullptr;
    std::string path_;
    std::uint64_t commits_ = 0;
};

class Statement {
  public:
    Statement(Database& database, const char* sql);
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    ~Statement();

    // Parameters count from 1. Text is bound as it is (copied), never read as SQL.
    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, std::string_view text);
    // True while there is a row to read; false once the statement is done.
    bool Step();
    // Runs a statement that returns no row.
    void Run();
    // Clears the bindings' use, for the next run.
    void Reset();

    std::int64_t Integer(int column) const;
    std::string Text(int column) const;

  private:
    Database& database_;
    sqlite3_stmt* statement_ = nullptr;
};

// BEGIN IMMEDIATE, and ROLLBACK unless Commit was called.
class Transaction {
  public:
    explicit Transaction(Database& database);
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    ~Transaction();
    void Commit();

  private:
    Database& database_;
    bool open_ = true;
};

}  // namespace veltra::sqlite
