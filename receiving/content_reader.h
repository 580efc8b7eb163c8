#pragma once
// The content loop that every received file, inside a directory or not, goes through, and the
// buffered reading it is built on.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/folder.h"
#include "platform/socket.h"
#include "platform/socket_pipe.h"
#include "receiving/attachment_list.h"
#include "receiving/download_context.h"

namespace veltra {

// Content moves in chunks of this size, one FileProgress each.
inline constexpr std::size_t kContentChunk = 65536;
// A chunk of a large file fills a stream's buffer whole.
inline constexpr std::size_t kStreamBuffer = kContentChunk;
// A directory stream's headers are shorter than this; no stream buffer is smaller.
inline constexpr std::size_t kHeaderBuffer = 1024;
// Files of this size and more go from the connection into the file inside the kernel, past what
// the stream's buffer already holds; for smaller ones the pipe is not worth its calls.
inline constexpr std::uint64_t kDirectFileSize = std::uint64_t{1} << 20;

class ReceivedFile;

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
    // Takes up to count bytes, with none buffered, from the connection straight into file, never
    // more than count. received is kNotDirect, with nothing taken, when no pipe can be made.
    platform::FileMove MoveInto(ReceivedFile& file, std::size_t count);
    // True when the peer closed the connection in order without having sent a byte: it does not
    // serve the entry (a file deleted after it was offered, say).
    bool NothingServed() const { return closed_ && !served_; }

  private:
    const platform::Socket& socket_;
    std::optional<platform::SocketPipe> pipe_;  // made at the first move, for every later one
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    bool served_ = false;  // a byte has arrived
    bool closed_ = false;  // the peer has closed in order
};

// Reads exactly info.size bytes from reader into a ReceivedFile of that name in folder, posting
// FileStarted, a FileProgress per whole chunk written (the one that reaches the size only once the
// file is stored) and FileDone with the outcome. A file stored is counted in context, and logged
// when it took a name other than the one offered. A file that cannot be created or written is
// still read to its end, so the stream stays in step. True when every byte arrived.
bool ReceiveContent(DownloadContext& context, const platform::Folder& folder,
                    std::wstring_view name, const AttachmentInfo& info, ContentReader& reader);

}  // namespace veltra
