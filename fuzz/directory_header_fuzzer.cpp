// Any bytes as a directory stream, read header by header as the receiver reads it, through a
// stream buffer whose size varies with the input's length (down to the smallest):
// - ReadHeader hands out exactly the next bytes of the stream, each header between the minimum
//   and the buffer's size, and stops at the first length it cannot take;
// - ParseHeader on each header (and on the raw input) keeps a name that holds no '?', and no ':'
//   unless the header held a "::" that stands for one, and tells a name of 260 bytes or more
//   (refused, with size and attribute still read) from one within the limit.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "receiving/directory_download.h"

namespace {

void CheckParsed(std::string_view header) {
    veltra::AttachmentInfo info;
    const veltra::HeaderFields fields = veltra::ParseHeader(header, info);
    if (fields == veltra::HeaderFields::kMissing) {
        return;
    }
    const bool too_long = info.name.size() > veltra::kMaxNameBytes;
    const bool doubled_colons = header.find("::") != std::string_view::npos;
    if (too_long != (fields == veltra::HeaderFields::kNameTooLong) || info.name.empty() ||
        info.name.find('?') != std::string::npos ||
        (!doubled_colons && info.name.find(':') != std::string::npos) || info.id != 0) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace veltra;
    const std::string_view stream(reinterpret_cast<const char*>(data), size);
    CheckParsed(stream.substr(0, kHeaderBuffer - 1));

    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends) != 0) {
        return 0;
    }
    platform::Socket socket(ends[0]);
    ContentReader reader(socket, kHeaderBuffer + size % 1031);
    {
        platform::Socket writer(ends[1]);
        // Fuzz inputs stay far below a local stream's buffer, so this never blocks.
        if (!writer.SendAll(data, size)) {
            return 0;
        }
    }  // closed: the reader sees the end of the stream
    std::size_t offset = 0;
    while (const auto header = ReadHeader(reader)) {
        if (header->size() < kMinHeaderLength || header->size() >= kHeaderBuffer ||
            stream.substr(offset, header->size()) != *header) {
            __builtin_trap();
        }
        offset += header->size();
        CheckParsed(*header);
    }
    return 0;
}
