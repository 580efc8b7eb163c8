#include "engine/receive_listener.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/protocol.h"
#include "tests/support/recording_sink.h"
#include "tests/support/udp_peer.h"

// Every case runs an engine on 127.0.0.1 inside the test's own network namespace and plays the
// other systems from further loopback addresses. A case that must show that something did NOT
// happen sends a barrier announcement afterwards: the engine handles datagrams one at a time,
// so once the barrier's answer is back, everything sent before it has been dealt with.
namespace veltra {
namespace {

using testing::Datagram;
using testing::RecordingSink;
using testing::UdpPeer;

const std::uint32_t kEngineAddress = platform::InetAddr("127.0.0.1");
constexpr std::uint32_t kAnnounce = CMD_ANNOUNCE | OPT_PRESENCE_MARK;
constexpr std::uint32_t kReply = CMD_ANNOUNCE_REPLY | OPT_PRESENCE_MARK;
// Anything sent before the barrier's answer is already in the socket; this only covers delivery.
constexpr int kAfterBarrierMs = 50;

class AttachmentRecorder : public AttachmentHandler {
  public:
    // hook runs on the receive thread before an offer is stored.
    void SetOnOffer(std::function<void(const PacketRecord&)> hook) {
        std::lock_guard guard(mutex_);
        on_offer_ = std::move(hook);
    }
    void OnAttachments(std::unique_ptr<PacketRecord> packet) override {
        std::lock_guard guard(mutex_);
        if (on_offer_) {
            on_offer_(*packet);
        }
        offers_.push_back(std::move(packet));
    }
    std::size_t Count() {
        std::lock_guard guard(mutex_);
        return offers_.size();
    }
    std::vector<std::unique_ptr<PacketRecord>> Take() {
        std::lock_guard guard(mutex_);
        std::vector<std::unique_ptr<PacketRecord>> taken = std::move(offers_);
        offers_.clear();
        return taken;
    }

  private:
    std::mutex mutex_;
    std::function<void(const PacketRecord&)> on_offer_;
    std::vector<std::unique_ptr<PacketRecord>> offers_;
};

class ReceiveListenerTest : public ::testing::Test {
  protected:
    ReceiveListenerTest()
        : settings_(MakeSettings()),
          engine_(settings_, kEngineAddress),
          listener_(events_, engine_, &attachments_) {
        engine_.SetListener(&listener_);
    }
    ~ReceiveListenerTest() override { engine_.SetListener(nullptr); }

    static Settings MakeSettings() {
        Settings settings;
        settings.user_name = L"me";
        return settings;
    }

    // Sends an announcement from the barrier host and waits for its answer.
    void Barrier() {
        barrier_sender_.Send(Datagram(++barrier_number_, "zz", "barrier", kAnnounce),
                             kEngineAddress);
        auto reply = barrier_.ReceivePacket();
        ASSERT_NE(reply, nullptr);
        ASSERT_EQ(reply->command, static_cast<std::int32_t>(kReply));
    }
    // A socket buffer holds a few dozen datagrams; a burst waits for the engine now and then.
    void PaceBurst(int sent) {
        if (sent % 20 == 19) {
            Barrier();
        }
    }
    // Reply number i from a crowd of peers, 20 to an address, so that no address passes the
    // table's bound per address.
    void SendFromCrowd(int i, const char* user) {
        const auto address = static_cast<std::size_t>(i / 20);
        while (crowd_.size() <= address) {
            crowd_.emplace_back(("127.0.3." + std::to_string(crowd_.size() + 1)).c_str(), 0);
        }
        crowd_[address].Send(Datagram(i, user, "pc", kReply), kEngineAddress);
    }
    std::vector<PeerEntry> PeersWithoutBarrier() {
        std::vector<PeerEntry> peers;
        for (PeerEntry& entry : listener_.PeersSnapshot()) {
            if (std::strcmp(entry.record.user_name, "zz") != 0) {
                peers.push_back(std::move(entry));
            }
        }
        return peers;
    }

    Settings settings_;
    RecordingSink events_;
    AttachmentRecorder attachments_;
    CMessengerEngine engine_;
    CReceiveListener listener_;
    // Peer "bob" sends from 127.0.0.2:40001 and hears answers on 127.0.0.2:2425.
    UdpPeer bob_{"127.0.0.2", 40001};
    UdpPeer bob_inbox_{"127.0.0.2", MSG_PORT};
    UdpPeer barrier_sender_{"127.0.0.9", 0};
    UdpPeer barrier_{"127.0.0.9", MSG_PORT};
    int barrier_number_ = 0;
    std::vector<UdpPeer> crowd_;
};

TEST_F(ReceiveListenerTest, AnnouncementAddsOneEntryAndIsAnsweredAtPort2425) {
    bob_.Send(Datagram(77, "bob", "pc2", kAnnounce), kEngineAddress);

    auto reply = bob_inbox_.ReceivePacket();
    ASSERT_NE(reply, nullptr) << "the answer goes to port 2425, not to the sender's port 40001";
    EXPECT_EQ(reply->command, 0x01000003);
    EXPECT_STREQ(reply->Message(), "");
    EXPECT_STREQ(reply->Extension(), "");
    EXPECT_STREQ(reply->user_name, "me");
    EXPECT_NE(reply->packet_number, 77) << "answers draw their own packet number";

    const std::vector<PeerEntry> peers = listener_.PeersSnapshot();
    ASSERT_EQ(peers.size(), 1u);
    EXPECT_EQ(peers[0].key, "bob (127.0.0.2|pc2)");
    EXPECT_STREQ(peers[0].record.user_name, "bob");
    EXPECT_STREQ(peers[0].record.host_name, "pc2");
    EXPECT_EQ(peers[0].record.source_address, platform::InetAddr("127.0.0.2"));
    EXPECT_EQ(peers[0].record.source_port, platform::MakeEndpoint(0, 40001).port);
    EXPECT_EQ(peers[0].record.presence_mark, 0x01000000u);
    EXPECT_EQ(events_.Count<PeersChanged>(), 1u);

    Barrier();
    EXPECT_EQ(bob_inbox_.Receive(kAfterBarrierMs), nullptr) << "exactly one answer";
}

TEST_F(ReceiveListenerTest, RepeatedAnnouncementOverwritesTheEntry) {
    bob_.Send(Datagram(1, "bob", "pc2", kAnnounce), kEngineAddress);
    ASSERT_NE(bob_inbox_.ReceivePacket(), nullptr);
    // The same peer again, with other top bits: the stored mark follows the latest word.
    bob_.Send(Datagram(2, "bob", "pc2", 0x03000001), kEngineAddress);
    ASSERT_NE(bob_inbox_.ReceivePacket(), nullptr);
    // Without the presence-mark option the mark is 0.
    bob_.Send(Datagram(3, "bob", "pc3", CMD_ANNOUNCE), kEngineAddress);
    ASSERT_NE(bob_inbox_.ReceivePacket(), nullptr);

    const std::vector<PeerEntry> peers = listener_.PeersSnapshot();
    ASSERT_EQ(peers.size(), 2u);
    EXPECT_EQ(peers[0].key, "bob (127.0.0.2|pc2)");
    EXPECT_EQ(peers[0].record.presence_mark, 0x03000000u);
    EXPECT_EQ(peers[1].key, "bob (127.0.0.2|pc3)");
    EXPECT_EQ(peers[1].record.presence_mark, 0u);
}

TEST_F(ReceiveListenerTest, AnnouncementsBeyondTheTableBoundsAreAnsweredButNotStored) {
    for (int i = 0; i < 40; ++i) {
        const std::string user = "u" + std::to_string(i);
        bob_.Send(Datagram(i, user.c_str(), "pc2", kAnnounce), kEngineAddress);
        ASSERT_NE(bob_inbox_.ReceivePacket(), nullptr) << "announcement " << i << " is answered";
    }
    EXPECT_EQ(PeersWithoutBarrier().size(), 32u);
}

TEST_F(ReceiveListenerTest, AnnouncementReplyIsStoredButNotAnswered) {
    bob_.Send(Datagram(5, "bob", "pc2", kReply), kEngineAddress);
    Barrier();
    EXPECT_EQ(bob_inbox_.Receive(kAfterBarrierMs), nullptr);
    const std::vector<PeerEntry> peers = PeersWithoutBarrier();
    ASSERT_EQ(peers.size(), 1u);
    EXPECT_EQ(peers[0].key, "bob (127.0.0.2|pc2)");
    EXPECT_EQ(peers[0].record.presence_mark, 0x01000000u);
    EXPECT_GE(events_.Count<PeersChanged>(), 1u);
}

TEST_F(ReceiveListenerTest, DepartureRemovesExactlyThatPeerAndAlwaysNotifies) {
    bob_.Send(Datagram(1, "bob", "pc2", kReply), kEngineAddress);
    bob_.Send(Datagram(2, "bob", "pc3", kReply), kEngineAddress);
    Barrier();
    ASSERT_EQ(PeersWithoutBarrier().size(), 2u);

    listener_.TakePeersSnapshot();  // the window has rebuilt: the next change posts again
    const std::size_t before = events_.Count<PeersChanged>();
    bob_.Send(Datagram(3, "bob", "pc2", CMD_DEPART), kEngineAddress);
    ASSERT_TRUE(events_.WaitFor<PeersChanged>(before + 1));
    std::vector<PeerEntry> peers = PeersWithoutBarrier();
    ASSERT_EQ(peers.size(), 1u);
    EXPECT_EQ(peers[0].key, "bob (127.0.0.2|pc3)");

    // A departure of somebody unknown changes nothing but is still announced to the window.
    listener_.TakePeersSnapshot();
    bob_.Send(Datagram(4, "carol", "pc2", CMD_DEPART), kEngineAddress);
    ASSERT_TRUE(events_.WaitFor<PeersChanged>(before + 2));
    EXPECT_EQ(PeersWithoutBarrier().size(), 1u);
    Barrier();
    EXPECT_EQ(bob_inbox_.Receive(kAfterBarrierMs), nullptr) << "departures are not answered";
}

TEST_F(ReceiveListenerTest, WantedReceiptIsSentBeforeTheMessageIsShown) {
    std::atomic<bool> receipt_was_out{false};
    events_.SetOnPost([&](const Event& event) {
        if (std::holds_alternative<MessageReceived>(event)) {
            auto receipt = bob_inbox_.ReceivePacket(1000);
            receipt_was_out = receipt != nullptr && receipt->command == 0x21;
            if (receipt != nullptr) {
                EXPECT_STREQ(receipt->Message(), "4711");
            }
        }
    });
    bob_.Send(Datagram(4711, "bob", "pc2", CMD_MESSAGE | OPT_WANT_ACK, "hello"), kEngineAddress);
    ASSERT_TRUE(events_.WaitFor<MessageReceived>(1));
    EXPECT_TRUE(receipt_was_out);

    ASSERT_EQ(events_.Total(), 1u);
    const MessageReceived message = events_.Of<MessageReceived>().at(0);
    EXPECT_EQ(message.text, "hello");
    EXPECT_EQ(message.user_name, "bob");
    EXPECT_EQ(message.host_name, "pc2");
    EXPECT_EQ(message.source_address, platform::InetAddr("127.0.0.2"));
}

TEST_F(ReceiveListenerTest, MessageWithoutReceiptRequestIsShownUnanswered) {
    bob_.Send(Datagram(8, "bob", "pc2", CMD_MESSAGE, "line1\nline2"), kEngineAddress);
    bob_.Send(Datagram(9, "bob", "pc2", CMD_MESSAGE), kEngineAddress);  // empty: shown too
    ASSERT_TRUE(events_.WaitFor<MessageReceived>(2));
    Barrier();
    EXPECT_EQ(bob_inbox_.Receive(kAfterBarrierMs), nullptr);
    std::vector<std::string> texts;
    for (const MessageReceived& message : events_.Of<MessageReceived>()) {
        texts.push_back(message.text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"line1\r\nline2", ""}));
    EXPECT_TRUE(PeersWithoutBarrier().empty()) << "a message does not enter the table";
}

TEST_F(ReceiveListenerTest, OfferGoesToTheAttachmentHandlerAfterTheReceipt) {
    std::atomic<bool> receipt_was_out{false};
    attachments_.SetOnOffer([&](const PacketRecord&) {
        auto receipt = bob_inbox_.ReceivePacket(1000);
        receipt_was_out = receipt != nullptr && receipt->command == 0x21;
    });
    bob_.Send(Datagram(10, "bob", "pc2", CMD_MESSAGE | OPT_ATTACHMENTS | OPT_WANT_ACK, "",
                       "1:a.txt:5:0:1:"),
              kEngineAddress);
    Barrier();
    const std::vector<std::unique_ptr<PacketRecord>> offers = attachments_.Take();
    ASSERT_EQ(offers.size(), 1u);
    EXPECT_TRUE(receipt_was_out);
    EXPECT_STREQ(offers[0]->Extension(), "1:a.txt:5:0:1:");
    EXPECT_EQ(offers[0]->packet_number, 10);
    EXPECT_EQ(events_.Count<MessageReceived>(), 0u) << "the text of an offer is not shown";
}

TEST_F(ReceiveListenerTest, SkippedOfferGetsOnlyItsReceipt) {
    bob_.Send(Datagram(11, "bob", "pc2", CMD_MESSAGE | OPT_ATTACHMENTS | OPT_SKIP | OPT_WANT_ACK,
                       "shown?", "1:a.txt:5:0:1:"),
              kEngineAddress);
    auto receipt = bob_inbox_.ReceivePacket();
    ASSERT_NE(receipt, nullptr);
    EXPECT_EQ(receipt->command, 0x21);
    EXPECT_STREQ(receipt->Message(), "11");
    Barrier();
    EXPECT_EQ(attachments_.Count(), 0u);
    EXPECT_EQ(events_.Count<MessageReceived>(), 0u);
    EXPECT_EQ(bob_inbox_.Receive(kAfterBarrierMs), nullptr);
}

TEST_F(ReceiveListenerTest, DiscardedDatagramsCauseNothing) {
    const std::vector<std::string> discarded = {
        std::string(),                                        // zero length
        std::string("2:12:bob:pc2:32:version two\0", 28),     // fails to parse
        std::string("1:13:bob:pc2\0", 13),                    // too few fields
        Datagram(14, "bob", "pc2", CMD_MESSAGE_ACK, "4711"),  // a receipt
        Datagram(15, "bob", "pc2", CMD_NOP),                  // the pause before an offer
        Datagram(16, "bob", "pc2", CMD_FETCH_FILE, "1:2:0"),  // a TCP request by UDP
        Datagram(17, "bob", "pc2", CMD_FETCH_DIR, "1:2"),
        Datagram(18, "bob", "pc2", 0x7F | OPT_WANT_ACK, "x"),  // unknown
    };
    for (const std::string& datagram : discarded) {
        bob_.Send(datagram, kEngineAddress);
    }
    Barrier();
    EXPECT_EQ(bob_inbox_.Receive(kAfterBarrierMs), nullptr);
    EXPECT_EQ(events_.Count<MessageReceived>(), 0u);
    EXPECT_EQ(attachments_.Count(), 0u);
    // The one table change is the barrier's own.
    EXPECT_EQ(events_.Total(), events_.Count<PeersChanged>());
    EXPECT_TRUE(PeersWithoutBarrier().empty());
}

TEST(ReceiveListenerWithoutHandler, OfferIsDroppedQuietly) {
    Settings settings;
    RecordingSink events;
    CMessengerEngine engine(settings, kEngineAddress);
    CReceiveListener listener(events, engine, nullptr);
    auto offer = std::make_unique<PacketRecord>();
    offer->command = static_cast<std::int32_t>(CMD_MESSAGE | OPT_ATTACHMENTS);
    listener.OnPacket(*offer);
    EXPECT_EQ(events.Total(), 0u);
}

// The engine's own announcement, sent to itself through the broadcast list (a namespace with
// only loopback has no route for 255.255.255.255): it enters the table, answers itself once, and
// the answer is stored again without being answered.
TEST(ReceiveListenerOwnAnnouncement, ComesBackAnsweredOnce) {
    Settings settings;
    settings.user_name = L"me";
    settings.broadcast_list = L"127.0.0.1";
    RecordingSink events;
    CMessengerEngine engine(settings, kEngineAddress);
    CReceiveListener listener(events, engine, nullptr);

    // Records each command after the listener has dealt with it (answers included).
    struct Counting : CEngineListener {
        explicit Counting(CReceiveListener& inner) : inner_(inner) {}
        void OnPacket(PacketRecord& packet) override {
            const std::string user = packet.user_name;
            const std::uint32_t command = static_cast<std::uint32_t>(packet.command);
            inner_.OnPacket(packet);
            std::lock_guard guard(mutex);
            (user == "me" ? own : others).push_back(command);
        }
        std::size_t OwnCount() {
            std::lock_guard guard(mutex);
            return own.size();
        }
        CReceiveListener& inner_;
        std::mutex mutex;
        std::vector<std::uint32_t> own;
        std::vector<std::uint32_t> others;
    } counting(listener);
    engine.SetListener(&counting);
    engine.AnnouncePresence();

    for (int i = 0; i < 300 && counting.OwnCount() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    UdpPeer sender("127.0.0.9", 0);
    UdpPeer inbox("127.0.0.9", MSG_PORT);
    sender.Send(Datagram(1, "zz", "barrier", kAnnounce), kEngineAddress);
    ASSERT_NE(inbox.ReceivePacket(), nullptr);
    engine.SetListener(nullptr);

    EXPECT_EQ(counting.own, (std::vector<std::uint32_t>{kAnnounce, kReply}));
    const std::vector<PeerEntry> peers = listener.PeersSnapshot();
    ASSERT_EQ(peers.size(), 2u);
    EXPECT_EQ(peers[0].key, "me (127.0.0.1|" + engine.HostName() + ")");
    EXPECT_EQ(peers[0].record.presence_mark, 0x01000000u);
}

// Peer-change notices are coalesced: while one is pending no other is posted, and the handler's
// snapshot re-arms them. A burst therefore costs one rebuild, which shows the whole burst.
TEST_F(ReceiveListenerTest, BurstOfAnnouncementsPostsOneNoticeUntilTheSnapshot) {
    constexpr int kPeers = 200;
    for (int i = 0; i < kPeers; ++i) {
        SendFromCrowd(i, ("p" + std::to_string(i)).c_str());
        ASSERT_NO_FATAL_FAILURE(PaceBurst(i));
    }
    Barrier();
    EXPECT_EQ(events_.Count<PeersChanged>(), 1u);
    EXPECT_EQ(listener_.TakePeersSnapshot().size(), kPeers + 1u);

    bob_.Send(Datagram(1000, "late", "pc", kReply), kEngineAddress);
    ASSERT_TRUE(events_.WaitFor<PeersChanged>(2));
    EXPECT_EQ(listener_.TakePeersSnapshot().size(), kPeers + 2u);
}

// A change that lands while the front end copies the table for a rebuild: the copy misses it,
// so it needs a notice of its own, and the next rebuild shows it. A snapshot that copied before
// re-arming would swallow that change under the notice being handled and leave no notice for it.
TEST_F(ReceiveListenerTest, LastRebuildAlwaysShowsTheFinalTable) {
    SendFromCrowd(0, "first");
    ASSERT_TRUE(events_.WaitFor<PeersChanged>(1));
    // The change comes on the taking thread, after the copy and before it is handed out.
    bool landed = false;
    listener_.SetAfterPeersCopied([&] {
        if (!landed) {
            landed = true;
            SendFromCrowd(1, "during");
            Barrier();
        }
    });
    EXPECT_EQ(listener_.TakePeersSnapshot().size(), 1u) << "the copy was made before the change";
    ASSERT_TRUE(landed);
    ASSERT_TRUE(events_.WaitFor<PeersChanged>(2, std::chrono::seconds(2)))
        << "the change during the copy was left without a notice";
    // Two crowd peers and the barrier.
    EXPECT_EQ(listener_.TakePeersSnapshot().size(), 3u);
}

}  // namespace
}  // namespace veltra
