#pragma once
// Offering files and directories to one peer: every path is registered under a file id, and the
// peer gets a no-op datagram and, half a second later, an empty message whose extension lists the
// entries "id:name:size:time:kind\a" (kind 1 for a file, 2 for a directory).

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/offer_result.h"
#include "engine/engine.h"
#include "platform/file.h"
#include "serving/offer_table.h"

namespace veltra {

inline constexpr auto kOfferPause = std::chrono::milliseconds(500);
// The list is built in a packet-sized buffer: entries and a NUL.
inline constexpr std::size_t kMaxAttachmentList = MAX_PACKET - 1;

// One entry with its BEL: the id in hexadecimal, the name (WireName), the size (SizeField), the
// low 32 bits of the creation time in hexadecimal, and the kind.
std::string AttachmentEntry(std::int32_t id, std::string_view name, const platform::FileInfo& info);

struct AttachmentList {
    std::string text;                  // the entries, each ending with BEL
    std::vector<OfferResult> results;  // one per path, in the order of the paths
};

// Registers every path (in order, each under a new id, addressed to recipient) and lists those
// that can be opened and examined; the others keep their ids but get no entry. Once an entry no
// longer fits into capacity bytes, the list ends with the entries before it: its path and those
// after it are kListFull. A path that cannot be opened is kCannotRead, whether it exists or not:
// the session asks first which ones do.
AttachmentList BuildAttachmentList(OfferTable& offers, const std::vector<platform::Path>& paths,
                                   std::optional<std::uint32_t> recipient,
                                   std::size_t capacity = kMaxAttachmentList);

// Room for the list in the offer datagram of this engine, after the longest header it may build.
std::size_t OfferListCapacity(const CMessengerEngine& engine);

// Offers paths to the peer at peer_address (network order) on the engine's port; the entries can
// be fetched from that address only. Blocks for the half-second pause. The offer goes out even
// when its list is empty. Returns what became of each path, in order.
std::vector<OfferResult> SendWithAttachments(CMessengerEngine& engine, OfferTable& offers,
                                             std::uint32_t peer_address,
                                             const std::vector<platform::Path>& paths);

}  // namespace veltra
