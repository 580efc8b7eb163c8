#include "serving/file_content.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

#include "platform/file.h"

namespace veltra {
namespace {

// Bytes handed to the kernel per call when the file goes straight from the file cache.
constexpr std::size_t kDirectChunk = std::size_t{1} << 20;
// Buffer for files that must be read and sent by hand.
constexpr std::size_t kBufferSize = 64 * 1024;

enum class Outcome { kFileDone, kReadFailed, kConnectionFailed };

Outcome StreamFile(const platform::Socket& connection, platform::File& file,
                   std::uint64_t& remaining) {
    bool direct = true;
    std::unique_ptr<char[]> buffer;
    while (remaining > 0) {
        if (direct) {
            const platform::IoResult sent = connection.SendFile(
                file.Descriptor(),
                static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kDirectChunk)));
            switch (sent.status) {
                case platform::IoStatus::kMoved:
                    remaining -= sent.bytes;
                    continue;
                case platform::IoStatus::kEnd:
                    return Outcome::kFileDone;
                case platform::IoStatus::kTimedOut:
                case platform::IoStatus::kFailed:
                    return Outcome::kConnectionFailed;
                case platform::IoStatus::kNotDirect:
                    break;
            }
            // This file cannot go directly; the file position is where the last call left it.
            direct = false;
            buffer = std::make_unique<char[]>(kBufferSize);
        }
        const platform::IoResult got =
            file.Read(buffer.get(),
                      static_cast<std::size_t>(std::min<std::uint64_t>(remaining, kBufferSize)));
        if (!got.Moved()) {
            return got.status == platform::IoStatus::kEnd ? Outcome::kFileDone
                                                          : Outcome::kReadFailed;
        }
        if (!connection.SendAll(buffer.get(), got.bytes)) {
            return Outcome::kConnectionFailed;
        }
        remaining -= got.bytes;
    }
    return Outcome::kFileDone;
}

bool SendZeros(const platform::Socket& connection, std::uint64_t count) {
    static constexpr char kZeros[kBufferSize] = {};
    while (count > 0) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof kZeros));
        if (!connection.SendAll(kZeros, piece)) {
            return false;
        }
        count -= piece;
    }
    return true;
}

}  // namespace

ContentSent SendOfferedFile(const platform::Socket& connection, const platform::Path& path,
                            const platform::FileIdentity& examined) {
    // Opened shared, so that a file that is not the one examined is never held, not even briefly.
    std::optional<platform::File> file =
        platform::File::OpenForRead(path, platform::Sharing::kShared);
    if (file && (file->Identity() != examined || !file->HoldExclusively())) {
        file.reset();
    }
    return SendFileContent(connection, std::move(file), std::nullopt);
}

ContentSent SendFileContent(const platform::Socket& connection, std::optional<platform::File> file,
                            std::optional<std::uint64_t> announced_size) {
    std::uint64_t remaining = announced_size.value_or(std::numeric_limits<std::uint64_t>::max());
    Outcome outcome = Outcome::kReadFailed;
    if (file) {
        outcome = StreamFile(connection, *file, remaining);
        if (outcome == Outcome::kConnectionFailed) {
            return ContentSent::kConnectionFailed;
        }
    }
    const bool whole = outcome == Outcome::kFileDone && (!announced_size || remaining == 0);
    if (announced_size && !SendZeros(connection, remaining)) {
        return ContentSent::kConnectionFailed;
    }
    return whole ? ContentSent::kWhole : ContentSent::kShort;
}

}  // namespace veltra
