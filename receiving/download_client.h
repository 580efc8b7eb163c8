#pragma once
// Fetching one offered entry over a TCP connection of its own, and the content reader that every
// received file, inside a directory or not, goes through.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/packet.h"
#include "engine/window_messages.h"
#include "platform/socket.h"
#include "receiving/attachment_list.h"
#include "receiving/download_context.h"

namespace veltra {

// Content moves in chunks of this size, one WM_FILE_PROGRESS each; the socket's receive buffer
// is set to the same size.
inline constexpr std::size_t kContentChunk = 65536;

// Connects to the peer that sent packet, requests the entry and stores what arrives, reporting
// through posted messages. An entry that fails before its content (the peer cannot be reached,
// the request cannot be sent, a directory's stream breaks or is refused) is reported as a file
// that failed (see ReportFailedEntry), so the log names it. A file whose name is refused (see
// ConfinedName) is not requested at all. False when the peer could not be reached, so that the
// caller can give up the batch's other entries from that address without waiting for each.
bool DownloadEntry(DownloadContext& context, const PacketRecord& packet,
                   const AttachmentInfo& info);

// Reads exactly info.size bytes from socket into the file name in folder (see ReceivedFile: a
// file there is replaced only by a file that arrived whole), posting WM_FILE_STARTED, one
// WM_FILE_PROGRESS per whole chunk and WM_FILE_DONE with the outcome. Bytes that arrived are
// written even when the rest of their chunk never comes. A file stored whole is counted; when
// the batch has stored a file of that name already, this one gets a numbered name of its own
// ("a (2).txt"), and a name that differs from the offered one is logged. When the file cannot
// be created or written its content is still read, so the stream stays in step. True when every
// byte arrived.
bool ReceiveContent(DownloadContext& context, std::wstring_view folder, std::wstring_view name,
                    const AttachmentInfo& info, const platform::Socket& socket);

// Posts WM_FILE_STARTED and WM_FILE_DONE with outcome for an entry (file or directory) that
// failed without its content being received.
void ReportFailedEntry(DownloadContext& context, const AttachmentInfo& info, FileOutcome outcome);

// Posts text as a line of its own for the log (WM_LOG_NOTICE).
void PostNotice(DownloadContext& context, std::wstring text);

// Reads and drops size bytes; true when all of them arrived.
bool DropContent(const platform::Socket& socket, std::uint64_t size);

// Receives until size bytes are in buffer, or the peer closes, a receive fails or times out; the
// bytes that arrived.
std::size_t ReceiveUpTo(const platform::Socket& socket, char* buffer, std::size_t size);

// Receives until size bytes are in buffer; false, with what arrived left in place, when the peer
// closes, a receive fails or times out, or size is 0.
bool ReadExact(const platform::Socket& socket, char* buffer, std::size_t size);

}  // namespace veltra
