#include "serving/attachment_offer.h"

#include <algorithm>
#include <thread>
#include <utility>

#include "common/text.h"
#include "engine/protocol.h"
#include "serving/wire_fields.h"

namespace veltra {

std::string AttachmentEntry(std::int32_t id, std::string_view name,
                            const platform::FileInfo& info) {
    const bool directory = (info.attributes & platform::kAttributeDirectory) != 0;
    return FormatAnsi("%x:", static_cast<unsigned>(id)) + WireName(name) + ":" +
           SizeField(info.size) +
           FormatAnsi(":%x:%x\a", static_cast<unsigned>(info.creation_time & 0xFFFFFFFFu),
                      directory ? ATTR_DIR : ATTR_FILE);
}

AttachmentList BuildAttachmentList(OfferTable& offers, const std::vector<platform::Path>& paths,
                                   std::optional<std::uint32_t> recipient, std::size_t capacity) {
    AttachmentList list;
    bool full = false;
    for (const platform::Path& path : paths) {
        OfferResult& result =
            list.results.emplace_back(OfferResult{path, OfferOutcome::kListFull, std::nullopt});
        // Every path uses up an id, also one that cannot be opened, or is not examined since the
        // list is full; what was examined is remembered, so that only it is served.
        std::optional<platform::FileInfo> info;
        std::optional<platform::FileIdentity> examined;
        if (!full) {
            result.outcome = OfferOutcome::kCannotRead;
            // Examined only: a file that a fetch in progress holds can still be offered to
            // somebody else, and is held when it is served.
            if (auto file = platform::File::OpenForRead(path, platform::Sharing::kShared)) {
                info = file->Query();
                examined = file->Identity();
            }
        }
        const std::int32_t id = offers.RegisterOffer(path, examined, recipient);
        if (!info) {
            continue;
        }
        const std::string entry = AttachmentEntry(id, WireBaseName(path), *info);
        if (list.text.size() + entry.size() > capacity) {
            full = true;
            result.outcome = OfferOutcome::kListFull;
            continue;
        }
        list.text += entry;
        const bool directory = (info->attributes & platform::kAttributeDirectory) != 0;
        result.outcome = OfferOutcome::kListed;
        result.entry = OfferedEntry{id, path, directory, directory ? 0 : info->size};
    }
    return list;
}

std::size_t OfferListCapacity(const CMessengerEngine& engine) {
    // "1:<number>:<user>:<host>:<command>:" with the longest number, then the message's NUL, the
    // list and its NUL; the builder drops an extension that leaves no byte spare.
    const std::string header = "1:-2147483648:" + engine.UserName() + ":" + engine.HostName() +
                               ":" + std::to_string(CMD_MESSAGE | OPT_ATTACHMENTS) + ":";
    const std::size_t overhead = header.size() + 3;
    const std::size_t room = overhead < MAX_PACKET ? MAX_PACKET - overhead : 0;
    return std::min(room, kMaxAttachmentList);
}

std::vector<OfferResult> SendWithAttachments(CMessengerEngine& engine, OfferTable& offers,
                                             std::uint32_t peer_address,
                                             const std::vector<platform::Path>& paths) {
    AttachmentList list =
        BuildAttachmentList(offers, paths, peer_address, OfferListCapacity(engine));
    engine.SendDatagram(peer_address, engine.Port(), static_cast<std::int32_t>(CMD_NOP), nullptr,
                        nullptr);
    std::this_thread::sleep_for(kOfferPause);
    engine.SendDatagram(peer_address, engine.Port(),
                        static_cast<std::int32_t>(CMD_MESSAGE | OPT_ATTACHMENTS), "",
                        list.text.c_str());
    return std::move(list.results);
}

}  // namespace veltra
