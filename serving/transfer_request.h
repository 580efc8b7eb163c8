#pragma once
// The request that opens a transfer: one packet "1:number:user:host:command:" with the message
// "offer-packet:file-id:offset:" (lower-case hexadecimal) and its NUL. Only the command word and
// the file id matter; the transfer always starts at the first byte.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace veltra {

// A request is read with a single receive of at most this many bytes.
inline constexpr std::size_t kMaxRequestLength = 1024;

struct TransferRequest {
    std::uint32_t command = 0;  // exactly CMD_FETCH_FILE or CMD_FETCH_DIR
    std::int32_t file_id = 0;
};

// Nothing when the bytes are not a packet, the command word is anything but exactly fetch-file or
// fetch-directory (option bits included), or the message has no ':' and so no file id. The id is
// the hexadecimal number (either case) after the first ':'; of a longer number the low 32 bits
// count. Bytes past kMaxRequestLength are not looked at.
std::optional<TransferRequest> ParseTransferRequest(std::string_view bytes);

}  // namespace veltra
