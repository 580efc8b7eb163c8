#include "platform/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/utf8.h"

namespace veltra::platform {

namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr uint64_t kEpochDifference = 11644473600ULL;

uint64_t ToFileTime(int64_t seconds, uint32_t nanoseconds) {
    return (static_cast<uint64_t>(seconds) + kEpochDifference) * 10000000ULL + nanoseconds / 100;
}

bool IsHiddenName(std::string_view name) {
    return !name.empty() && name.front() == '.';
}

bool IsHiddenPath(const Path& path) {
    const std::wstring name = path.FileName();
    return !name.empty() && name.front() == L'.' && name != L"." && name != L"..";
}

// statx reports the birth time where the file system keeps it; fall back to stat elsewhere.
std::optional<FileInfo> Stat(int dir_fd, const char* path, int flags, bool hidden) {
    FileInfo info;
    bool directory = false;
    struct statx sx {};
    if (statx(dir_fd, path, flags, STATX_TYPE | STATX_SIZE | STATX_CTIME | STATX_BTIME, &sx) == 0) {
        directory = S_ISDIR(sx.stx_mode);
        info.size = sx.stx_size;
        const statx_timestamp& time = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_ctime;
        info.creation_time = ToFileTime(time.tv_sec, time.tv_nsec);
    } else if (errno != ENOSYS) {
        return std::nullopt;
    } else {
        struct stat st {};
        const int result = (flags & AT_EMPTY_PATH) ? fstat(dir_fd, &st) : stat(path, &st);
        if (result != 0) {
            return std::nullopt;
        }
        directory = S_ISDIR(st.st_mode);
        info.size = static_cast<uint64_t>(st.st_size);
        info.creation_time =
            ToFileTime(st.st_ctim.tv_sec, static_cast<uint32_t>(st.st_ctim.tv_nsec));
    }
    if (directory) {
        info.attributes |= kAttributeDirectory;
        info.size = 0;
    }
    if (hidden) {
        info.attributes |= kAttributeHidden;
    }
    return info;
}

// What the kernel reads ahead of a sequential reader without being told.
constexpr uint64_t kReadAheadBytes = 128 * 1024;

bool HoldExclusive(int fd) {
    return flock(fd, LOCK_EX | LOCK_NB) == 0;
}

// A file read from start to end is advised as such when it is larger than the kernel's own
// read-ahead (within it a small file gains nothing from the advice).
void AdviseSequential(int fd, uint64_t size) {
    if (size > kReadAheadBytes) {
        posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
}

// Opens for reading with O_NONBLOCK so that a FIFO cannot hang the caller, then keeps only the
// kinds wanted.
int OpenForReading(int dir_fd, const std::string& host_path, bool allow_directory, Sharing sharing,
                   uint64_t& size) {
    const int fd = openat(dir_fd, host_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return -1;
    }
    struct stat st {};
    const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    size = regular ? static_cast<uint64_t>(st.st_size) : 0;
    const bool directory = !regular && allow_directory && S_ISDIR(st.st_mode);
    const bool locked = !regular || sharing == Sharing::kShared || HoldExclusive(fd);
    if ((!regular && !directory) || !locked) {
        close(fd);
        return -1;
    }
    AdviseSequential(fd, size);
    return fd;
}

std::optional<FileIdentity> IdentityOf(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        return std::nullopt;
    }
    return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

}  // namespace

std::wstring DirectoryEntry::Name() const {
    return Utf8ToWide(host_name);
}

std::optional<File> File::OpenForRead(const Path& path, Sharing sharing) {
    const std::string& host_path = path.Host();
    uint64_t size = 0;
    const int fd = OpenForReading(AT_FDCWD, host_path, true, sharing, size);
    if (fd < 0) {
        return std::nullopt;
    }
    return File(fd, IsHiddenPath(path), size);
}

IoResult File::Read(void* buffer, size_t size) {
    for (;;) {
        const ssize_t result = read(fd_.Get(), buffer, size);
        if (result > 0) {
            return IoResult{static_cast<size_t>(result)};
        }
        if (result == 0) {
            return IoResult{0, IoStatus::kEnd};
        }
        if (errno != EINTR) {
            return IoResult{0, IoStatus::kFailed, errno};
        }
    }
}

std::optional<FileInfo> File::Query() const {
    return Stat(fd_.Get(), "", AT_EMPTY_PATH, hidden_);
}

std::optional<FileIdentity> File::Identity() const {
    return IdentityOf(fd_.Get());
}

bool File::HoldExclusively() {
    return HoldExclusive(fd_.Get());
}

std::optional<DirectorySearch> DirectorySearch::Open(const Path& directory) {
    OwnedDescriptor fd(open(directory.Host().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!fd.Valid()) {
        return std::nullopt;
    }
    return List(std::move(fd));
}

std::optional<DirectorySearch> DirectorySearch::List(OwnedDescriptor fd) {
    // fdopendir takes over the descriptor it is given; ours stays open for fstatat.
    const int list_fd = dup(fd.Get());
    DirectorySearch search(std::move(fd), {});
    DIR* dir = list_fd < 0 ? nullptr : fdopendir(list_fd);
    if (!dir) {
        if (list_fd >= 0) {
            close(list_fd);
        }
        return std::nullopt;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") {
            search.names_.push_back({std::string(name), entry->d_type});
        }
    }
    closedir(dir);
    std::sort(search.names_.begin(), search.names_.end(),
              [](const Listed& a, const Listed& b) { return a.name < b.name; });
    return search;
}

OpenedEntry DirectorySearch::OpenEntry(const DirectoryEntry& entry, Sharing sharing) const {
    const char* name = entry.host_name.c_str();
    OpenedEntry opened;
    OwnedDescriptor fd(openat(fd_.Get(), name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW));
    struct stat st {};
    if (!fd.Valid()) {
        if (errno == ELOOP) {
            opened.kind = OpenedEntry::Kind::kLink;
            return opened;
        }
        // Unreadable, or gone: the entry itself tells which, and a file its size.
        if (fstatat(fd_.Get(), name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
            return opened;
        }
    } else if (fstat(fd.Get(), &st) != 0) {
        opened.kind = OpenedEntry::Kind::kOther;
        return opened;
    }
    if (S_ISREG(st.st_mode)) {
        opened.kind = OpenedEntry::Kind::kFile;
        opened.size = static_cast<uint64_t>(st.st_size);
        if (fd.Valid() && (sharing == Sharing::kShared || HoldExclusive(fd.Get()))) {
            AdviseSequential(fd.Get(), opened.size);
            opened.file = File(fd.Release(), IsHiddenName(entry.host_name), opened.size);
        }
    } else if (S_ISDIR(st.st_mode)) {
        opened.kind = OpenedEntry::Kind::kFolder;
        if (fd.Valid()) {
            opened.folder = List(std::move(fd));
        }
    } else {
        opened.kind = S_ISLNK(st.st_mode) ? OpenedEntry::Kind::kLink : OpenedEntry::Kind::kOther;
    }
    return opened;
}

std::optional<File> DirectorySearch::OpenFollowingLink(const DirectoryEntry& entry) const {
    uint64_t size = 0;
    const int fd = OpenForReading(fd_.Get(), entry.host_name, false, Sharing::kShared, size);
    if (fd < 0) {
        return std::nullopt;
    }
    return File(fd, IsHiddenName(entry.host_name), size);
}

std::optional<FileIdentity> DirectorySearch::Identity() const {
    return IdentityOf(fd_.Get());
}

std::optional<DirectoryEntry> DirectorySearch::Next() {
    while (next_ < names_.size()) {
        const auto& [name, listed_type] = names_[next_++];
        DirectoryEntry entry;
        entry.host_name = name;
        if (IsHiddenName(name)) {
            entry.attributes |= kAttributeHidden;
        }
        // The listing's type spares a stat for every file and folder; only a link, or a file
        // system that gives no types, is looked at.
        unsigned char type = listed_type;
        struct stat st {};
        if (type == DT_UNKNOWN) {
            if (fstatat(fd_.Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                continue;
            }
            type = S_ISDIR(st.st_mode)   ? DT_DIR
                   : S_ISREG(st.st_mode) ? DT_REG
                   : S_ISLNK(st.st_mode) ? DT_LNK
                                         : DT_UNKNOWN;
            entry.size = static_cast<uint64_t>(st.st_size);
        } else if (type == DT_REG) {
            entry.size = std::nullopt;
        }
        if (type == DT_DIR) {
            entry.attributes |= kAttributeDirectory;
            entry.size = 0;
        } else if (type == DT_LNK) {
            entry.is_symlink = true;
            struct stat target {};
            entry.size =
                fstatat(fd_.Get(), name.c_str(), &target, 0) == 0 && S_ISREG(target.st_mode)
                    ? static_cast<uint64_t>(target.st_size)
                    : 0;
        } else if (type != DT_REG) {
            continue;
        }
        return entry;
    }
    return std::nullopt;
}

bool CreateFolder(const Path& path) {
    return mkdir(path.Host().c_str(), 0755) == 0;
}

std::optional<FileInfo> QueryPath(const Path& path) {
    return Stat(AT_FDCWD, path.Host().c_str(), 0, IsHiddenPath(path));
}

}  // namespace veltra::platform
