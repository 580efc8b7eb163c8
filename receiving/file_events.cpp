#include "receiving/file_events.h"

#include <memory>
#include <utility>

namespace veltra {

// Each message carries its own copy of the name and size: the entry may be gone by the time the
// window handles the message.
void PostFileEvent(DownloadContext& context, unsigned id, const AttachmentInfo& info,
                   std::uint64_t received, FileOutcome outcome) {
    auto payload = std::make_unique<FileEventPayload>();
    payload->name = info.name;
    payload->size = info.size;
    payload->outcome = outcome;
    platform::WindowMessage message;
    message.id = id;
    message.lparam = static_cast<std::int64_t>(received);
    message.payload = std::move(payload);
    context.window.PostMessage(std::move(message));
}

void ReportFailedEntry(DownloadContext& context, const AttachmentInfo& info, FileOutcome outcome) {
    PostFileEvent(context, WM_FILE_STARTED, info, 0);
    PostFileEvent(context, WM_FILE_DONE, info, 0, outcome);
}

void PostNotice(DownloadContext& context, std::wstring text) {
    auto payload = std::make_unique<NoticePayload>();
    payload->text = std::move(text);
    platform::WindowMessage message;
    message.id = WM_LOG_NOTICE;
    message.payload = std::move(payload);
    context.window.PostMessage(std::move(message));
}

}  // namespace veltra
