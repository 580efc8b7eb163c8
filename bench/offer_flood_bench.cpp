// An offer flood: while one download batch is held up by a peer that accepts its connection and
// then sends nothing, OFFERS offers arrive at one instance (127.0.0.1) within about a second,
// from SOURCES distinct addresses (127.2.x.y). Reports what the waiting offers cost the instance:
// threads, resident memory, CPU while they wait, and how long a shutdown then takes.
//
//   offer_flood_bench [OFFERS SOURCES]...   (default 2000 1 2000 2000; in a network namespace)
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/bench_support.h"
#include "common/events.h"
#include "common/settings.h"
#include "engine/engine.h"
#include "engine/packet.h"
#include "engine/protocol.h"
#include "engine/receive_listener.h"
#include "platform/socket.h"
#include "receiving/download_manager.h"

namespace veltra::bench {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kInstanceAddress = "127.0.0.1";
constexpr const char* kStallingPeerAddress = "127.0.0.2";
constexpr auto kFloodSpan = 950ms;
constexpr auto kSettle = 1s;
constexpr auto kCpuWindow = 3s;

// Accepts every connection at 127.0.0.2:2425 and keeps it open without a byte, until Stop.
class StallingPeer {
  public:
    StallingPeer() : listener_(platform::Socket::Tcp()) {
        listener_.SetReuseAddress();
        const bool listening = listener_.Bind(platform::MakeEndpoint(
                                   platform::InetAddr(kStallingPeerAddress), MSG_PORT)) &&
                               listener_.Listen(16);
        if (!listening) {
            std::fprintf(stderr, "cannot listen at %s\n", kStallingPeerAddress);
            std::exit(1);
        }
        thread_ = std::thread([this] {
            for (;;) {
                platform::Socket connection = listener_.Accept();
                if (!connection.Valid()) {
                    return;
                }
                held_.push_back(std::move(connection));
                ++accepted_;
            }
        });
    }
    ~StallingPeer() {
        listener_.Interrupt();
        thread_.join();
    }
    StallingPeer(const StallingPeer&) = delete;
    StallingPeer& operator=(const StallingPeer&) = delete;

    bool WaitForConnection(std::chrono::milliseconds limit) const {
        const auto end = Clock::now() + limit;
        while (accepted_ == 0 && Clock::now() < end) {
            std::this_thread::sleep_for(5ms);
        }
        return accepted_ > 0;
    }

  private:
    platform::Socket listener_;
    std::vector<platform::Socket> held_;  // touched by the accept thread only until join
    std::atomic<int> accepted_{0};
    std::thread thread_;
};

std::vector<char> OfferDatagram(std::int32_t number) {
    std::vector<char> packet(MAX_PACKET);
    const int length = WritePacket(packet.data(), number, "flood", "flood",
                                   static_cast<std::int32_t>(CMD_MESSAGE | OPT_ATTACHMENTS), "",
                                   "0:f.bin:a:0:1\a");
    packet.resize(static_cast<std::size_t>(length));
    return packet;
}

struct Outcome {
    int offers = 0;
    int sources = 0;
    int threads_before = 0;
    int threads_after = 0;
    long resident_before_kb = 0;
    long resident_after_kb = 0;
    double cores_waiting = 0;
    std::size_t notices = 0;
    double shutdown_seconds = 0;
};

Outcome Run(int offers, int sources) {
    Outcome outcome;
    outcome.offers = offers;
    outcome.sources = sources;
    const std::filesystem::path home =
        std::filesystem::temp_directory_path() / ("veltra-flood-" + std::to_string(getpid()));
    std::filesystem::create_directories(home);
    setenv("HOME", home.c_str(), 1);

    std::vector<platform::Socket> senders;
    for (int i = 0; i < sources; ++i) {
        platform::Socket socket = platform::Socket::Udp();
        if (!socket.Bind(platform::MakeEndpoint(LoopbackAddress(2, i), 0))) {
            std::fprintf(stderr, "cannot bind source %d\n", i);
            std::exit(1);
        }
        senders.push_back(std::move(socket));
    }
    platform::Socket stalled_source = platform::Socket::Udp();
    stalled_source.Bind(platform::MakeEndpoint(platform::InetAddr(kStallingPeerAddress), 0));

    std::atomic<std::size_t> notices{0};
    LoopSink sink([&](Event& event) { notices += std::holds_alternative<LogNotice>(event); });
    Settings settings;
    StallingPeer peer;
    CMessengerEngine engine(settings, platform::InetAddr(kInstanceAddress));
    DownloadManager downloads(sink, engine, settings);
    CReceiveListener listener(sink, engine, &downloads);
    engine.SetListener(&listener);
    const platform::Endpoint instance =
        platform::MakeEndpoint(platform::InetAddr(kInstanceAddress), MSG_PORT);

    // The batch that holds everything up.
    const std::vector<char> first = OfferDatagram(1);
    stalled_source.SendTo(first.data(), first.size(), instance);
    if (!peer.WaitForConnection(5s)) {
        std::fprintf(stderr, "the first batch never connected\n");
        std::exit(1);
    }
    outcome.threads_before = ThreadCount();
    outcome.resident_before_kb = StatusKb("VmRSS:");

    const auto start = Clock::now();
    for (int i = 0; i < offers; ++i) {
        std::this_thread::sleep_until(start + kFloodSpan * i / offers);
        const std::vector<char> packet = OfferDatagram(100 + i);
        senders[static_cast<std::size_t>(i % sources)].SendTo(packet.data(), packet.size(),
                                                              instance);
    }
    std::this_thread::sleep_for(kSettle);
    outcome.threads_after = ThreadCount();
    outcome.resident_after_kb = StatusKb("VmRSS:");
    const double cpu_start = CpuSeconds();
    std::this_thread::sleep_for(kCpuWindow);
    outcome.cores_waiting =
        (CpuSeconds() - cpu_start) / std::chrono::duration<double>(kCpuWindow).count();

    const auto stop = Clock::now();
    engine.SetListener(nullptr);
    downloads.Shutdown();
    engine.Shutdown();
    outcome.shutdown_seconds = SecondsSince(stop);
    sink.Stop();
    outcome.notices = notices;
    std::filesystem::remove_all(home);
    return outcome;
}

}  // namespace
}  // namespace veltra::bench

int main(int argc, char** argv) {
    using namespace veltra::bench;
    std::vector<std::pair<int, int>> runs;
    for (int i = 1; i + 1 < argc; i += 2) {
        runs.emplace_back(std::atoi(argv[i]), std::max(1, std::atoi(argv[i + 1])));
    }
    if (runs.empty()) {
        runs = {{2000, 1}, {2000, 2000}};
    }
    int most_sources = 1;
    for (const auto& run : runs) {
        most_sources = std::max(most_sources, run.second);
    }
    RaiseDescriptorLimit(static_cast<rlim_t>(most_sources) + 256);
    std::printf("%6s %7s %15s %19s %12s %8s %9s\n", "offers", "sources", "threads", "resident MiB",
                "CPU waiting", "notices", "shutdown");
    for (const auto& [offers, sources] : runs) {
        const Outcome outcome = Run(offers, sources);
        std::printf("%6d %7d %6d -> %5d %8.1f -> %6.1f %10.2f c %8zu %8.3fs\n", outcome.offers,
                    outcome.sources, outcome.threads_before, outcome.threads_after,
                    static_cast<double>(outcome.resident_before_kb) / 1024,
                    static_cast<double>(outcome.resident_after_kb) / 1024, outcome.cores_waiting,
                    outcome.notices, outcome.shutdown_seconds);
    }
    return 0;
}
