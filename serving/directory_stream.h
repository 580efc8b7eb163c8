#pragma once
// The directory stream: a whole tree on one connection, as headers and file contents in
// depth-first pre-order. Each header starts with its own length, so a reader can take 8 bytes,
// learn the length and read the rest:
//   directory  "%04x" ":" name ":0:2"           then its entries, then the end mark
//   file       "%04x" ":" name ":" size ":1"    then exactly size bytes of content
//   end mark   "08:.:0:3"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/socket.h"
#include "serving/stream_sender.h"

namespace veltra {

inline constexpr std::string_view kEndMark = "08:.:0:3";

// Header texts; name is code page 936 text as it stands (written as WireName writes it), size as
// in SizeField.
std::string DirectoryHeader(std::string_view name);
std::string FileHeader(std::string_view name, std::uint64_t size);

// Writes the item of the directory at path: its header, named after the last component of path,
// every entry of its listing, and the end mark. Links in path are followed (the user named it).
// A path that cannot be listed (not a directory, or unreadable) gives the header and the end mark
// alone. False once the connection has failed; the walk then stops, since nothing more could
// reach the peer.
bool SendDirectory(const platform::Socket& connection, const platform::Path& path);
// The same for a folder offered earlier, which must still be the folder examined then: when path
// has come to lead to another since, nothing at all goes out, and the result is false.
bool SendOfferedDirectory(const platform::Socket& connection, const platform::Path& path,
                          const platform::FileIdentity& examined);

// Gathers into out the item of one entry that listing reported (the caller flushes out when it is
// done). The listing lies in the offered folder whose resolved path (platform::ResolvedPath) is
// offered_folder, nothing when the offered folder could not be resolved. Every entry is opened by
// its name within the listing and never through a symbolic link, so a folder changed since it was
// listed leads nowhere else. A file goes out with its size as listed (else as opened), followed
// by exactly that many bytes. A subdirectory is walked. Symbolic links to directories, links
// leading nowhere and links to files outside the offered folder are left out, so a link can lead
// the walk neither round in a circle nor out of the offered tree; where the link leads is judged on
// the file it opens. An entry that has become a link, or another kind, since the listing goes by
// that same rule.
bool SendDirectoryEntry(StreamSender& out, const platform::DirectorySearch& listing,
                        const platform::DirectoryEntry& entry,
                        const std::optional<platform::Path>& offered_folder);

}  // namespace veltra
