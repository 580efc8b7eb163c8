#pragma once
// The content loop that every received file, inside a directory or not, goes through, and the
// reader of the stream it comes from.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/socket.h"
#include "receiving/attachment_list.h"
#include "receiving/download_context.h"

namespace veltra {

// Content moves in chunks of this size, one WM_FILE_PROGRESS each; the socket's receive buffer
// is set to the same size.
inline constexpr std::size_t kContentChunk = 65536;

// The stream of one fetched entry, read in order: a directory's headers, the contents, and what
// is dropped. Every read of an entry's connection goes through its one reader, so that the reader
// alone decides how the bytes come off the socket.
class ContentReader {
  public:
    explicit ContentReader(const platform::Socket& socket) : socket_(socket) {}
    ContentReader(const ContentReader&) = delete;
    ContentReader& operator=(const ContentReader&) = delete;

    // Reads until size bytes are in buffer, or the stream ends (the peer closes, a receive fails
    // or times out): the bytes that arrived.
    std::size_t ReadUpTo(char* buffer, std::size_t size);
    // True when all size bytes arrived; what did arrive is left in buffer either way.
    bool ReadExact(char* buffer, std::size_t size) { return ReadUpTo(buffer, size) == size; }
    // Reads and drops size bytes; true when all of them arrived.
    bool Drop(std::uint64_t size);

  private:
    const platform::Socket& socket_;
};

// Reads exactly info.size bytes from reader into the file name in folder (see ReceivedFile: a
// file there is replaced only by a file that arrived whole), posting WM_FILE_STARTED, one
// WM_FILE_PROGRESS per whole chunk and WM_FILE_DONE with the outcome. Bytes that arrived are
// written even when the rest of their chunk never comes. A file stored whole is counted; when
// the batch has stored a file of that name already, this one gets a numbered name of its own
// ("a (2).txt"), and a name that differs from the offered one is logged. When the file cannot
// be created or written its content is still read, so the stream stays in step. True when every
// byte arrived.
bool ReceiveContent(DownloadContext& context, std::wstring_view folder, std::wstring_view name,
                    const AttachmentInfo& info, ContentReader& reader);

}  // namespace veltra
