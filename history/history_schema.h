#pragma once
// The history's tables, versioned by PRAGMA user_version: a database of an older version is
// brought forward one step at a time, each step in the transaction that sets its version.

#include <stdexcept>

#include "history/sqlite.h"

namespace veltra {

// The version this program writes.
inline constexpr int kHistoryVersion = 1;

// A database written by a later version of the program: left as it is, not written to.
class NewerHistory : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Brings database to kHistoryVersion (from 0, a new file, on). Throws NewerHistory for a
// database of a later version, std::system_error when a step fails.
void MigrateHistory(sqlite::Database& database);

}  // namespace veltra
