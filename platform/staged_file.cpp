#include "platform/staged_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <system_error>

#include "platform/temporary_record.h"
#include "platform/utf8.h"

namespace veltra::platform {

namespace {

std::atomic<bool> unnamed_refused{false};
std::atomic<bool> splice_refused{false};
std::atomic<bool> descriptor_links_refused_for_tests{false};
// Set once the kernel refused to link a file by its descriptor alone: from then on every unnamed
// file is named through /proc at once.
std::atomic<bool> descriptor_links_refused{false};

// An unnamed file is given a name through its descriptor (linkat with AT_EMPTY_PATH), which the
// kernel allows the file's opener since Linux 6.10 and refuses before without a privilege; then
// through its entry in /proc. Without /proc it could not always be named, so it is not made. The
// folder of entries is opened once: naming through it spares every file the walk of
// "/proc/self/fd", a good part of what an unnamed file costs over a named one.
const OwnedDescriptor& OwnEntries() {
    static const OwnedDescriptor entries(open("/proc/self/fd", O_PATH | O_DIRECTORY | O_CLOEXEC));
    return entries;
}

bool CanNameUnnamedFiles() {
    return OwnEntries().Valid();
}

// Links the unnamed file open at descriptor as name in the folder open at folder: 0, or the errno
// (ENOENT where the kernel refuses).
int LinkByDescriptor(int descriptor, int folder, const char* name) {
    if (descriptor_links_refused_for_tests) {
        return ENOENT;
    }
    return linkat(descriptor, "", folder, name, AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// The errors of O_TMPFILE on a file system (or a kernel) that cannot make unnamed files.
bool UnnamedRefused(int error) {
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

// Tries a few names: a taken one is simply followed by the next.
constexpr int kTemporaryNameTries = 64;

}  // namespace

void RefuseUnnamedFiles(bool refuse) {
    unnamed_refused = refuse;
}

void RefuseSplicedWrites(bool refuse) {
    splice_refused = refuse;
}

void RefuseDescriptorLinks(bool refuse) {
    descriptor_links_refused_for_tests = refuse;
    descriptor_links_refused = false;
}

StagedFile::StagedFile(const Folder& folder) : folder_(folder) {
    const int dir = folder_.Descriptor();
    const int append = splice_refused ? O_APPEND : 0;
    if (!unnamed_refused && CanNameUnnamedFiles()) {
        fd_.Reset(openat(dir, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC | append, 0644));
        if (fd_.Valid()) {
            return;
        }
        if (!UnnamedRefused(errno)) {
            Fail(errno, "cannot create a file in", {});
        }
    }
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        std::string name = NewTemporaryName();
        // Listed before it exists: a crash right after its creation leaves a name the next
        // start knows.
        RememberTemporary(folder_, name);
        fd_.Reset(openat(dir, name.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | append, 0644));
        const int error = errno;
        if (fd_.Valid()) {
            hidden_name_ = std::move(name);
            return;
        }
        ForgetTemporary(folder_, name);
        if (error != EEXIST) {
            Fail(error, "cannot create", name);
        }
    }
    Fail(EEXIST, "no free temporary name in", {});
}

StagedFile::~StagedFile() {
    fd_.Reset();  // the last reference to an unnamed file: its room is free again
    if (placed_ || hidden_name_.empty()) {
        return;
    }
    try {
        unlinkat(folder_.Descriptor(), hidden_name_.c_str(), 0);
        ForgetTemporary(folder_, hidden_name_);
    } catch (...) {
        // A name left listed is removed at the next start.
    }
}

void StagedFile::Write(const void* data, std::size_t size) {
    std::size_t written = 0;
    const int error = WriteFully(fd_.Get(), data, size, written);
    written_ += written;
    if (error != 0) {
        Fail(error, "cannot write to a new file in", {});
    }
}

FileMove StagedFile::Receive(SocketPipe& pipe, const Socket& socket, std::size_t count) {
    const FileMove move = pipe.Move(socket, fd_.Get(), count);
    written_ += move.written;
    return move;
}

bool StagedFile::PlaceIfFree(std::wstring_view name) {
    const std::string host_name = WideToUtf8(name);
    if (Unnamed()) {
        placed_ = LinkUnnamed(host_name);
        return placed_;
    }
    placed_ = RenameHiddenIfFree(host_name);
    if (placed_) {
        ForgetTemporary(folder_, hidden_name_);
    }
    return placed_;
}

void StagedFile::PlaceOver(std::wstring_view name) {
    if (PlaceIfFree(name)) {
        return;
    }
    Sync();
    const int dir = folder_.Descriptor();
    // Only a name can be renamed over another in one step: the unnamed content gets a hidden one
    // for that moment.
    for (int attempt = 0; Unnamed(); ++attempt) {
        if (attempt == kTemporaryNameTries) {
            Fail(EEXIST, "no free temporary name in", {});
        }
        std::string hidden = NewTemporaryName();
        RememberTemporary(folder_, hidden);
        if (LinkUnnamed(hidden)) {
            hidden_name_ = std::move(hidden);
        } else {
            ForgetTemporary(folder_, hidden);
        }
    }
    const std::string host_name = WideToUtf8(name);
    if (renameat(dir, hidden_name_.c_str(), dir, host_name.c_str()) != 0) {
        Fail(errno, "cannot replace", host_name);  // the destructor removes the hidden name
    }
    placed_ = true;
    ForgetTemporary(folder_, hidden_name_);
}

bool StagedFile::LinkUnnamed(const std::string& name) const {
    // linkat never replaces: a name that appeared meanwhile is kept.
    if (!descriptor_links_refused) {
        const int error = LinkByDescriptor(fd_.Get(), folder_.Descriptor(), name.c_str());
        if (error == 0) {
            return true;
        }
        if (error == EEXIST) {
            return false;
        }
        // ENOENT is also a folder removed meanwhile: only a link through /proc that works tells
        // that the kernel refused the descriptor.
        if (error != ENOENT) {
            Fail(error, "cannot name", name);
        }
    }
    char own_entry[16];
    *std::to_chars(own_entry, own_entry + sizeof own_entry - 1, fd_.Get()).ptr = '\0';
    if (linkat(OwnEntries().Get(), own_entry, folder_.Descriptor(), name.c_str(),
               AT_SYMLINK_FOLLOW) == 0) {
        descriptor_links_refused = true;
        return true;
    }
    if (errno != EEXIST) {
        Fail(errno, "cannot name", name);
    }
    return false;
}

bool StagedFile::RenameHiddenIfFree(const std::string& name) const {
    const int dir = folder_.Descriptor();
    const char* hidden = hidden_name_.c_str();
    if (renameat2(dir, hidden, dir, name.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    if (errno != EINVAL) {
        Fail(errno, "cannot rename to", name);
    }
    // The file system takes no flags for a rename: a second link, then the first one's removal,
    // does the same.
    if (linkat(dir, hidden, dir, name.c_str(), 0) == 0) {
        unlinkat(dir, hidden, 0);
        return true;
    }
    if (errno == EEXIST) {
        return false;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) {
        Fail(errno, "cannot link to", name);
    }
    // Nor links (FAT file systems through FUSE, for one): the name is looked at first, and a file
    // that appears between the look and the rename is the one case that is replaced.
    struct stat st {};
    if (fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
        return false;
    }
    if (errno != ENOENT || renameat(dir, hidden, dir, name.c_str()) != 0) {
        Fail(errno, "cannot rename to", name);
    }
    return true;
}

void StagedFile::Sync() const {
    if (fsync(fd_.Get()) != 0) {
        Fail(errno, "cannot write to the disk a new file in", {});
    }
}

void StagedFile::Fail(int error, const std::string& step, const std::string& name) const {
    throw std::system_error(error, std::generic_category(),
                            step + " " + folder_.HostPath() + (name.empty() ? "" : "/" + name));
}

}  // namespace veltra::platform
