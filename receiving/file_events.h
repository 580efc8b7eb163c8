#pragma once
// What the download worker tells the front end about files: started, progress, done, and
// notices for the log. Each event carries its own copy of the name and size: the entry may be
// gone by the time the front end handles it.

#include <cstdint>
#include <string>

#include "common/events.h"
#include "receiving/attachment_list.h"
#include "receiving/download_context.h"

namespace veltra {

void PostFileStarted(DownloadContext& context, const AttachmentInfo& info);
// received: bytes of the file that have arrived.
void PostFileProgress(DownloadContext& context, std::uint64_t received);
// A failed outcome counts towards the batch's failed entries; outside a folder's stream it is how
// the offered entry ended.
void PostFileDone(DownloadContext& context, const AttachmentInfo& info, std::uint64_t received,
                  FileOutcome outcome);

// Posts FileStarted and FileDone with outcome for an entry (file or directory) that failed
// without its content being received.
void ReportFailedEntry(DownloadContext& context, const AttachmentInfo& info, FileOutcome outcome);

// For an entry the user's cancel of the batch reached before its content was received: reports
// it failed as cancelled, unless the program is shutting down (then nothing more is reported).
void ReportCancelledEntry(DownloadContext& context, const AttachmentInfo& info);

// Posts text as a line of its own for the log (LogNotice).
void PostNotice(DownloadContext& context, std::wstring text);

}  // namespace veltra
