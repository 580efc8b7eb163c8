#include "receiving/content_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>
#include <system_error>

#include "receiving/incoming_file.h"
#include "receiving/received_file.h"

namespace veltra {

ContentReader::ContentReader(const platform::Socket& socket, std::size_t capacity)
    : socket_(socket),
      capacity_(std::max(capacity, kHeaderBuffer)),
      buffer_(std::make_unique_for_overwrite<char[]>(capacity_)) {}

bool ContentReader::Fill(std::size_t size) {
    size = std::min(size, capacity_);
    if (size == 0) {
        return false;
    }
    if (Buffered() >= size) {
        return true;
    }
    // What is left is shorter than what is wanted: moved to the front, it leaves the most room
    // for one receive.
    if (begin_ > 0) {
        std::memmove(buffer_.get(), buffer_.get() + begin_, Buffered());
        end_ -= begin_;
        begin_ = 0;
    }
    while (end_ < size) {
        const platform::IoResult result = socket_.Receive(buffer_.get() + end_, capacity_ - end_);
        if (!result.Moved()) {
            closed_ = result.status == platform::IoStatus::kEnd;
            return false;
        }
        served_ = true;
        end_ += result.bytes;
    }
    return true;
}

std::string_view ContentReader::Take(std::size_t size) {
    const std::string_view taken(buffer_.get() + begin_, size);
    begin_ += size;
    return taken;
}

bool ContentReader::Skip(std::uint64_t size) {
    while (size > 0) {
        if (Buffered() == 0 && !Fill(1)) {
            return false;
        }
        const auto dropped = static_cast<std::size_t>(std::min<std::uint64_t>(size, Buffered()));
        begin_ += dropped;
        size -= dropped;
    }
    return true;
}

platform::FileMove ContentReader::MoveInto(ReceivedFile& file, std::size_t count) {
    if (!pipe_) {
        try {
            pipe_.emplace();
        } catch (const std::system_error&) {
            platform::FileMove none;
            none.received.status = platform::IoStatus::kNotDirect;
            none.not_direct = true;
            return none;
        }
    }
    platform::FileMove move = file.Receive(*pipe_, socket_, count);
    if (move.received.Moved()) {
        served_ = true;
    } else {
        closed_ = move.received.status == platform::IoStatus::kEnd;
    }
    return move;
}

namespace {

// Reads at least chunk bytes of a file's content into file and returns how many arrived: fewer
// only when the connection ended, failed or timed out. direct: the bytes past those the stream's
// buffer holds may go from the connection into the file without passing through the process, and
// one such move may take what the connection has up to reach (the rest of the file), so a fast
// sender's bytes go in with the fewest calls; cleared once the file's system refuses that.
std::size_t ReceiveChunk(ContentReader& reader, IncomingFile& file, std::size_t chunk,
                         std::size_t reach, bool& direct) {
    std::size_t arrived = 0;
    while (arrived < chunk) {
        if (direct && file.Writing()) {
            if (reader.Buffered() > 0) {
                const std::string_view bytes =
                    reader.Take(std::min(chunk - arrived, reader.Buffered()));
                file.Write(bytes);
                arrived += bytes.size();
                continue;
            }
            const platform::FileMove move = file.Move(reader, reach - arrived);
            arrived += move.received.bytes;
            direct = !move.not_direct;
            if (!move.received.Moved() && move.received.status != platform::IoStatus::kNotDirect) {
                break;
            }
            continue;
        }
        // Written straight from the stream's buffer: a small file costs one write, and a chunk of
        // a large one is one receive and one write.
        const std::size_t wanted = std::min(chunk - arrived, reader.Capacity());
        const bool flowing = reader.Fill(wanted);
        const std::string_view bytes = reader.Take(std::min(wanted, reader.Buffered()));
        file.Write(bytes);
        arrived += bytes.size();
        if (!flowing) {
            break;
        }
    }
    return arrived;
}

}  // namespace

bool ReceiveContent(DownloadContext& context, const platform::Folder& folder,
                    std::wstring_view offered, const AttachmentInfo& info, ContentReader& reader) {
    IncomingFile file(context, folder, offered, info);
    bool direct = info.size >= kDirectFileSize;
    std::uint64_t received = 0;
    std::uint64_t next_progress = kContentChunk;
    while (received < info.size) {
        const std::uint64_t left = info.size - received;
        // To the end of the chunk received is in: a move may have ended inside one.
        const auto chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>(left, kContentChunk - received % kContentChunk));
        const auto reach = static_cast<std::size_t>(
            std::min<std::uint64_t>(left, std::numeric_limits<std::size_t>::max()));
        const std::size_t arrived = ReceiveChunk(reader, file, chunk, reach, direct);
        received += arrived;
        if (arrived < chunk) {
            file.Cut(context.cancel.Cancelled() ? FileOutcome::kCancelled
                     : reader.NothingServed()   ? FileOutcome::kNotServed
                                                : FileOutcome::kConnectionLost);
            break;
        }
        for (; next_progress <= received && next_progress < info.size;
             next_progress += kContentChunk) {
            file.Progress(next_progress);
        }
    }
    file.Finish(received);
    return received == info.size;
}

}  // namespace veltra
