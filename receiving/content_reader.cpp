#include "receiving/content_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "common/text.h"
#include "receiving/file_events.h"
#include "receiving/placement.h"
#include "receiving/received_file.h"

namespace veltra {

namespace {

// The reason a file operation failed, as the log gives it; otherwise when no better one is known.
FileOutcome OutcomeOf(const std::system_error& error, FileOutcome otherwise) {
    switch (error.code().value()) {
        case ENOSPC:
        case EDQUOT:
            return FileOutcome::kDiskFull;
        case ENAMETOOLONG:
            return FileOutcome::kPathTooLong;
        default:
            return otherwise;
    }
}

// What the batch remembers of the file name in folder: the folder's path and the name hashed
// apart and mixed, so that no path is built for a file.
std::size_t PathKey(const platform::Folder& folder, std::wstring_view name) {
    const std::size_t folder_hash = std::hash<std::string_view>{}(folder.HostPath());
    const std::size_t name_hash = std::hash<std::wstring_view>{}(name);
    return folder_hash ^
           (name_hash + 0x9E3779B97F4A7C15ULL + (folder_hash << 6) + (folder_hash >> 2));
}

// The name the file is stored under: the offered one, unless the batch has stored a file there
// already. key receives what the batch is to remember of it once it is stored.
std::wstring UnusedName(DownloadContext& context, const platform::Folder& folder,
                        std::wstring_view offered, std::size_t& key) {
    key = PathKey(folder, offered);
    if (!context.stored_paths.Contains(key)) {
        return std::wstring(offered);
    }
    unsigned& next = context.next_numbers[key];
    for (unsigned number = std::max(next, 2u);; ++number) {
        std::wstring name = NameVariant(offered, number);
        key = PathKey(folder, name);
        if (!context.stored_paths.Contains(key)) {
            next = number;
            return name;
        }
    }
}

// Where what arrived of a failed file is kept; empty (nothing is kept) when that name belongs to
// a file the batch has stored.
std::wstring PartialName(const DownloadContext& context, const platform::Folder& folder,
                         std::wstring_view name) {
    std::wstring partial = NameVariant(name, 1, L".part");
    if (context.stored_paths.Contains(PathKey(folder, partial))) {
        partial.clear();
    }
    return partial;
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
        const long result = socket_.Receive(buffer_.get() + end_, capacity_ - end_);
        if (result <= 0) {
            return false;
        }
        end_ += static_cast<std::size_t>(result);
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

bool ReceiveContent(DownloadContext& context, const platform::Folder& folder,
                    std::wstring_view offered, const AttachmentInfo& info, ContentReader& reader) {
    std::size_t key = 0;
    const std::wstring name = UnusedName(context, folder, offered, key);
    PostFileStarted(context, info);
    FileOutcome outcome = FileOutcome::kStored;
    std::optional<ReceivedFile> file;
    try {
        file.emplace(folder, name);
    } catch (const std::system_error& error) {
        outcome = OutcomeOf(error, FileOutcome::kCannotCreate);
    }
    // A failed write drops the bytes but goes on reading, to stay in step with the sender.
    const auto store = [&](std::string_view bytes) {
        if (!file || bytes.empty()) {
            return;
        }
        try {
            file->Write(bytes.data(), bytes.size());
        } catch (const std::system_error& error) {
            outcome = OutcomeOf(error, FileOutcome::kWriteFailed);
            file->Abandon(PartialName(context, folder, name));
            file.reset();
        }
    };
    // Written straight from the stream's buffer: a small file costs one write, and a chunk of a
    // large one is one receive and one write.
    std::uint64_t received = 0;
    while (received < info.size) {
        const auto chunk =
            static_cast<std::size_t>(std::min<std::uint64_t>(info.size - received, kContentChunk));
        std::size_t arrived = 0;
        bool flowing = true;
        while (flowing && arrived < chunk) {
            const std::size_t wanted = std::min(chunk - arrived, reader.Capacity());
            flowing = reader.Fill(wanted);
            const std::string_view bytes = reader.Take(std::min(wanted, reader.Buffered()));
            store(bytes);
            arrived += bytes.size();
        }
        received += arrived;
        if (arrived < chunk) {
            if (outcome == FileOutcome::kStored) {
                outcome = FileOutcome::kConnectionLost;
            }
            break;
        }
        PostFileProgress(context, received);
    }
    if (file && outcome == FileOutcome::kStored) {
        try {
            file->Commit();
        } catch (const std::system_error& error) {
            outcome = OutcomeOf(error, FileOutcome::kCannotCreate);
        }
    }
    if (file && outcome != FileOutcome::kStored) {
        file->Abandon(PartialName(context, folder, name));
    }
    // Settled before the message, so whoever handles it finds the file complete.
    file.reset();
    PostFileDone(context, info, received, outcome);
    if (outcome == FileOutcome::kStored) {
        ++context.received_files;
        context.stored_paths.Insert(key);
        if (name != AnsiToWide(info.name)) {
            PostNotice(context, L"文件另存为" + name);
        }
    }
    return received == info.size;
}

}  // namespace veltra
