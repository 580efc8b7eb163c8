// Presence at scale: PEERS fake peers, each a UDP socket of its own on a distinct 127.x.y.z
// address at port 2425, announce themselves to one instance (127.0.0.1) within about a second.
// The instance's front end handles PeersChanged on a thread of its own, as a front end does: it
// takes the table's snapshot and rebuilds the rows. Reports whether every peer is in the table,
// whether every one got its answer, and how much rebuild work the burst cost, against the
// PEERS * (PEERS + 1) / 2 rows that one rebuild per datagram would copy.
//
//   presence_bench [PEERS...]     (default 500 1000 2000; run in a network namespace of its own)
#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "common/events.h"
#include "common/settings.h"
#include "engine/engine.h"
#include "engine/packet.h"
#include "engine/protocol.h"
#include "engine/receive_listener.h"
#include "platform/socket.h"
#include "ui/presentation/peer_rows.h"

namespace veltra::bench {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr auto kAnnounceSpan = 950ms;
constexpr auto kAnswerLimit = 10s;

// Peer i lives at 127.1.x.y: never the instance's 127.0.0.1.
std::uint32_t PeerAddress(int index) {
    return LoopbackAddress(1, index);
}

struct Rebuilds {
    std::mutex mutex;
    std::size_t count = 0;
    std::size_t rows_copied = 0;
    std::vector<PeerRow> rows;
};

struct Outcome {
    int peers = 0;
    double announce_seconds = 0;
    std::size_t in_table = 0;
    int answered = 0;
    double answered_seconds = 0;
    std::size_t rebuilds = 0;
    std::size_t rows_copied = 0;
    bool rows_match = false;
};

// The table's entries as the session hands them to a front end.
std::vector<OnlinePeer> Online(const std::vector<PeerEntry>& snapshot) {
    std::vector<OnlinePeer> online;
    online.reserve(snapshot.size());
    for (const PeerEntry& entry : snapshot) {
        online.push_back(OnlinePeer{entry.key, entry.record.source_address, entry.record.user_name,
                                    entry.record.host_name});
    }
    return online;
}

Outcome Run(int peers) {
    Outcome outcome;
    outcome.peers = peers;
    Settings settings;
    Rebuilds rebuilds;
    std::atomic<CReceiveListener*> listener_for_sink{nullptr};
    LoopSink sink([&](Event& event) {
        CReceiveListener* listener = listener_for_sink.load();
        if (!std::holds_alternative<PeersChanged>(event) || listener == nullptr) {
            return;
        }
        const std::vector<PeerEntry> snapshot = listener->TakePeersSnapshot();
        std::vector<PeerRow> rows = BuildPeerRows(Online(snapshot));
        std::lock_guard guard(rebuilds.mutex);
        ++rebuilds.count;
        rebuilds.rows_copied += snapshot.size();
        rebuilds.rows = std::move(rows);
    });

    std::vector<platform::Socket> sockets;
    sockets.reserve(static_cast<std::size_t>(peers));
    for (int i = 0; i < peers; ++i) {
        platform::Socket socket = platform::Socket::Udp();
        if (!socket.Valid() || !socket.Bind(platform::MakeEndpoint(PeerAddress(i), MSG_PORT))) {
            std::fprintf(stderr, "cannot bind fake peer %d\n", i);
            std::exit(1);
        }
        sockets.push_back(std::move(socket));
    }

    CMessengerEngine engine(settings, platform::InetAddr("127.0.0.1"));
    CReceiveListener listener(sink, engine, nullptr);
    listener_for_sink = &listener;
    engine.SetListener(&listener);

    const platform::Endpoint instance =
        platform::MakeEndpoint(platform::InetAddr("127.0.0.1"), MSG_PORT);
    std::vector<char> packet(MAX_PACKET);
    const auto start = Clock::now();
    for (int i = 0; i < peers; ++i) {
        // Spread evenly over the span: peer i goes out at i/peers of it.
        std::this_thread::sleep_until(start + kAnnounceSpan * i / peers);
        const std::string user = "peer" + std::to_string(i);
        const std::string host = "host" + std::to_string(i);
        const int length =
            WritePacket(packet.data(), 1000 + i, user.c_str(), host.c_str(),
                        static_cast<std::int32_t>(CMD_ANNOUNCE), user.c_str(), nullptr);
        sockets[static_cast<std::size_t>(i)].SendTo(packet.data(), static_cast<std::size_t>(length),
                                                    instance);
    }
    outcome.announce_seconds = SecondsSince(start);

    // Every peer waits for its answer.
    std::vector<pollfd> waiting;
    for (const platform::Socket& socket : sockets) {
        waiting.push_back(pollfd{socket.Descriptor(), POLLIN, 0});
    }
    auto datagram = std::make_unique<RawDatagram>();
    auto record = std::make_unique<PacketRecord>();
    while (outcome.answered < peers && Clock::now() - start < kAnswerLimit) {
        if (poll(waiting.data(), waiting.size(), 100) <= 0) {
            continue;
        }
        for (pollfd& entry : waiting) {
            if ((entry.revents & POLLIN) == 0) {
                continue;
            }
            entry.revents = 0;
            const platform::Socket& socket =
                sockets[static_cast<std::size_t>(&entry - &waiting[0])];
            *datagram = RawDatagram{};
            const long got = socket.ReceiveFrom(datagram->data, MAX_PACKET, datagram->source);
            if (got <= 0) {
                continue;
            }
            datagram->byte_count = static_cast<int>(got);
            *record = PacketRecord{};
            if (ParsePacket(*datagram, *record) &&
                CommandNumber(record->command) == CMD_ANNOUNCE_REPLY) {
                ++outcome.answered;
                entry.fd = -1;  // answered: poll no longer looks at it
            }
        }
    }
    outcome.answered_seconds = SecondsSince(start);

    // Let the front end catch up with the last change, then compare its rows with the table.
    const auto settle = Clock::now();
    for (;;) {
        const std::vector<PeerRow> expected = BuildPeerRows(Online(listener.PeersSnapshot()));
        {
            std::lock_guard guard(rebuilds.mutex);
            outcome.rows_match = rebuilds.rows.size() == expected.size() &&
                                 std::equal(expected.begin(), expected.end(), rebuilds.rows.begin(),
                                            [](const PeerRow& a, const PeerRow& b) {
                                                return a.text == b.text && a.address == b.address;
                                            });
        }
        if (outcome.rows_match || Clock::now() - settle > 5s) {
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    engine.SetListener(nullptr);
    engine.Shutdown();
    sink.Stop();
    outcome.in_table = listener.PeersSnapshot().size();
    std::lock_guard guard(rebuilds.mutex);
    outcome.rebuilds = rebuilds.count;
    outcome.rows_copied = rebuilds.rows_copied;
    return outcome;
}

}  // namespace
}  // namespace veltra::bench

int main(int argc, char** argv) {
    using namespace veltra::bench;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        sizes.push_back(std::atoi(argv[i]));
    }
    if (sizes.empty()) {
        sizes = {500, 1000, 2000};
    }
    RaiseDescriptorLimit(static_cast<rlim_t>(*std::max_element(sizes.begin(), sizes.end())) + 256);
    std::printf("%6s %9s %9s %9s %10s %9s %12s %14s %10s %5s\n", "peers", "announce", "in table",
                "answered", "answered@", "rebuilds", "rows copied", "per datagram", "share",
                "rows");
    int status = 0;
    for (int peers : sizes) {
        const Outcome outcome = Run(peers);
        const double per_datagram = static_cast<double>(outcome.peers) * (outcome.peers + 1) / 2.0;
        std::printf("%6d %8.3fs %9zu %9d %9.3fs %9zu %12zu %14.0f %9.2f%% %5s\n", outcome.peers,
                    outcome.announce_seconds, outcome.in_table, outcome.answered,
                    outcome.answered_seconds, outcome.rebuilds, outcome.rows_copied, per_datagram,
                    100.0 * static_cast<double>(outcome.rows_copied) / per_datagram,
                    outcome.rows_match ? "same" : "DIFF");
        if (outcome.in_table != static_cast<std::size_t>(peers) || outcome.answered != peers ||
            !outcome.rows_match) {
            status = 1;
        }
    }
    return status;
}
