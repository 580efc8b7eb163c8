#pragma once
// A serving peer at 127.0.0.2:2425 that answers each fetch with canned bytes, and the offers it
// makes, for the tests of the receiving side (which receives at 127.0.0.1).

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "engine/packet.h"
#include "engine/protocol.h"
#include "platform/socket.h"
#include "tests/support/wire.h"

namespace veltra::testing {

inline const char* const kPeerAddress = "127.0.0.2";
inline const char* const kOwnAddress = "127.0.0.1";

// Sends every byte; false when the connection fails first.
inline bool SendBytes(const platform::Socket& socket, std::string_view bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const long result = socket.Send(bytes.data() + sent, bytes.size() - sent);
        if (result <= 0) {
            return false;
        }
        sent += static_cast<std::size_t>(result);
    }
    return true;
}

// What the fake peer does with one connection after it has read the request.
using Answer = std::function<void(const std::string& request, const platform::Socket& socket)>;

// Sends bytes and closes the connection, as the transfer server does.
inline Answer Serve(std::string bytes) {
    return [bytes = std::move(bytes)](const std::string&, const platform::Socket& socket) {
        SendBytes(socket, bytes);
    };
}

// Sends bytes and then stays silent with the connection open until the downloader gives up.
inline Answer ServeThenStall(std::string bytes) {
    return [bytes = std::move(bytes)](const std::string&, const platform::Socket& socket) {
        SendBytes(socket, bytes);
        char sink[256];
        socket.SetReceiveTimeout(10000);
        while (socket.Receive(sink, sizeof sink).Moved()) {
        }
    };
}

// Answers each request with the answer for the file id it names.
inline Answer ById(std::map<unsigned, Answer> answers) {
    return
        [answers = std::move(answers)](const std::string& request, const platform::Socket& socket) {
            const auto found = answers.find(RequestedId(request));
            if (found != answers.end()) {
                found->second(request, socket);
            }
        };
}

// A transfer server stand-in at 127.0.0.2:2425: answers the n-th connection with the n-th
// answer (connections beyond the answers are closed at once) and records every request.
class FakePeer {
  public:
    explicit FakePeer(std::vector<Answer> answers)
        : answers_(std::move(answers)), listener_(platform::Socket::Tcp()) {
        Start();
    }
    // Every connection gets the same answer (which may look at the request).
    explicit FakePeer(Answer every_connection)
        : every_connection_(std::move(every_connection)), listener_(platform::Socket::Tcp()) {
        Start();
    }
    FakePeer(const FakePeer&) = delete;
    FakePeer& operator=(const FakePeer&) = delete;
    ~FakePeer() {
        listener_.Interrupt();
        thread_.join();
    }

    std::vector<std::string> Requests() {
        std::lock_guard guard(mutex_);
        return requests_;
    }
    std::size_t Connections() {
        std::lock_guard guard(mutex_);
        return connections_;
    }
    bool WaitForConnections(std::size_t count,
                            std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] { return connections_ >= count; });
    }

  private:
    void Start() {
        listener_.SetReuseAddress();
        EXPECT_TRUE(
            listener_.Bind(platform::MakeEndpoint(platform::InetAddr(kPeerAddress), MSG_PORT)));
        EXPECT_TRUE(listener_.Listen(8));
        thread_ = std::thread([this] { AcceptLoop(); });
    }
    void AcceptLoop() {
        for (std::size_t index = 0;; ++index) {
            platform::Socket connection = listener_.Accept();
            if (!connection.Valid()) {
                return;
            }
            connection.SetReceiveTimeout(5000);
            const std::string request = ReadRequest(connection);
            {
                std::lock_guard guard(mutex_);
                ++connections_;
                requests_.push_back(request);
                changed_.notify_all();
            }
            if (every_connection_) {
                every_connection_(request, connection);
            } else if (index < answers_.size()) {
                answers_[index](request, connection);
            }
        }
    }
    // A request is one packet ending with its NUL.
    static std::string ReadRequest(const platform::Socket& socket) {
        std::string request;
        char c;
        while (request.size() < 1024 && socket.Receive(&c, 1).Moved()) {
            request += c;
            if (c == '\0') {
                break;
            }
        }
        return request;
    }

    std::vector<Answer> answers_;
    Answer every_connection_;
    platform::Socket listener_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> requests_;
    std::size_t connections_ = 0;
    std::thread thread_;
};

// The packet of an offer from 127.0.0.2 whose extension is the attachment list.
inline std::unique_ptr<PacketRecord> OfferPacket(const std::string& extension,
                                                 std::int32_t packet_number = 100) {
    auto packet = std::make_unique<PacketRecord>();
    std::memset(packet.get(), 0, sizeof *packet);
    std::strcpy(packet->user_name, "peer");
    std::strcpy(packet->host_name, "pda");
    packet->source_address = platform::InetAddr(kPeerAddress);
    packet->version = 1;
    packet->packet_number = packet_number;
    packet->command = static_cast<std::int32_t>(CMD_MESSAGE | OPT_ATTACHMENTS);
    packet->extension_offset = 1;
    std::memcpy(packet->text + 1, extension.data(), extension.size());
    return packet;
}

}  // namespace veltra::testing
