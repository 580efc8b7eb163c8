#pragma once
// A folder held open, so that the files received into it are created, named and replaced by
// their names relative to it: one walk of the folder's path, not one per file.

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/owned_descriptor.h"
#include "platform/path.h"

namespace veltra::platform {

// Whether a symbolic link as the folder's last component is followed: yes for a folder the user
// chose, never for one that a peer's stream names.
enum class LastLink { kFollow, kRefuse };

class Folder {
  public:
    // Opens path. A folder that cannot be opened keeps the errno
    // (ELOOP for a link refused): every use of it then throws std::system_error with that errno.
    static Folder Open(const Path& path, LastLink link);

    Folder(Folder&& other) noexcept;
    Folder& operator=(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder();

    // 0 when the folder is open, else why it is not.
    int Error() const { return error_; }
    // The descriptor that names are relative to; throws std::system_error when it is not open.
    int Descriptor() const;
    // The folder's host path, for messages.
    const std::string& HostPath() const { return host_path_; }
    // The host path hashed, once for the folder rather than once for every file that is keyed by
    // its folder and name.
    std::size_t PathHash() const { return path_hash_; }

  private:
    Folder(int fd, int error, std::string host_path);

    OwnedDescriptor fd_;
    int error_ = 0;
    std::string host_path_;
    std::size_t path_hash_ = 0;
};

}  // namespace veltra::platform
