#pragma once
// What the download worker tells the window about files: started, progress, done, and notices
// for the log.

#include <cstdint>
#include <string>

#include "engine/window_messages.h"
#include "receiving/attachment_list.h"
#include "receiving/download_context.h"

namespace veltra {

// Posts id (WM_FILE_STARTED, WM_FILE_PROGRESS or WM_FILE_DONE) for the file info, received bytes
// of it having arrived.
void PostFileEvent(DownloadContext& context, unsigned id, const AttachmentInfo& info,
                   std::uint64_t received, FileOutcome outcome = FileOutcome::kStored);

// Posts WM_FILE_STARTED and WM_FILE_DONE with outcome for an entry (file or directory) that
// failed without its content being received.
void ReportFailedEntry(DownloadContext& context, const AttachmentInfo& info, FileOutcome outcome);

// Posts text as a line of its own for the log (WM_LOG_NOTICE).
void PostNotice(DownloadContext& context, std::wstring text);

}  // namespace veltra
