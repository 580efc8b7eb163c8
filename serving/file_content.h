#pragma once
// Sending file contents over an accepted connection.

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/file.h"
#include "platform/socket.h"

namespace veltra {

enum class ContentSent {
    kWhole,             // the file was read to its end (or to the announced size) and sent
    kShort,             // the file could not be opened, or not read as far as it should
    kConnectionFailed,  // the connection failed; nothing more can reach the peer
};

// Streams a file opened already (nothing: one that could not be opened) from where it stands.
// - Without announced_size: everything the file holds.
// - With announced_size (a directory stream, whose reader takes exactly the size its header
//   announced): exactly that many bytes; the content is cut there, and zeros stand in for whatever
//   a file that shrank or cannot be opened does not yield, so the stream stays in step.
// Only kConnectionFailed ends a stream; kShort tells the sender that the peer did not get the
// file's content whole.
ContentSent SendFileContent(const platform::Socket& connection, std::optional<platform::File> file,
                            std::optional<std::uint64_t> announced_size);
// Streams everything the file at path holds, held without sharing, when it is still the file
// examined when it was offered; links in path are followed (the user named it). A path that has
// come to lead to another file since sends nothing (kShort), as does one that cannot be opened.
ContentSent SendOfferedFile(const platform::Socket& connection, const platform::Path& path,
                            const platform::FileIdentity& examined);

}  // namespace veltra
