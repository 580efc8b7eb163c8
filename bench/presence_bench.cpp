// Presence at scale: PEERS fake peers, each a UDP socket of its own on a distinct 127.x.y.z
// address at port 2425, announce themselves to one instance (127.0.0.1) within about a second.
// The instance's front end handles PeersChanged on a thread of its own, as a front end does: it
// takes the table's snapshot and rebuilds the rows. Reports whether every peer is in the table,
// whether every one got its answer, and how much rebuild work the burst cost, against the
// PEERS * (PEERS + 1) / 2 rows that one rebuild per datagram would copy. Counts the announcements
// the instance never saw (sent minus handed to its listener) and the kernel's count of datagrams
// dropped for a full receive buffer (Udp RcvbufErrors: the namespace's own), and what the receive
// thread allocated per datagram. Each size runs RUNS times (1 by default); the load average at
// the end of a run says how busy the machine was.
//
//   presence_bench [--runs RUNS] [PEERS...]   (default 500 1000 2000; in a network namespace)
#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <new>
#include <sstream>
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

// Every allocation of this process, counted per thread: what the instance's receive thread
// allocates per datagram. Trivial thread-locals, so the count costs an add. Kept out of line:
// inlined, GCC takes the free of what this new returned for a mismatch.
namespace {
struct ThreadAllocations {
    std::uint64_t count = 0;
    std::uint64_t bytes = 0;
};
thread_local constinit ThreadAllocations this_thread_allocations{};
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
    ++this_thread_allocations.count;
    this_thread_allocations.bytes += size;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* memory) noexcept {
    std::free(memory);
}
[[gnu::noinline]] void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

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

// The kernel's UDP counters of this network namespace (/proc/net/snmp): datagrams dropped for a
// full receive buffer; -1 when they cannot be read.
long UdpReceiveBufferErrors() {
    std::ifstream snmp("/proc/net/snmp");
    std::string names;
    std::string values;
    while (std::getline(snmp, names) && std::getline(snmp, values)) {
        if (names.rfind("Udp: ", 0) != 0) {
            continue;
        }
        std::istringstream name_words(names);
        std::istringstream value_words(values);
        std::string name;
        std::string value;
        while (name_words >> name && value_words >> value) {
            if (name == "RcvbufErrors") {
                return std::stol(value);
            }
        }
    }
    return -1;
}

// The one-minute load average of the machine.
double LoadAverage() {
    double load = -1;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

// Stands between the engine and the listener on the receive thread: counts the datagrams handed
// over and what the receive thread has allocated so far (the engine's part included).
class CountingListener : public CEngineListener {
  public:
    explicit CountingListener(CEngineListener& inner) : inner_(&inner) {}
    void OnPacket(PacketRecord& packet) override {
        ++datagrams_;
        inner_->OnPacket(packet);
        allocations_ = this_thread_allocations.count;
        allocated_bytes_ = this_thread_allocations.bytes;
    }
    std::uint64_t Datagrams() const { return datagrams_; }
    std::uint64_t Allocations() const { return allocations_; }
    std::uint64_t AllocatedBytes() const { return allocated_bytes_; }

  private:
    CEngineListener* inner_;
    std::atomic<std::uint64_t> datagrams_{0};
    std::atomic<std::uint64_t> allocations_{0};
    std::atomic<std::uint64_t> allocated_bytes_{0};
};

struct Outcome {
    int peers = 0;
    int sent = 0;
    std::uint64_t received = 0;
    long receive_buffer_errors = 0;
    double allocations_per_datagram = 0;
    double bytes_per_datagram = 0;
    double load = 0;
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
    CountingListener counting(listener);
    listener_for_sink = &listener;
    const long errors_before = UdpReceiveBufferErrors();
    engine.SetListener(&counting);

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
        if (sockets[static_cast<std::size_t>(i)].SendTo(
                packet.data(), static_cast<std::size_t>(length), instance) == length) {
            ++outcome.sent;
        }
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
    outcome.received = counting.Datagrams();
    outcome.receive_buffer_errors = UdpReceiveBufferErrors() - errors_before;
    if (outcome.received > 0) {
        const auto received = static_cast<double>(outcome.received);
        outcome.allocations_per_datagram = static_cast<double>(counting.Allocations()) / received;
        outcome.bytes_per_datagram = static_cast<double>(counting.AllocatedBytes()) / received;
    }
    outcome.load = LoadAverage();
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
    int runs = 1;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            sizes.push_back(std::atoi(argv[i]));
        }
    }
    if (sizes.empty()) {
        sizes = {500, 1000, 2000};
    }
    RaiseDescriptorLimit(static_cast<rlim_t>(*std::max_element(sizes.begin(), sizes.end())) + 256);
    // allocs and bytes: what the receive thread allocated per datagram received.
    std::printf("%6s %4s %9s %9s %9s %9s %8s %8s %7s %7s %9s %12s %9s %5s %5s\n", "peers", "run",
                "announce", "in table", "answered", "answered@", "dropped", "rcvbuf", "allocs",
                "bytes", "rebuilds", "rows copied", "share", "rows", "load");
    int status = 0;
    for (int peers : sizes) {
        for (int run = 1; run <= runs; ++run) {
            const Outcome outcome = Run(peers);
            const double per_datagram =
                static_cast<double>(outcome.peers) * (outcome.peers + 1) / 2.0;
            const long dropped = outcome.sent - static_cast<long>(outcome.received);
            std::printf(
                "%6d %4d %8.3fs %9zu %9d %8.3fs %8ld %8ld %7.2f %7.0f %9zu %12zu "
                "%8.2f%% %5s %5.2f\n",
                outcome.peers, run, outcome.announce_seconds, outcome.in_table, outcome.answered,
                outcome.answered_seconds, dropped, outcome.receive_buffer_errors,
                outcome.allocations_per_datagram, outcome.bytes_per_datagram, outcome.rebuilds,
                outcome.rows_copied,
                100.0 * static_cast<double>(outcome.rows_copied) / per_datagram,
                outcome.rows_match ? "same" : "DIFF", outcome.load);
            std::fflush(stdout);
            if (outcome.in_table != static_cast<std::size_t>(peers) || outcome.answered != peers ||
                !outcome.rows_match || outcome.sent != peers || dropped != 0) {
                status = 1;
            }
        }
    }
    return status;
}
