#pragma once
// Rebuilding an offered directory from its stream: headers "len:name:size:attribute", each file
// header followed by the file's bytes, each directory closed by the end mark "08:.:0:3".

#include <optional>
#include <string>
#include <string_view>

#include "common/events.h"
#include "platform/socket.h"
#include "receiving/attachment_list.h"
#include "receiving/content_reader.h"
#include "receiving/download_context.h"

namespace veltra {

// Every header, the end mark included, is at least this long.
inline constexpr std::size_t kMinHeaderLength = 8;

// Reads the directory stream from reader into the received folder. Returns when the top level's
// end mark has been read (kStored, whatever became of the files in it, each of which reports its
// own outcome), or the stream ends or breaks (kConnectionLost; kNotServed when the peer closed
// before the first header), or the top directory is refused (its subtree is then read and
// dropped).
FileOutcome ReceiveDirectory(DownloadContext& context, ContentReader& reader);

// The next header's bytes, as a view into reader's buffer that holds up to its next read; nothing
// when the stream ended, or when the header's own length is below kMinHeaderLength or does not fit
// kHeaderBuffer (the stream is then broken).
std::optional<std::string_view> ReadHeader(ContentReader& reader);

// What ParseHeader made of a header.
enum class HeaderFields {
    kMissing,      // the length, name, size or attribute is missing: the header is skipped
    kComplete,     // every field was read
    kNameTooLong,  // every field was read, but the name has 260 bytes or more: the entry (a
                   // file's content, a directory's subtree) is to be read and dropped
};

// Fills info (id 0) from a header. Later "key=value" fields may set the time (key 0x14).
HeaderFields ParseHeader(std::string_view header, AttachmentInfo& info);

}  // namespace veltra
