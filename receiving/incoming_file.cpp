#include "receiving/incoming_file.h"

#include <cerrno>
#include <string>
#include <system_error>

#include "common/text.h"
#include "receiving/content_reader.h"
#include "receiving/file_events.h"

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

IncomingFile::IncomingFile(DownloadContext& context, const platform::Folder& folder,
                           std::wstring_view name, const AttachmentInfo& info)
    : context_(context), folder_(folder), info_(info) {
    PostFileStarted(context_, info_);
    try {
        file_.emplace(context_, folder_, name);
    } catch (const std::system_error& error) {
        outcome_ = OutcomeOf(error.code().value(), FileOutcome::kCannotCreate);
    }
}

void IncomingFile::Write(std::string_view bytes) {
    if (!file_ || bytes.empty()) {
        return;
    }
    try {
        file_->Write(bytes.data(), bytes.size());
    } catch (const std::system_error& error) {
        Drop(error.code().value());
    }
}

platform::FileMove IncomingFile::Move(ContentReader& reader, std::size_t count) {
    const platform::FileMove move = reader.MoveInto(*file_, count);
    if (move.file_error != 0) {
        Drop(move.file_error);
    }
    return move;
}

void IncomingFile::Drop(int error) {
    outcome_ = OutcomeOf(error, FileOutcome::kWriteFailed);
    Progress(file_->Written());
    file_.reset();
}

void IncomingFile::Progress(std::uint64_t received) {
    if (file_ && received > shown_) {
        shown_ = received;
        PostFileProgress(context_, shown_);
    }
}

void IncomingFile::Cut(FileOutcome outcome) {
    if (outcome_ == FileOutcome::kStored) {
        outcome_ = outcome;
    }
}

void IncomingFile::Finish(std::uint64_t received) {
    if (received < info_.size) {
        Cut(FileOutcome::kConnectionLost);
    }
    std::wstring name;
    if (file_ && outcome_ == FileOutcome::kStored) {
        try {
            name = file_->Store();
        } catch (const std::system_error& error) {
            outcome_ = OutcomeOf(error.code().value(), FileOutcome::kCannotCreate);
        }
    }
    // Settled before the messages, so whoever handles them finds the file complete, or nothing.
    file_.reset();
    if (outcome_ == FileOutcome::kStored && info_.size > 0) {
        PostFileProgress(context_, info_.size);
    }
    PostFileDone(context_, info_, received, outcome_);
    if (outcome_ != FileOutcome::kStored) {
        return;
    }
    ++context_.received_files;
    EntryEnded* entry = context_.Entry();
    if (entry && !context_.inside_folder) {
        entry->stored = platform::Path::FromHost(folder_.HostPath()) / name;
    }
    if (name != AnsiToWide(info_.name)) {
        PostNotice(context_, L"文件另存为" + name);
    }
}

}  // namespace veltra
