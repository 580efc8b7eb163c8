#pragma once
// Shared pieces of the receiving tests: a window that records what is posted to it, a peer at
// 127.0.0.2:2425 that answers each connection with canned bytes, offer packets, and the bytes of
// directory streams as a sender writes them.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/settings.h"
#include "engine/engine.h"
#include "engine/packet.h"
#include "engine/protocol.h"
#include "engine/window_messages.h"
#include "platform/socket.h"
#include "platform/window.h"
#include "receiving/download_context.h"
#include "tests/platform/temp_folder.h"

namespace veltra::testing {

using namespace std::chrono_literals;

inline const char* const kPeerAddress = "127.0.0.2";
inline const char* const kOwnAddress = "127.0.0.1";

// One posted message, with the payload's copy of name, size and outcome (or notice text) read out.
struct Posted {
    unsigned id = 0;
    std::int64_t wparam = 0;
    std::int64_t lparam = 0;
    bool has_payload = false;
    std::string name;
    std::uint64_t size = 0;
    FileOutcome outcome = FileOutcome::kStored;
    std::wstring text;
};

class RecordingWindow : public platform::MessageWindow {
  public:
    // Called on the posting thread with every message before it is recorded; set it before
    // anything can post.
    std::function<void(const Posted&)> on_post;

    void PostMessage(platform::WindowMessage message) override {
        Posted posted{message.id, message.wparam, message.lparam, false, {}, 0, {}, {}};
        if (const auto* payload = message.PayloadAs<FileEventPayload>()) {
            posted.has_payload = true;
            posted.name = payload->name;
            posted.size = payload->size;
            posted.outcome = payload->outcome;
        }
        if (const auto* notice = message.PayloadAs<NoticePayload>()) {
            posted.text = notice->text;
        }
        if (on_post) {
            on_post(posted);
        }
        std::lock_guard guard(mutex_);
        messages_.push_back(std::move(posted));
        changed_.notify_all();
    }

    std::vector<Posted> Messages() {
        std::lock_guard guard(mutex_);
        return messages_;
    }
    // The outcome of every WM_FILE_DONE, in order.
    std::vector<FileOutcome> Outcomes() {
        std::vector<FileOutcome> outcomes;
        for (const Posted& posted : Of(WM_FILE_DONE)) {
            outcomes.push_back(posted.outcome);
        }
        return outcomes;
    }
    std::vector<std::wstring> Notices() {
        std::vector<std::wstring> texts;
        for (const Posted& posted : Of(WM_LOG_NOTICE)) {
            texts.push_back(posted.text);
        }
        return texts;
    }
    std::vector<Posted> Of(unsigned id) {
        std::vector<Posted> result;
        for (const Posted& posted : Messages()) {
            if (posted.id == id) {
                result.push_back(posted);
            }
        }
        return result;
    }
    // Waits (a few seconds at most) until count messages of this id have been posted.
    bool WaitFor(unsigned id, std::size_t count, std::chrono::milliseconds limit = 5000ms) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit, [&] {
            std::size_t seen = 0;
            for (const Posted& posted : messages_) {
                seen += posted.id == id;
            }
            return seen >= count;
        });
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Posted> messages_;
};

// What the fake peer does with one connection after it has read the request.
using Answer = std::function<void(const std::string& request, const platform::Socket& socket)>;

inline bool SendAllBytes(const platform::Socket& socket, const std::string& bytes) {
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

// Sends bytes and closes the connection, as the transfer server does.
inline Answer Serve(std::string bytes) {
    return [bytes = std::move(bytes)](const std::string&, const platform::Socket& socket) {
        SendAllBytes(socket, bytes);
    };
}

// Sends bytes and then stays silent with the connection open until the downloader gives up.
inline Answer ServeThenStall(std::string bytes) {
    return [bytes = std::move(bytes)](const std::string&, const platform::Socket& socket) {
        SendAllBytes(socket, bytes);
        char sink[256];
        socket.SetReceiveTimeout(10000);
        while (socket.Receive(sink, sizeof sink) > 0) {
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
    bool WaitForConnections(std::size_t count, std::chrono::milliseconds limit = 5000ms) {
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
        while (request.size() < 1024 && socket.Receive(&c, 1) == 1) {
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

// The fields of a request "1:number:user:host:command:offer:id:offset:" and its NUL.
inline std::vector<std::string> RequestFields(const std::string& request) {
    std::vector<std::string> fields(1);
    for (const char c : request) {
        if (c == ':') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}
inline unsigned RequestedId(const std::string& request) {
    const std::vector<std::string> fields = RequestFields(request);
    return fields.size() > 6 ? static_cast<unsigned>(std::stoul(fields[6], nullptr, 16)) : ~0u;
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

// One attachment entry as a sender writes it (attribute 1 = file, 2 = directory).
inline std::string Entry(unsigned id, const std::string& name, std::uint64_t size,
                         unsigned attribute = 1) {
    char text[1200];
    std::snprintf(text, sizeof text, "%x:%s:%x%x:%x:%x\a", id, name.c_str(),
                  static_cast<unsigned>(size >> 32), static_cast<unsigned>(size), 0x5f3a11u,
                  attribute);
    return text;
}

// Directory-stream items in the sender's format.
inline std::string WithLength(const std::string& rest) {
    char length[16];
    std::snprintf(length, sizeof length, "%04zx", rest.size() + 4);
    return length + rest;
}
inline std::string DirHeader(const std::string& name) {
    return WithLength(":" + name + ":0:2");
}
inline std::string FileItem(const std::string& name, const std::string& content) {
    char size[32];
    std::snprintf(size, sizeof size, "%x%x", static_cast<unsigned>(content.size() >> 32),
                  static_cast<unsigned>(content.size()));
    return WithLength(":" + name + ":" + size + ":1") + content;
}
inline std::string EndMark() {
    return "08:.:0:3";
}

// Bytes with a pattern, so that a shifted or mixed-up chunk shows.
inline std::string Pattern(std::size_t size, unsigned seed = 1) {
    std::string bytes(size, '\0');
    std::uint32_t state = seed * 2654435761u + 1;
    for (char& c : bytes) {
        state = state * 1664525u + 1013904223u;
        c = static_cast<char>(state >> 24);
    }
    return bytes;
}

inline std::optional<std::string> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// A home folder of its own, settings, a receiving engine at 127.0.0.1 and a recording window.
class ReceivingTest : public ::testing::Test {
  protected:
    ReceivingTest()
        : home_(temp_.path().string()), engine_(settings_, platform::InetAddr(kOwnAddress)) {}

    std::filesystem::path Received() const { return temp_.path() / "Received"; }

    // Short limits, so that tests of the time rules end quickly.
    static DownloadLimits QuickLimits() {
        DownloadLimits limits;
        limits.connect_ms = 500;
        limits.idle_ms = 500;
        return limits;
    }

    TempFolder temp_;
    ScopedHome home_;
    Settings settings_;
    CMessengerEngine engine_;
    RecordingWindow window_;
};

}  // namespace veltra::testing
