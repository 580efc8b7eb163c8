#pragma once
// Fetching one offered entry over a TCP connection of its own, and the content reader that every
// received file, inside a directory or not, goes through.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/packet.h"
#include "platform/socket.h"
#include "receiving/attachment_list.h"
#include "receiving/download_context.h"

namespace veltra {

// Content moves in chunks of this size, one WM_FILE_PROGRESS each; the socket's receive buffer
// is set to the same size.
inline constexpr std::size_t kContentChunk = 65536;

// Connects to the peer that sent packet, requests the entry and stores what arrives. Reports only
// through posted messages and files: an entry whose connection or request fails leaves no trace.
// An entry whose name cannot be placed (see ConfinedName) is not requested at all.
void DownloadEntry(DownloadContext& context, const PacketRecord& packet,
                   const AttachmentInfo& info);

// Reads exactly info.size bytes from socket into a new file at path (an existing one is replaced,
// a symbolic link there is never followed), posting WM_FILE_STARTED, one WM_FILE_PROGRESS per
// chunk and WM_FILE_DONE, and counts the file. When the file cannot be created its content is
// still read, so the stream stays in step. True when every byte arrived.
bool ReceiveContent(DownloadContext& context, std::wstring_view path, const AttachmentInfo& info,
                    const platform::Socket& socket);

// Reads and drops size bytes; true when all of them arrived.
bool DropContent(const platform::Socket& socket, std::uint64_t size);

// Receives until size bytes are in buffer; false, with what arrived left in place, when the peer
// closes, a receive fails or times out, or size is 0.
bool ReadExact(const platform::Socket& socket, char* buffer, std::size_t size);

}  // namespace veltra
