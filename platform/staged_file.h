#pragma once
// A file being written that is to take a name only once it is whole. It is made without a name in
// its folder (O_TMPFILE), so a failure or a crash, even kill -9, leaves nothing behind, and a
// failed file's room on the disk is free again the moment it is given up. Where the folder's file
// system cannot hold a file without a name, it is written under a hidden temporary name instead,
// which the record of temporaries lists while it exists (see temporary_record.h).

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/folder.h"
#include "platform/owned_descriptor.h"
#include "platform/socket.h"
#include "platform/socket_pipe.h"

namespace veltra::platform {

class StagedFile {
  public:
    // A new empty file in folder, which is to outlive it; mode 0644 less the umask. Throws
    // std::system_error with the errno (ENOSPC, ENOENT, or the folder's own, see Folder).
    explicit StagedFile(const Folder& folder);
    // Gives the content up unless it was placed: nothing of it is left.
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Writes every byte; throws std::system_error with the errno (ENOSPC, ...) when that fails.
    void Write(const void* data, std::size_t size);
    // Takes up to count bytes from socket through pipe straight into the file (see SocketPipe);
    // a failed write is told in the result, not thrown.
    FileMove Receive(SocketPipe& pipe, const Socket& socket, std::size_t count);
    // The bytes written, those of a write that failed part of the way included.
    std::uint64_t Written() const { return written_; }

    // Gives the content the name when nothing has that name (a dangling symbolic link counts as
    // something), and true. False when the name is taken: the content stays, for another name.
    // Throws std::system_error with the errno for any other failure.
    bool PlaceIfFree(std::wstring_view name);
    // Gives the content the name; what had the name (a symbolic or hard link itself, never what it
    // leads to) is replaced only once the content is on the disk, so that even a power cut leaves
    // the old content or the new. Throws std::system_error with the errno.
    void PlaceOver(std::wstring_view name);

    // Whether the content has no name while it is written (false where the file system refuses).
    bool Unnamed() const { return hidden_name_.empty(); }

  private:
    // Links the unnamed content as name in the folder; false when the name is taken.
    bool LinkUnnamed(const std::string& name) const;
    bool RenameHiddenIfFree(const std::string& name) const;
    // Writes the content to the disk (fsync).
    void Sync() const;
    [[noreturn]] void Fail(int error, const std::string& step, const std::string& name) const;

    const Folder& folder_;
    OwnedDescriptor fd_;
    std::string hidden_name_;  // the temporary name where the content has one, else empty
    std::uint64_t written_ = 0;
    bool placed_ = false;
};

// For tests: every StagedFile made from now on acts as on a file system that refuses files without
// a name (true), or as the file system allows (false, the default).
void RefuseUnnamedFiles(bool refuse);
// For tests: every StagedFile made from now on is opened for appending, which takes no splice, as
// on a file system that has none (true), or as usual (false, the default).
void RefuseSplicedWrites(bool refuse);
// For tests: every unnamed file placed from now on is named as on a kernel that refuses to link a
// file by its descriptor (before Linux 6.10, without a privilege), through /proc (true), or as the
// kernel allows (false, the default).
void RefuseDescriptorLinks(bool refuse);

}  // namespace veltra::platform
