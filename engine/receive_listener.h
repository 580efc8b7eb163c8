#pragma once
// What the messenger does with each received datagram: keep the table of peers, answer
// announcements and receipts, hand text messages to the front end and offers to the receiving
// side. OnPacket runs on the engine's receive thread; the front end learns of changes by events.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/event_sink.h"
#include "engine/attachment_handler.h"
#include "engine/engine.h"
#include "engine/listener.h"
#include "engine/packet.h"
#include "engine/peer_table.h"
#include "engine/peers_notice.h"
#include "engine/timer.h"

namespace veltra {

class CReceiveListener : public CEngineListener {
  public:
    // sink receives the events; engine sends the answers; attachments fetches the files of an
    // offer (null: offers are dropped). None of them is owned, and all must outlive the
    // listener's registration with the engine.
    CReceiveListener(EventSink& sink, CMessengerEngine& engine, AttachmentHandler* attachments);
    ~CReceiveListener() override;
    CReceiveListener(const CReceiveListener&) = delete;
    CReceiveListener& operator=(const CReceiveListener&) = delete;

    void OnPacket(PacketRecord& packet) override;

    // For the PeersChanged handler: re-arms the notification, then copies the table, so a
    // change that lands after the copy posts a new event (no sooner than kPeersNoticeSpacing
    // after the last one). Ascending key order.
    std::vector<PeerEntry> TakePeersSnapshot();
    // Tests: runs on the taking thread right after TakePeersSnapshot has copied the table, so
    // that a test can land a change in the middle of a rebuild. Set it before the first take.
    void SetAfterPeersCopied(std::function<void()> hook) { after_peers_copied_ = std::move(hook); }
    // The refresh request empties the table; the list keeps its rows until the next answer.
    void ClearPeers();
    // A copy without touching the notification (tests, diagnostics).
    std::vector<PeerEntry> PeersSnapshot() const { return peers_.Snapshot(); }
    // Whether a user at address (network order) is in the table; any thread.
    bool Lists(std::uint32_t address) const { return peers_.HasSource(address); }

  private:
    void WritePeer(PacketRecord& packet);
    void RemovePeer(const PacketRecord& packet);
    void NotifyPeersChanged();
    void HandleMessage(const PacketRecord& packet);
    std::vector<PeerEntry> CopyPeers();

    EventSink* sink_;
    CMessengerEngine* engine_;
    PeerTable peers_;
    AttachmentHandler* attachments_;
    SteadyTimer timer_;
    // Coalesces and spaces the PeersChanged events.
    PeersNotice peers_notice_;
    std::function<void()> after_peers_copied_;
    // The key of the peer being written, its room kept from one datagram to the next.
    std::string peer_key_;
};

}  // namespace veltra
