#pragma once
// Where the bytes of a received file go while they arrive, and what becomes of them at the end.
// A free name is written directly (the common case costs nothing extra). A taken name is written
// beside it under a hidden temporary name and replaced only once the file is whole, so a failure
// never destroys what was there, and the rename replaces a link itself, never what it leads to.
// A file that fails never keeps the real name: it is kept under a name for partial files, so the
// user can see what arrived, or removed when nothing arrived.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/folder.h"

namespace veltra {

class ReceivedFile {
  public:
    // Creates the file that is to become name in folder, which is to outlive it. Throws
    // std::system_error with the errno when no file can be created there.
    ReceivedFile(const platform::Folder& folder, std::wstring_view name);
    // Abandons a file that was neither committed nor abandoned, keeping nothing.
    ~ReceivedFile();
    ReceivedFile(const ReceivedFile&) = delete;
    ReceivedFile& operator=(const ReceivedFile&) = delete;

    // Throws std::system_error with the errno (ENOSPC, ...) when the bytes cannot be written.
    void Write(const char* data, std::size_t size);
    // Closes the file and gives it its name. Throws std::system_error when it cannot have it;
    // the file is then still to be abandoned.
    void Commit();
    // Closes the file and renames it to partial_name (in the same folder, replacing what is
    // there), or removes it when partial_name is empty, nothing was written, or the rename fails.
    void Abandon(std::wstring_view partial_name);

  private:
    const platform::Folder& folder_;
    std::wstring name_;
    std::wstring written_name_;  // name_, or the temporary name the bytes go to
    std::optional<platform::File> file_;
    std::uint64_t written_ = 0;
    bool settled_ = false;
};

}  // namespace veltra
