#include "receiving/file_events.h"

#include <utility>

namespace veltra {

void PostFileStarted(DownloadContext& context, const AttachmentInfo& info) {
    if (context.unnamed_sender) {
        context.sink.Post(std::move(*context.unnamed_sender));
        context.unnamed_sender.reset();
    }
    context.sink.Post(FileStarted{info.name, info.size});
}

void PostFileProgress(DownloadContext& context, std::uint64_t received) {
    context.sink.Post(FileProgress{received});
}

void PostFileDone(DownloadContext& context, const AttachmentInfo& info, std::uint64_t received,
                  FileOutcome outcome) {
    if (outcome != FileOutcome::kStored) {
        ++context.failed_entries;
    }
    if (EntryEnded* entry = context.Entry()) {
        entry->received += received;
        if (!context.inside_folder) {
            entry->outcome = outcome;
        }
    }
    context.sink.Post(FileDone{info.name, info.size, received, outcome});
}

void ReportFailedEntry(DownloadContext& context, const AttachmentInfo& info, FileOutcome outcome) {
    PostFileStarted(context, info);
    PostFileDone(context, info, 0, outcome);
}

void ReportCancelledEntry(DownloadContext& context, const AttachmentInfo& info) {
    if (!context.cancel.ShutDown()) {
        ReportFailedEntry(context, info, FileOutcome::kCancelled);
    }
}

void PostNotice(DownloadContext& context, std::wstring text) {
    context.sink.Post(LogNotice{std::move(text)});
}

}  // namespace veltra
