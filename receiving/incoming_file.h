#pragma once
// One received file from its first byte to its outcome, whatever brings the bytes: announced
// (FileStarted), written, then stored under its name or dropped, and reported (FileDone).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/folder.h"
#include "platform/socket_pipe.h"
#include "receiving/attachment_list.h"
#include "receiving/download_context.h"
#include "receiving/received_file.h"

namespace veltra {

class ContentReader;

class IncomingFile {
  public:
    // Posts FileStarted and starts the file offered as name in folder; a file that cannot be
    // made there is remembered as the outcome, and the bytes that follow go nowhere.
    IncomingFile(DownloadContext& context, const platform::Folder& folder, std::wstring_view name,
                 const AttachmentInfo& info);
    IncomingFile(const IncomingFile&) = delete;
    IncomingFile& operator=(const IncomingFile&) = delete;

    // False once the file failed: what follows is read and goes nowhere.
    bool Writing() const { return file_.has_value(); }
    // A failed write drops the file at once (a full disk gets its room back before the next
    // file); the caller goes on reading, to stay in step with the sender.
    void Write(std::string_view bytes);
    // Takes up to count bytes from reader, which holds none, straight into the file (see
    // ContentReader::MoveInto); only while Writing. A failed write drops the file as Write does.
    platform::FileMove Move(ContentReader& reader, std::size_t count);
    // Posts FileProgress for received bytes while the file is still being written.
    void Progress(std::uint64_t received);
    // The content stopped short for this reason, unless a failure came before.
    void Cut(FileOutcome outcome);
    // Stores the file when every byte arrived and nothing failed, then posts FileDone; a file
    // stored is counted, and logged when it took a name other than the one offered.
    void Finish(std::uint64_t received);

  private:
    void Drop(int error);

    DownloadContext& context_;
    const platform::Folder& folder_;
    const AttachmentInfo& info_;
    FileOutcome outcome_ = FileOutcome::kStored;
    std::optional<ReceivedFile> file_;
    std::uint64_t shown_ = 0;  // what the last progress message said
};

}  // namespace veltra
