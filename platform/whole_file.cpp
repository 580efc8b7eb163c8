#include "platform/whole_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "platform/owned_descriptor.h"
#include "platform/temporary_record.h"

namespace veltra::platform {

namespace {

[[noreturn]] void ThrowErrno(const std::string& what) {
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

std::optional<std::string> ReadWholeFile(const Path& path) {
    const int descriptor = open(path.Host().c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        if (errno == ENOENT) {
            return std::nullopt;
        }
        ThrowErrno("cannot open " + path.Host());
    }
    const OwnedDescriptor file(descriptor);
    std::string bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t count = read(descriptor, chunk, sizeof chunk);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            ThrowErrno("cannot read " + path.Host());
        }
        if (count == 0) {
            return bytes;
        }
        bytes.append(chunk, static_cast<std::size_t>(count));
    }
}

void ReplaceWholeFile(const Path& path, std::string_view bytes) {
    const std::string temporary = path.Parent().Host() + "/" + NewTemporaryName();
    const int descriptor =
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (descriptor < 0) {
        ThrowErrno("cannot create a file beside " + path.Host());
    }
    try {
        const OwnedDescriptor file(descriptor);
        std::size_t written = 0;
        if (const int error = WriteFully(descriptor, bytes.data(), bytes.size(), written);
            error != 0) {
            errno = error;
            ThrowErrno("cannot write " + temporary);
        }
        if (fsync(descriptor) != 0) {
            ThrowErrno("cannot flush " + temporary);
        }
        if (rename(temporary.c_str(), path.Host().c_str()) != 0) {
            ThrowErrno("cannot rename " + temporary + " to " + path.Host());
        }
    } catch (...) {
        unlink(temporary.c_str());
        throw;
    }
}

}  // namespace veltra::platform
