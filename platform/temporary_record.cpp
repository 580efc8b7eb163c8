#include "platform/temporary_record.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/data_folder.h"
#include "platform/owned_descriptor.h"

namespace veltra::platform {

namespace {

constexpr std::string_view kPrefix = ".veltra-";
constexpr std::size_t kHexDigits = 16;
// A record is a few entries long; anything beyond this is not one of ours.
constexpr std::size_t kMaxRecordBytes = 1 << 20;

struct Listed {
    std::string folder;  // absolute host path
    std::string name;
    bool operator==(const Listed&) const = default;
};

// What the record is to hold, and the lock that orders every change of it.
struct Temporaries {
    std::mutex mutex;
    std::vector<Listed> live;  // this process's, which exist
    // What the record listed when this process first wrote to it, until it is cleaned up: a
    // process that writes temporaries before that keeps a crash's list rather than losing it.
    std::vector<Listed> inherited;
    std::string record;  // the record the list inherited is from
};

Temporaries& State() {
    static Temporaries temporaries;
    return temporaries;
}

// The folder's absolute path, as a later process can find it again.
std::string AbsolutePathOf(const Folder& folder) {
    if (!folder.HostPath().empty() && folder.HostPath().front() == '/') {
        return folder.HostPath();
    }
    char link[32];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", folder.Descriptor());
    std::vector<char> target(PATH_MAX);
    const ssize_t length = readlink(link, target.data(), target.size());
    return length > 0 ? std::string(target.data(), static_cast<std::size_t>(length))
                      : folder.HostPath();
}

std::optional<std::string> RecordPath(MissingFolder missing) {
    const std::optional<Path> folder = UserDataFolder(missing);
    if (!folder) {
        return std::nullopt;
    }
    return folder->Host() + "/temporaries";
}

// The record holds entries, or is gone when there are none. A new record is written beside the old
// one and renamed over it, so that a crash while writing leaves one or the other whole.
void WriteRecord(const std::string& record, const std::vector<Listed>& entries) {
    if (entries.empty()) {
        unlink(record.c_str());
        return;
    }
    std::string text;
    for (const Listed& entry : entries) {
        text.append(entry.folder).push_back('\0');
        text.append(entry.name).push_back('\0');
    }
    const std::string draft = record + ".new";
    OwnedDescriptor fd(
        open(draft.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.Valid()) {
        return;
    }
    std::size_t written_bytes = 0;
    const bool written = WriteFully(fd.Get(), text.data(), text.size(), written_bytes) == 0;
    fd.Reset();
    if (!written || rename(draft.c_str(), record.c_str()) != 0) {
        unlink(draft.c_str());
    }
}

std::vector<Listed> ReadRecord(const std::string& record) {
    std::vector<Listed> entries;
    OwnedDescriptor fd(open(record.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.Valid()) {
        return entries;
    }
    std::string text;
    char buffer[4096];
    for (ssize_t got;
         text.size() < kMaxRecordBytes && (got = read(fd.Get(), buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    std::vector<std::string> fields;
    for (std::size_t start = 0, end; (end = text.find('\0', start)) != std::string::npos;
         start = end + 1) {
        fields.push_back(text.substr(start, end - start));
    }
    for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
        entries.push_back({std::move(fields[i]), std::move(fields[i + 1])});
    }
    return entries;
}

}  // namespace

std::string NewTemporaryName() {
    // The process, a counter and the clock, mixed by splitmix64's finaliser, so that neighbouring
    // values give unrelated names.
    static std::atomic<uint64_t> counter{0};
    uint64_t value =
        (static_cast<uint64_t>(getpid()) << 32) ^ counter.fetch_add(1) ^
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    value ^= value >> 31;
    char name[32];
    std::snprintf(name, sizeof name, ".veltra-%016llx", static_cast<unsigned long long>(value));
    return name;
}

bool IsTemporaryName(std::string_view name) {
    if (name.size() != kPrefix.size() + kHexDigits || !name.starts_with(kPrefix)) {
        return false;
    }
    return std::all_of(name.begin() + kPrefix.size(), name.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

namespace {

// Writes what the record is to hold now: what it listed before this process took it over (see
// Temporaries::inherited), and this process's temporaries.
void Update(Temporaries& state, MissingFolder missing) {
    const std::optional<std::string> record = RecordPath(missing);
    if (!record) {
        return;
    }
    if (*record != state.record) {
        state.record = *record;
        state.inherited = ReadRecord(*record);
        std::erase_if(state.inherited, [&state](const Listed& entry) {
            return std::find(state.live.begin(), state.live.end(), entry) != state.live.end();
        });
    }
    std::vector<Listed> entries = state.inherited;
    entries.insert(entries.end(), state.live.begin(), state.live.end());
    WriteRecord(*record, entries);
}

}  // namespace

void RememberTemporary(const Folder& folder, const std::string& name) {
    Listed entry{AbsolutePathOf(folder), name};
    Temporaries& state = State();
    std::lock_guard lock(state.mutex);
    state.live.push_back(std::move(entry));
    Update(state, MissingFolder::kMake);
}

void ForgetTemporary(const Folder& folder, const std::string& name) {
    const Listed entry{AbsolutePathOf(folder), name};
    Temporaries& state = State();
    std::lock_guard lock(state.mutex);
    const auto found = std::find(state.live.begin(), state.live.end(), entry);
    if (found == state.live.end()) {
        return;
    }
    state.live.erase(found);
    Update(state, MissingFolder::kLeave);
}

std::size_t RemoveLeftoverTemporaries() {
    Temporaries& state = State();
    std::lock_guard lock(state.mutex);
    const std::optional<std::string> record = RecordPath(MissingFolder::kLeave);
    if (!record) {
        return 0;
    }
    std::size_t removed = 0;
    for (const Listed& entry : ReadRecord(*record)) {
        if (!IsTemporaryName(entry.name) || entry.folder.empty() || entry.folder.front() != '/' ||
            std::find(state.live.begin(), state.live.end(), entry) != state.live.end()) {
            continue;
        }
        const OwnedDescriptor folder(
            open(entry.folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (folder.Valid() && unlinkat(folder.Get(), entry.name.c_str(), 0) == 0) {
            ++removed;
        }
    }
    state.record = *record;
    state.inherited.clear();
    WriteRecord(*record, state.live);
    return removed;
}

}  // namespace veltra::platform
