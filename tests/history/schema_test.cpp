// The history's tables and their version: a database of version 0 is brought forward, one of a
// later version is left alone.
#include <gtest/gtest.h>

#include "history/history_schema.h"
#include "history/sqlite.h"
#include "tests/history/history_support.h"

namespace veltra::testing {
namespace {

std::int64_t VersionOf(const fs::path& file) {
    sqlite::Database database(file.string());
    return database.Number("PRAGMA user_version", "read the version");
}

TEST(HistorySchema, ADatabaseOfVersionZeroIsBroughtForwardAndKeepsWhatItHeld) {
    HistoryFolder folder;
    {
        // As a database without our tables is: version 0, with something else in it.
        sqlite::Database database(folder.File().string());
        database.Execute("CREATE TABLE notes (text TEXT); INSERT INTO notes VALUES ('kept')",
                         "make an older database");
    }
    ASSERT_EQ(VersionOf(folder.File()), 0);

    HistoryStore store(folder.Path());
    EXPECT_FALSE(store.MovedAside()) << "a database of version 0 is no damage";
    EXPECT_EQ(VersionOf(folder.File()), kHistoryVersion);
    Append(store, {MessageRowSaying("after the migration")});
    const std::vector<HistoryRow> rows = store.Read({});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].text, "after the migration");
    sqlite::Database database(folder.File().string());
    EXPECT_EQ(database.Number("SELECT count(*) FROM notes", "count"), 1);

    // Opened again, nothing is migrated twice.
    HistoryStore again(folder.Path());
    EXPECT_EQ(again.Read({}).size(), 1u);
}

TEST(HistorySchema, ADatabaseOfALaterVersionIsNeitherWrittenNorMovedAside) {
    HistoryFolder folder;
    {
        sqlite::Database database(folder.File().string());
        database.Execute("PRAGMA user_version = 99", "set a later version");
    }
    EXPECT_THROW(HistoryStore store(folder.Path()), NewerHistory);
    EXPECT_EQ(VersionOf(folder.File()), 99);
    EXPECT_TRUE(folder.NamesStartingWith("history.sqlite3.broken").empty());
}

}  // namespace
}  // namespace veltra::testing
