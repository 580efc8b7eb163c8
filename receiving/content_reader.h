#pragma once
// The content loop that every received file, inside a directory or not, goes through, and the
// reads it is built from.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/socket.h"
#include "receiving/attachment_list.h"
#include "receiving/download_context.h"

namespace veltra {

// Content moves in chunks of this size, one WM_FILE_PROGRESS each; the socket's receive buffer
// is set to the same size.
inline constexpr std::size_t kContentChunk = 65536;

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

// Reads and drops size bytes; true when all of them arrived.
bool DropContent(const platform::Socket& socket, std::uint64_t size);

// Receives until size bytes are in buffer, or the peer closes, a receive fails or times out; the
// bytes that arrived.
std::size_t ReceiveUpTo(const platform::Socket& socket, char* buffer, std::size_t size);

// Receives until size bytes are in buffer; false, with what arrived left in place, when the peer
// closes, a receive fails or times out, or size is 0.
bool ReadExact(const platform::Socket& socket, char* buffer, std::size_t size);

}  // namespace veltra
