#include "receiving/content_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "common/text.h"
#include "receiving/file_events.h"
#include "receiving/received_file.h"

namespace veltra {

namespace {

// The reason a file operation failed, as the log gives it; otherwise when no better one is known.
FileOutcome OutcomeOf(int error, FileOutcome otherwise) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return FileOutcome::kDiskFull;
        case ENAMETOOLONG:
            return FileOutcome::kPathTooLong;
        default:
            return otherwise;
    }
}

}  // namespace

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

bool ReceiveContent(DownloadContext& context, const platform::Folder& folder,
                    std::wstring_view offered, const AttachmentInfo& info, ContentReader& reader) {
    PostFileStarted(context, info);
    FileOutcome outcome = FileOutcome::kStored;
    std::optional<ReceivedFile> file;
    try {
        file.emplace(context, folder, offered);
    } catch (const std::system_error& error) {
        outcome = OutcomeOf(error.code().value(), FileOutcome::kCannotCreate);
    }
    std::uint64_t shown = 0;  // what the last progress message said
    // A failed write drops the file at once (a full disk gets its room back before the next
    // file) but goes on reading, to stay in step with the sender.
    const auto drop = [&](int error) {
        outcome = OutcomeOf(error, FileOutcome::kWriteFailed);
        if (file->Written() > shown) {
            shown = file->Written();
            PostFileProgress(context, shown);
        }
        file.reset();
    };
    const auto store = [&](std::string_view bytes) {
        if (!file || bytes.empty()) {
            return;
        }
        try {
            file->Write(bytes.data(), bytes.size());
        } catch (const std::system_error& error) {
            drop(error.code().value());
        }
    };
    // A large file's bytes past those buffered go from the connection into the file without
    // passing through the process, until its file system refuses that.
    bool direct = info.size >= kDirectFileSize;
    // Written straight from the stream's buffer: a small file costs one write, and a chunk of a
    // large one is one receive and one write.
    std::uint64_t received = 0;
    while (received < info.size) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(info.size - received, kContentChunk));
        std::size_t arrived = 0;
        bool flowing = true;
        while (flowing && arrived < chunk) {
            if (direct && file) {
                if (reader.Buffered() > 0) {
                    const std::string_view bytes =
                        reader.Take(std::min(chunk - arrived, reader.Buffered()));
                    store(bytes);
                    arrived += bytes.size();
                    continue;
                }
                const platform::FileMove move = reader.MoveInto(*file, chunk - arrived);
                arrived += move.received.bytes;
                direct = !move.not_direct;
                if (move.file_error != 0) {
                    drop(move.file_error);
                }
                flowing =
                    move.received.Moved() || move.received.status == platform::IoStatus::kNotDirect;
                continue;
            }
            const std::size_t wanted = std::min(chunk - arrived, reader.Capacity());
            flowing = reader.Fill(wanted);
            const std::string_view bytes = reader.Take(std::min(wanted, reader.Buffered()));
            store(bytes);
            arrived += bytes.size();
        }
        received += arrived;
        if (arrived < chunk) {
            if (outcome == FileOutcome::kStored) {
                outcome = context.cancel.Cancelled() ? FileOutcome::kCancelled
                          : reader.NothingServed()   ? FileOutcome::kNotServed
                                                     : FileOutcome::kConnectionLost;
            }
            break;
        }
        if (file && received < info.size) {
            shown = received;
            PostFileProgress(context, shown);
        }
    }
    std::wstring name;
    if (file && outcome == FileOutcome::kStored) {
        try {
            name = file->Store();
        } catch (const std::system_error& error) {
            outcome = OutcomeOf(error.code().value(), FileOutcome::kCannotCreate);
        }
    }
    // Settled before the messages, so whoever handles them finds the file complete, or nothing.
    file.reset();
    if (outcome == FileOutcome::kStored && info.size > 0) {
        PostFileProgress(context, info.size);
    }
    PostFileDone(context, info, received, outcome);
    if (outcome == FileOutcome::kStored) {
        ++context.received_files;
        EntryEnded* entry = context.Entry();
        if (entry && !context.inside_folder) {
            entry->stored = platform::Path::FromHost(folder.HostPath()) / name;
        }
        if (name != AnsiToWide(info.name)) {
            PostNotice(context, L"文件另存为" + name);
        }
    }
    return received == info.size;
}

}  // namespace veltra
