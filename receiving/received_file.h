#pragma once
// A received file while it arrives, and the name it is stored under once it is whole. Until then
// it has no name (see platform::StagedFile), so a failure, or a crash, leaves nothing behind and
// never touches a file the user has. Only the name the sender offered may replace an existing
// file; a name the receiver makes up ("a (2).txt", for a second file of one name in a batch) is
// taken only where it is free, on the disk and in the batch.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/folder.h"
#include "platform/staged_file.h"
#include "receiving/download_context.h"

namespace veltra {

class ReceivedFile {
  public:
    // Starts the file offered as name (one path component) in folder; both context and folder are
    // to outlive it. Throws std::system_error with the errno when no file can be made there.
    ReceivedFile(DownloadContext& context, const platform::Folder& folder,
                 std::wstring_view offered);

    // Throws std::system_error with the errno (ENOSPC, ...) when the bytes cannot be written.
    void Write(const char* data, std::size_t size) { file_.Write(data, size); }
    // Takes up to count bytes from socket straight into the file (see platform::SocketPipe); a
    // failed write is told in the result.
    platform::FileMove Receive(platform::SocketPipe& pipe, const platform::Socket& socket,
                               std::size_t count) {
        return file_.Receive(pipe, socket, count);
    }
    // The bytes written, those of a write that failed part of the way included.
    std::uint64_t Written() const { return file_.Written(); }

    // Gives the whole file its name, which the batch remembers, and returns it: the offered one,
    // replacing a file of that name, unless the batch has stored a file there already; then the
    // first numbered one ("a (2).txt", "a (3).txt", ...) that neither the batch nor the disk has.
    // Throws std::system_error with the errno when it cannot have one; the file is then dropped
    // with this object.
    std::wstring Store();

  private:
    DownloadContext& context_;
    const platform::Folder& folder_;
    std::wstring offered_;
    platform::StagedFile file_;
};

}  // namespace veltra
