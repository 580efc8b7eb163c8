#pragma once
// Fetching one offered entry over a TCP connection of its own.

#include "engine/packet.h"
#include "receiving/attachment_list.h"
#include "receiving/download_context.h"

namespace veltra {

// Connects to the peer that sent packet, requests the entry and stores what arrives, reporting
// through posted messages. An entry that fails before its content (the peer cannot be reached,
// the request cannot be sent, a directory's stream breaks or is refused) is reported as a file
// that failed (see ReportFailedEntry), so the log names it. A file whose name is refused (see
// ConfinedName) is not requested at all. False when the peer could not be reached, so that the
// caller can give up the batch's other entries from that address without waiting for each.
bool DownloadEntry(DownloadContext& context, const PacketRecord& packet,
                   const AttachmentInfo& info);

}  // namespace veltra
