#pragma once
// What the history's tests share: a database file in a folder of the test's own, rows to write,
// and the bytes and mode of the files on the disk.

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "history/history_row.h"
#include "history/history_store.h"
#include "platform/path.h"
#include "tests/platform/temp_folder.h"

namespace veltra::testing {

namespace fs = std::filesystem;

class HistoryFolder {
  public:
    fs::path File() const { return temp_.path() / "history.sqlite3"; }
    platform::Path Path() const { return platform::Path::FromHost(File().string()); }
    const fs::path& Folder() const { return temp_.path(); }
    // The names in the folder that start with prefix, sorted.
    std::vector<std::string> NamesStartingWith(const std::string& prefix) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(temp_.path())) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) == 0) {
                names.push_back(name);
            }
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    TempFolder temp_;
};

inline HistoryRow MessageRowSaying(std::string text, std::int64_t time_ms = 1000) {
    HistoryRow row;
    row.time_ms = time_ms;
    row.kind = HistoryKind::kMessageReceived;
    row.peer_name = "alice";
    row.address = "10.0.0.7";
    row.host = "desk";
    row.text = std::move(text);
    return row;
}

// A received entry stored whole at stored_path, from bob (10.0.0.5, pc2).
inline HistoryRow ReceivedEntryStoredAt(std::string name, std::string stored_path,
                                        std::int64_t time_ms) {
    HistoryRow row;
    row.time_ms = time_ms;
    row.kind = HistoryKind::kEntryReceived;
    row.peer_name = "bob";
    row.address = "10.0.0.5";
    row.host = "pc2";
    row.name = std::move(name);
    row.outcome = std::string(outcome::kStored);
    row.stored_path = std::move(stored_path);
    return row;
}

inline void Append(HistoryStore& store, const std::vector<HistoryRow>& rows) {
    HistoryStore::Batch batch = store.Begin();
    for (const HistoryRow& row : rows) {
        batch.Append(row);
    }
    batch.Commit();
}

inline std::vector<std::string> Texts(const std::vector<HistoryRow>& rows) {
    std::vector<std::string> texts;
    for (const HistoryRow& row : rows) {
        texts.push_back(row.text);
    }
    return texts;
}

inline unsigned ModeOf(const fs::path& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

}  // namespace veltra::testing
