#pragma once
// Test doubles for the receive side: a UDP peer on a loopback address of the test's own network
// namespace, and a window that records what is posted to it.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/packet.h"
#include "engine/protocol.h"
#include "platform/socket.h"
#include "platform/window.h"

namespace veltra::testing {

// A packet as another system would send it.
inline std::string Datagram(std::int32_t number, const char* user, const char* host,
                            std::uint32_t command, const char* message = nullptr,
                            const char* extension = nullptr) {
    std::string buffer(MAX_PACKET, '\0');
    const int length = WritePacket(buffer.data(), number, user, host,
                                   static_cast<std::int32_t>(command), message, extension);
    buffer.resize(static_cast<std::size_t>(length));
    return buffer;
}

class UdpPeer {
  public:
    // port 0: any free port.
    UdpPeer(const char* address, std::uint16_t port) : socket_(platform::Socket::Udp()) {
        address_ = platform::InetAddr(address);
        bound_ = socket_.Bind(platform::MakeEndpoint(address_, port));
    }
    bool Bound() const { return bound_; }
    std::uint32_t Address() const { return address_; }

    void Send(const std::string& bytes, std::uint32_t to_address,
              std::uint16_t to_port = MSG_PORT) const {
        socket_.SendTo(bytes.data(), bytes.size(), platform::MakeEndpoint(to_address, to_port));
    }
    // The next datagram, or nothing after timeout_ms (at least 1).
    std::unique_ptr<RawDatagram> Receive(int timeout_ms = 2000) const {
        socket_.SetReceiveTimeout(timeout_ms < 1 ? 1 : timeout_ms);
        auto datagram = std::make_unique<RawDatagram>();
        const long length = socket_.ReceiveFrom(datagram->data, MAX_PACKET, datagram->source);
        if (length < 0 || length > MAX_PACKET) {
            return nullptr;
        }
        datagram->byte_count = static_cast<int>(length);
        datagram->data[length] = '\0';
        return datagram;
    }
    // The next datagram parsed, or null (nothing came, or it did not parse).
    std::unique_ptr<PacketRecord> ReceivePacket(int timeout_ms = 2000) const {
        std::unique_ptr<RawDatagram> datagram = Receive(timeout_ms);
        if (!datagram) {
            return nullptr;
        }
        auto record = std::make_unique<PacketRecord>();
        if (!ParsePacket(*datagram, *record)) {
            return nullptr;
        }
        return record;
    }

  private:
    platform::Socket socket_;
    std::uint32_t address_ = 0;
    bool bound_ = false;
};

class RecordingWindow : public platform::MessageWindow {
  public:
    // hook runs on the posting thread before a message is stored.
    void SetOnPost(std::function<void(const platform::WindowMessage&)> hook) {
        std::lock_guard guard(mutex_);
        on_post_ = std::move(hook);
    }

    void PostMessage(platform::WindowMessage message) override {
        std::lock_guard guard(mutex_);
        if (on_post_) {
            on_post_(message);
        }
        messages_.push_back(std::move(message));
        posted_.notify_all();
    }
    std::size_t Count(unsigned id) {
        std::lock_guard guard(mutex_);
        std::size_t count = 0;
        for (const auto& message : messages_) {
            count += message.id == id;
        }
        return count;
    }
    std::size_t Total() {
        std::lock_guard guard(mutex_);
        return messages_.size();
    }
    bool WaitFor(unsigned id, std::size_t count,
                 std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
        std::unique_lock lock(mutex_);
        return posted_.wait_for(lock, limit, [&] {
            std::size_t seen = 0;
            for (const auto& message : messages_) {
                seen += message.id == id;
            }
            return seen >= count;
        });
    }
    // Takes every message recorded so far.
    std::vector<platform::WindowMessage> Take() {
        std::lock_guard guard(mutex_);
        std::vector<platform::WindowMessage> taken = std::move(messages_);
        messages_.clear();
        return taken;
    }

  private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::vector<platform::WindowMessage> messages_;
    std::function<void(const platform::WindowMessage&)> on_post_;
};

}  // namespace veltra::testing
