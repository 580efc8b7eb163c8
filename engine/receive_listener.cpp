#include "engine/receive_listener.h"

#include <memory>
#include <utility>

#include "common/text.h"
#include "engine/protocol.h"

namespace veltra {
namespace {

constexpr auto kAnnounceReply = static_cast<std::int32_t>(CMD_ANNOUNCE_REPLY | OPT_PRESENCE_MARK);

// The text and its sender, copied out of the packet, so that a message costs what it says rather
// than a whole record.
MessageReceived MessageOf(const PacketRecord& packet) {
    return MessageReceived{packet.user_name, packet.host_name, packet.source_address,
                           packet.Message()};
}

}  // namespace

CReceiveListener::CReceiveListener(EventSink& sink, CMessengerEngine& engine,
                                   AttachmentHandler* attachments)
    : sink_(&sink), engine_(&engine), attachments_(attachments), peers_notice_(sink, timer_) {}

CReceiveListener::~CReceiveListener() = default;

void CReceiveListener::OnPacket(PacketRecord& packet) {
    switch (CommandNumber(packet.command)) {
        case CMD_ANNOUNCE:
            WritePeer(packet);
            engine_->SendDatagram(packet.source_address, engine_->Port(), kAnnounceReply, nullptr,
                                  nullptr);
            break;
        case CMD_DEPART:
            RemovePeer(packet);
            break;
        case CMD_ANNOUNCE_REPLY:
            WritePeer(packet);
            break;
        case CMD_MESSAGE:
            HandleMessage(packet);
            break;
        default:
            // Command 0 (also every datagram that failed to parse), receipts, TCP requests that
            // came as datagrams, and numbers this system does not know: dropped.
            break;
    }
}

void CReceiveListener::WritePeer(PacketRecord& packet) {
    packet.presence_mark = static_cast<std::uint32_t>(packet.command) & PRESENCE_MARK_MASK;
    const PeerRecord record = ToPeerRecord(packet);
    // An announcement beyond the table's bounds is still answered (by the caller); it changes
    // nothing the window shows.
    WritePeerKey(record, peer_key_);
    if (peers_.Write(peer_key_, record)) {
        NotifyPeersChanged();
    }
}

void CReceiveListener::RemovePeer(const PacketRecord& packet) {
    peers_.Remove(PeerKey(ToPeerRecord(packet)));
    // Also when nothing was removed: the window rebuilds from whatever the table holds.
    NotifyPeersChanged();
}

void CReceiveListener::NotifyPeersChanged() {
    peers_notice_.Changed();
}

std::vector<PeerEntry> CReceiveListener::TakePeersSnapshot() {
    // Re-armed before the copy: a write that the copy may miss then needs a notice of its own,
    // so no change is ever left without a rebuild that shows it.
    peers_notice_.Taken();
    return CopyPeers();
}

std::vector<PeerEntry> CReceiveListener::CopyPeers() {
    std::vector<PeerEntry> copy = peers_.Snapshot();
    if (after_peers_copied_) {
        after_peers_copied_();
    }
    return copy;
}

void CReceiveListener::ClearPeers() {
    peers_.Clear();
}

void CReceiveListener::HandleMessage(const PacketRecord& packet) {
    const auto options = static_cast<std::uint32_t>(packet.command) & ~COMMAND_NUMBER_MASK;
    if ((options & OPT_WANT_ACK) != 0) {
        // The receipt goes out first, whatever becomes of the message.
        const std::string number = FormatAnsi("%d", packet.packet_number);
        engine_->SendDatagram(packet.source_address, engine_->Port(),
                              static_cast<std::int32_t>(CMD_MESSAGE_ACK), number.c_str(), nullptr);
    }
    if ((options & OPT_ATTACHMENTS) != 0) {
        if ((options & OPT_SKIP) == 0 && attachments_ != nullptr) {
            attachments_->OnAttachments(std::make_unique<PacketRecord>(packet));
        }
        return;  // the text of an offer is never shown
    }
    sink_->Post(MessageOf(packet));
}

}  // namespace veltra
