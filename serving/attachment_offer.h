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

// An entry that went into an offer's list, so that the one who offered can follow its fetch.
struct ListedEntry {
    std::int32_t file_id = 0;
    std::wstring path;
    bool directory = false;
    std::uint64_t size = 0;  // a directory's is 0
};

struct AttachmentList {
    std::string text;                  // the entries, each ending with BEL
    std::vector<ListedEntry> entries;  // in the order of the text
};

// Registers every path (in order, each under a new id, addressed to recipient) and lists those
// that can be opened and examined; the others keep their ids but get no entry. Once an entry no
// longer fits into capacity bytes, the list ends with the entries before it.
AttachmentList BuildAttachmentList(OfferTable& offers, const std::vector<std::wstring>& paths,
                                   std::optional<std::uint32_t> recipient,
                                   std::size_t capacity = kMaxAttachmentList);

// Room for the list in the offer datagram of this engine, after the longest header it may build.
std::size_t OfferListCapacity(const CMessengerEngine& engine);

// Offers paths to the peer at peer_address (network order) on the engine's port; the entries can
// be fetched from that address only. Blocks for the half-second pause. The offer goes out even
// when its list is empty. Returns the entries listed.
std::vector<ListedEntry> SendWithAttachments(CMessengerEngine& engine, OfferTable& offers,
                                             std::uint32_t peer_address,
                                             const std::vector<std::wstring>& paths);

}  // namespace veltra
