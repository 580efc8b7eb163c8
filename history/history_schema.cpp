#include "history/history_schema.h"

#include <string>

namespace veltra {

namespace {

// Step n takes a database from version n to n + 1. A step once released is never changed: a
// later change of the tables is a step of its own.
constexpr const char* kSteps[] = {
    // 0 -> 1: one table for every kind of row, in the order written.
    "CREATE TABLE history ("
    " id INTEGER PRIMARY KEY,"
    " time INTEGER NOT NULL,"
    " kind TEXT NOT NULL,"
    " peer_name TEXT NOT NULL DEFAULT '',"
    " address TEXT NOT NULL DEFAULT '',"
    " host TEXT NOT NULL DEFAULT '',"
    " text TEXT NOT NULL DEFAULT '',"
    " name TEXT NOT NULL DEFAULT '',"
    " folder INTEGER NOT NULL DEFAULT 0,"
    " size INTEGER NOT NULL DEFAULT 0,"
    " outcome TEXT NOT NULL DEFAULT '',"
    " reason TEXT NOT NULL DEFAULT '',"
    " stored_path TEXT NOT NULL DEFAULT '',"
    " count INTEGER NOT NULL DEFAULT 0,"
    " failed INTEGER NOT NULL DEFAULT 0)",
};
static_assert(std::size(kSteps) == kHistoryVersion);

}  // namespace

void MigrateHistory(sqlite::Database& database) {
    for (;;) {
        sqlite::Transaction transaction(database);
        const std::int64_t version = database.Number("PRAGMA user_version", "read the version");
        if (version > kHistoryVersion) {
            throw NewerHistory("the history was written by a newer version of Veltra (version " +
                               std::to_string(version) + ")");
        }
        if (version == kHistoryVersion) {
            return;  // the transaction only read
        }
        database.Execute(kSteps[version], "bring the tables forward");
        const std::string set_version = "PRAGMA user_version = " + std::to_string(version + 1);
        database.Execute(set_version.c_str(), "set the version");
        transaction.Commit();
    }
}

}  // namespace veltra
