#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/folder.h"
#include "platform/io_result.h"
#include "platform/owned_descriptor.h"
#include "platform/path.h"

namespace veltra::platform {

// Attribute bits in the device's numbering. Names beginning with '.' count as hidden.
inline constexpr uint32_t kAttributeHidden = 0x02;
inline constexpr uint32_t kAttributeDirectory = 0x10;

// The longest name of one folder entry that the host's file systems take, in bytes of UTF-8.
inline constexpr size_t kMaxHostNameBytes = 255;

// Whether a name on the host's file systems may hold ':'. The handheld's may not, which is why its
// side stores the ':' that a peer writes as "::" as ';'; here the name keeps its ':'.
inline constexpr bool kNamesMayHoldColon = true;

struct FileInfo {
    uint32_t attributes = 0;
    // 100 ns intervals since 1601-01-01 (UTC): the birth time where the file system keeps one,
    // else the last status change.
    uint64_t creation_time = 0;
    uint64_t size = 0;  // 0 for directories
};

struct DirectoryEntry {
    // The name as wide text, made when asked: sending a folder takes the wire's name from
    // host_name straight away (HostNameToWireCodePage), and most entries need no other.
    std::wstring Name() const;
    uint32_t attributes = 0;
    // A regular file's size where the listing had to look at the file (a symbolic link's target,
    // a file system whose listing gives no types); nothing where it did not, for the file's
    // reader to take from the open file (File::OpenedSize). 0 for anything else.
    std::optional<uint64_t> size = 0;
    bool is_symlink = false;
    // The name as the listing gave it (UTF-8 on this host), for opening it within the listing.
    std::string host_name;
};

// Which file a descriptor holds: the same device and inode is the same file, whatever path led
// to it, so a path examined once can be told apart from whatever has taken its place since.
struct FileIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const FileIdentity& other) const = default;
};

// Files are held without sharing by default: while one File holds a regular file exclusively, a
// second exclusive open of it fails (within this process too), as a transfer in progress expects.
// The lock is advisory (flock), so other programs are not kept out.
enum class Sharing { kExclusive, kShared };

class File {
  public:
    // Opens an existing regular file or directory (a directory only for Query). Anything else -
    // a missing path, a FIFO, a device, a file held exclusively - gives nothing. Symbolic links
    // are followed: the path was named by the user.
    static std::optional<File> OpenForRead(const Path& path, Sharing sharing = Sharing::kExclusive);
    // (Files are written as a StagedFile, see staged_file.h.)

    File(File&& other) noexcept = default;
    File& operator=(File&& other) noexcept = default;

    // One read into size (more than 0) bytes: kMoved, kEnd at the end of the file, kFailed with
    // the errno (EISDIR for a directory, EIO, ...).
    IoResult Read(void* buffer, size_t size);
    std::optional<FileInfo> Query() const;
    // The size of a file that OpenForRead opened, as it was then .
    uint64_t OpenedSize() const { return opened_size_; }
    // The open descriptor, for handing the content to a socket (Socket::SendFile).
    int Descriptor() const { return fd_.Get(); }
    // The file held open; nothing only when the system cannot tell.
    std::optional<FileIdentity> Identity() const;
    // Holds a file opened shared without sharing from now on, once it is known to be the file
    // wanted; false when another holds it so.
    bool HoldExclusively();

  private:
    friend class DirectorySearch;
    File(int fd, bool hidden, uint64_t opened_size = 0)
        : fd_(fd), hidden_(hidden), opened_size_(opened_size) {}

    OwnedDescriptor fd_;  // closing it also releases the flock
    bool hidden_ = false;
    uint64_t opened_size_ = 0;
};

struct OpenedEntry;

// The entries of one directory, "." and ".." left out, in ascending order of their host names (so
// a listing is the same on every run). Only regular files, directories and symbolic links are
// listed. A symbolic link is never reported as a directory, whatever it points to, so a walk over
// the tree cannot follow it: it comes with is_symlink set, without kAttributeDirectory, and with
// the size of its target when that is a regular file (0 otherwise).
class DirectorySearch {
  public:
    // Symbolic links in directory are followed: the path was named by the user.
    static std::optional<DirectorySearch> Open(const Path& directory);

    DirectorySearch(DirectorySearch&& other) noexcept = default;
    DirectorySearch& operator=(DirectorySearch&& other) noexcept = default;

    // The next entry; nothing once the listing is done. Entries removed since Open are skipped
    // where the entry had to be looked at; a file or folder whose type the listing gave is
    // reported, and its reader finds it gone.
    std::optional<DirectoryEntry> Next();
    // Opens an entry that Next reported by its name within the listed folder, never through a
    // symbolic link: the folder may have changed since it was listed, and a file or folder
    // swapped for a link then opens as nothing but kLink. A regular file is held as sharing asks.
    OpenedEntry OpenEntry(const DirectoryEntry& entry, Sharing sharing = Sharing::kExclusive) const;
    // Opens the regular file an entry leads to, following a symbolic link, and shared: whoever
    // follows a link judges first where the file lies (ResolvedPath of the file), and only then
    // holds it (File::HoldExclusively). Nothing for a folder or anything else.
    std::optional<File> OpenFollowingLink(const DirectoryEntry& entry) const;
    // The folder listed; nothing only when the system cannot tell.
    std::optional<FileIdentity> Identity() const;
    // The open descriptor of the folder listed, for asking where it lies (ResolvedPath).
    int Descriptor() const { return fd_.Get(); }

  private:
    // Lists the folder open as fd.
    static std::optional<DirectorySearch> List(OwnedDescriptor fd);

    // A name and its type as the listing gave it (d_type).
    struct Listed {
        std::string name;
        unsigned char type;
    };
    DirectorySearch(OwnedDescriptor fd, std::vector<Listed> names)
        : fd_(std::move(fd)), names_(std::move(names)) {}

    OwnedDescriptor fd_;
    std::vector<Listed> names_;
    size_t next_ = 0;
};

// What a listed entry turned out to be when it was opened.
struct OpenedEntry {
    enum class Kind { kGone, kFile, kFolder, kLink, kOther };
    Kind kind = Kind::kGone;
    // kFile: the file, held as asked; nothing when it cannot be read, or another holds it.
    std::optional<File> file;
    // kFile: its size, also when it could not be opened.
    uint64_t size = 0;
    // kFolder: its listing; nothing when it cannot be read.
    std::optional<DirectorySearch> folder;
};

// mkdir with mode 0755: false when it fails, also when the name exists already.
bool CreateFolder(const Path& path);

// Information about the path, following symbolic links (as a path the user names should be).
std::optional<FileInfo> QueryPath(const Path& path);

}  // namespace veltra::platform
