#pragma once
// The pieces the fault tests share: a receiving instance (engine on 127.0.0.1 with its listener
// and downloads, files landing in a folder of its own, events recorded), and a misbehaving
// serving peer on 127.0.0.2 that offers entries and answers each connection with a scripted
// behaviour: reset, stall, trickle.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/settings.h"
#include "engine/engine.h"
#include "engine/packet.h"
#include "engine/protocol.h"
#include "engine/receive_listener.h"
#include "platform/socket.h"
#include "receiving/download_manager.h"
#include "tests/platform/temp_folder.h"
#include "tests/support/content.h"
#include "tests/support/fake_peer.h"
#include "tests/support/recording_sink.h"
#include "tests/support/wire.h"

namespace veltra::faults {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

inline constexpr const char* kReceiverAddress = "127.0.0.1";
inline constexpr const char* kPeerAddress = "127.0.0.2";

using testing::DirHeader;
using testing::FileHeader;
using testing::Pattern;
using testing::RecordingSink;
using testing::SendBytes;

// Ends the connection with a reset instead of an orderly close.
inline void Reset(const platform::Socket& socket) {
    const linger abort_now{1, 0};
    setsockopt(socket.Descriptor(), SOL_SOCKET, SO_LINGER, &abort_now, sizeof abort_now);
    socket.Interrupt();
}

// What the peer does with one connection once it has read the request; it runs on a thread of
// its own and must return once `stop` is raised (the peer's destructor raises it).
using Behaviour =
    std::function<void(const platform::Socket& connection, const std::atomic<bool>& stop)>;

// Waits up to limit for stop, in small steps; true when stop was raised.
inline bool SleepUnlessStopped(const std::atomic<bool>& stop, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (stop) {
            return true;
        }
        std::this_thread::sleep_for(10ms);
    }
    return stop.load();
}

// A serving peer at 127.0.0.2:2425 (TCP for the transfers, UDP for the offers). Connection n
// gets behaviours[n]; later ones are closed at once.
class MisbehavingPeer {
  public:
    explicit MisbehavingPeer(std::vector<Behaviour> behaviours)
        : behaviours_(std::move(behaviours)),
          listener_(platform::Socket::Tcp()),
          udp_(platform::Socket::Udp()) {
        const auto here = platform::MakeEndpoint(platform::InetAddr(kPeerAddress), MSG_PORT);
        listener_.SetReuseAddress();
        EXPECT_TRUE(listener_.Bind(here));
        EXPECT_TRUE(listener_.Listen(16));
        EXPECT_TRUE(udp_.Bind(here));
        accept_thread_ = std::thread([this] { AcceptLoop(); });
    }
    MisbehavingPeer(const MisbehavingPeer&) = delete;
    MisbehavingPeer& operator=(const MisbehavingPeer&) = delete;
    ~MisbehavingPeer() {
        stop_ = true;
        listener_.Interrupt();
        accept_thread_.join();
        for (std::thread& thread : connection_threads_) {
            thread.join();
        }
    }

    // Sends an offer of the entries ("id:name:size:time:kind" each) to the receiver.
    void Offer(const std::vector<std::string>& entries) {
        std::string list;
        for (const std::string& entry : entries) {
            list += entry + "\a";
        }
        std::vector<char> packet(MAX_PACKET);
        const int length =
            WritePacket(packet.data(), ++packet_number_, "peer", "faulty",
                        static_cast<std::int32_t>(CMD_MESSAGE | OPT_ATTACHMENTS), "", list.c_str());
        udp_.SendTo(packet.data(), static_cast<std::size_t>(length),
                    platform::MakeEndpoint(platform::InetAddr(kReceiverAddress), MSG_PORT));
    }

    std::size_t Connections() const { return connections_.load(); }

  private:
    void AcceptLoop() {
        for (std::size_t index = 0;; ++index) {
            auto connection = std::make_shared<platform::Socket>(listener_.Accept());
            if (!connection->Valid()) {
                return;
            }
            ++connections_;
            if (index >= behaviours_.size()) {
                continue;  // closed when the last reference goes
            }
            connection_threads_.emplace_back([this, connection, index] {
                connection->SetReceiveTimeout(2000);
                char request[1024];
                if (connection->Receive(request, sizeof request).Moved()) {
                    behaviours_[index](*connection, stop_);
                }
            });
        }
    }

    std::vector<Behaviour> behaviours_;
    platform::Socket listener_;
    platform::Socket udp_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> connections_{0};
    std::int32_t packet_number_ = 500;
    std::thread accept_thread_;
    std::list<std::thread> connection_threads_;  // touched by the accept thread only until join
};

// The receiving instance: engine, downloads and listener, files under a HOME of its own.
class Receiver {
  public:
    explicit Receiver(DownloadLimits limits)
        : home_(temp_.path().string()),
          engine_(settings_, platform::InetAddr(kReceiverAddress)),
          downloads_(events_, engine_, settings_, limits),
          listener_(events_, engine_, &downloads_) {
        engine_.SetListener(&listener_);
    }
    Receiver(const Receiver&) = delete;
    Receiver& operator=(const Receiver&) = delete;
    ~Receiver() { Shutdown(); }

    void Shutdown() {
        engine_.SetListener(nullptr);
        downloads_.Shutdown();
        engine_.Shutdown();
    }

    RecordingSink& Events() { return events_; }
    DownloadManager& Downloads() { return downloads_; }
    fs::path Received() const { return temp_.path() / "Received"; }
    std::string Read(const fs::path& relative) const {
        std::ifstream in(Received() / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // Every name in a folder of Received (hidden ones included), sorted.
    std::vector<std::string> Names(const fs::path& relative = {}) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(Received() / relative)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    testing::TempFolder temp_;
    testing::ScopedHome home_;
    Settings settings_;
    RecordingSink events_;
    CMessengerEngine engine_;
    DownloadManager downloads_;
    CReceiveListener listener_;
};

inline DownloadLimits QuickLimits(int idle_ms) {
    DownloadLimits limits;
    limits.connect_ms = 2000;
    limits.idle_ms = idle_ms;
    return limits;
}

}  // namespace veltra::faults
