#pragma once
// The content loop that every received file, inside a directory or not, goes through, and the
// buffered reading it is built on.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/folder.h"
#include "platform/socket.h"
#include "receiving/attachment_list.h"
#include "receiving/download_context.h"

namespace veltra {

// Content moves in chunks of this size, one WM_FILE_PROGRESS each.
inline constexpr std::size_t kContentChunk = 65536;
// A stream is read through a buffer of this size: one receive brings the headers and contents of
// many small files, and a chunk of a large file fills it whole.
inline constexpr std::size_t kStreamBuffer = kContentChunk;
// A directory stream's headers are shorter than this; no stream buffer is smaller.
inline constexpr std::size_t kHeaderBuffer = 1024;

// The stream of one fetched entry, read in order: a directory's headers, the contents, and what
// is dropped. Every read of an entry's connection goes through its one reader and its one buffer:
// a receive asks for all the room there is, so small items come many at a time. What a caller
// takes is a view into the buffer, valid up to its next call.
class ContentReader {
  public:
    // A capacity below kHeaderBuffer is raised to it (tests and fuzzers use small ones, so that
    // items straddle refills).
    explicit ContentReader(const platform::Socket& socket, std::size_t capacity = kStreamBuffer);
    ContentReader(const ContentReader&) = delete;
    ContentReader& operator=(const ContentReader&) = delete;

    std::size_t Capacity() const { return capacity_; }
    std::size_t Buffered() const { return end_ - begin_; }
    // Receives until at least size bytes (at most the capacity) are buffered; false, with what
    // arrived still buffered, when the peer closes, a receive fails or times out, or size is 0.
    bool Fill(std::size_t size);
    // The next size bytes, which must be buffered, and moves past them.
    std::string_view Take(std::size_t size);
    // The buffered bytes, without moving past them.
    std::string_view Peek() const { return {buffer_.get() + begin_, Buffered()}; }
    // Reads and drops size bytes; true when all of them arrived.
    bool Skip(std::uint64_t size);
    // True when the peer closed the connection in order without having sent a byte: it does not
    // serve the entry (a file deleted after it was offered, say).
    bool NothingServed() const { return closed_ && !served_; }

  private:
    const platform::Socket& socket_;
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool served_ = false;  // a byte has arrived
    bool closed_ = false;  // the peer has closed in order
};

// Reads exactly info.size bytes from reader into the file name in folder (see ReceivedFile: a
// file is named only once it is whole, and one that fails leaves nothing), posting
// WM_FILE_STARTED, WM_FILE_PROGRESS per whole chunk written and WM_FILE_DONE with the outcome.
// The progress never reaches the size before the file is stored: the last chunk's comes once it
// is, and a write that fails shows how much was written. A file stored whole is counted; when the
// batch has stored a file of that name already, this one gets a numbered name of its own
// ("a (2).txt"), and a name that differs from the offered one is logged. When the file cannot be
// created or written its content is still read, so the stream stays in step. True when every
// byte arrived.
bool ReceiveContent(DownloadContext& context, const platform::Folder& folder,
                    std::wstring_view name, const AttachmentInfo& info, ContentReader& reader);

}  // namespace veltra
