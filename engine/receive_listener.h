#pragma once
// What the messenger does with each received datagram: keep the table of peers, answer
// announcements and receipts, hand text messages to the window and offers to the receiving side.
// OnPacket runs on the engine's receive thread; the window learns of changes by posted messages.

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "common/settings.h"
#include "engine/attachment_handler.h"
#include "engine/engine.h"
#include "engine/listener.h"
#include "engine/packet.h"
#include "engine/peer_table.h"
#include "engine/peers_notice.h"
#include "platform/window.h"

namespace veltra {

class CReceiveListener : public CEngineListener {
  public:
    // window receives the posted notifications; engine sends the answers; attachments fetches
    // the files of an offer (null: offers are dropped). None of them is owned, and all must
    // outlive the listener's registration with the engine.
    CReceiveListener(platform::MessageWindow& window, CMessengerEngine& engine,
                     const Settings& settings, AttachmentHandler* attachments);
    ~CReceiveListener() override;
    CReceiveListener(const CReceiveListener&) = delete;
    CReceiveListener& operator=(const CReceiveListener&) = delete;

    int OnPacket(std::unique_ptr<PacketRecord> packet) override;

    // For the WM_PEERS_CHANGED handler: re-arms the notification, then copies the table, so a
    // change that lands after the copy posts a new message (no sooner than kPeersNoticeSpacing
    // after the last one). Ascending key order.
    std::vector<PeerEntry> TakePeersSnapshot();
    // The refresh request empties the table; the list keeps its rows until the next answer.
    void ClearPeers();
    // A copy without touching the notification (tests, diagnostics).
    std::vector<PeerEntry> PeersSnapshot() const { return peers_.Snapshot(); }

    const Settings& GetSettings() const { return *settings_; }

  private:
    void WritePeer(PacketRecord& packet);
    void RemovePeer(const PacketRecord& packet);
    void NotifyPeersChanged();
    void HandleMessage(std::unique_ptr<PacketRecord> packet);

    platform::MessageWindow* window_;
    CMessengerEngine* engine_;
    PeerTable peers_;
    const Settings* settings_;
    AttachmentHandler* attachments_;
    // Coalesces and spaces the WM_PEERS_CHANGED notices.
    PeersNotice peers_notice_;
};

}  // namespace veltra
