#pragma once
// Helpers for the serving tests: a byte sink for the stream writers, and a client that fetches
// from an engine on 127.0.0.1 (every test runs in a network namespace of its own). Files and
// their contents come from tests/support/content.h.

#include <sys/socket.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "engine/protocol.h"
#include "platform/file.h"
#include "platform/socket.h"
#include "tests/platform/temp_folder.h"
#include "tests/support/content.h"

namespace veltra::testing {

inline const std::uint32_t kServerAddress = platform::InetAddr("127.0.0.1");

inline std::string ReceiveAll(const platform::Socket& socket) {
    std::string received;
    char buffer[65536];
    platform::IoResult count;
    while ((count = socket.Receive(buffer, sizeof buffer)).Moved()) {
        received.append(buffer, count.bytes);
    }
    if (count.status != platform::IoStatus::kEnd) {
        received += "<not closed>";  // the peer kept the connection open past the time limit
    }
    return received;
}

// Runs write on one end of a connected pair and collects what it sends, up to limit bytes; the
// reading end is then closed, so a writer with more to send sees its connection fail. Once
// pause_at bytes have come, reading pauses for at_pause to run (a writer with more to send waits
// for room meanwhile).
inline std::string Capture(const std::function<void(const platform::Socket&)>& write,
                           std::size_t limit = std::string::npos,
                           std::size_t pause_at = std::string::npos,
                           const std::function<void()>& at_pause = {}) {
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        return "socketpair failed";
    }
    platform::Socket writer(ends[0]);
    platform::Socket reader(ends[1]);
    std::thread writing([&] {
        write(writer);
        writer.Interrupt();
    });
    std::string received;
    char buffer[65536];
    while (received.size() < limit) {
        const std::size_t until = received.size() < pause_at ? std::min(limit, pause_at) : limit;
        const platform::IoResult count =
            reader.Receive(buffer, std::min(sizeof buffer, until - received.size()));
        if (!count.Moved()) {
            break;
        }
        received.append(buffer, count.bytes);
        if (received.size() == pause_at && at_pause) {
            at_pause();
        }
    }
    reader.Close();
    writing.join();
    return received;
}

// What path leads to now, as an offer examines it.
inline std::optional<platform::FileIdentity> IdentityOf(const std::filesystem::path& path) {
    const auto file =
        platform::File::OpenForRead(platform::Path(path.wstring()), platform::Sharing::kShared);
    return file ? file->Identity() : std::nullopt;
}

// "1:77:wm:pda:<command>:<message>" and its NUL, as the fetching side sends it.
inline std::string Request(std::int32_t command, const std::string& message) {
    return "1:77:wm:pda:" + std::to_string(command) + ":" + message + std::string(1, '\0');
}

inline std::string FileRequest(const std::string& id_field) {
    return Request(CMD_FETCH_FILE, "64:" + id_field + ":0:");
}

inline std::string DirectoryRequest(const std::string& id_field) {
    return Request(CMD_FETCH_DIR, "64:" + id_field + ":0:");
}

// A connection to the server from source_address (any loopback address of the namespace).
inline platform::Socket Connect(const char* source_address = "127.0.0.1") {
    platform::Socket client = platform::Socket::Tcp();
    client.Bind(platform::MakeEndpoint(platform::InetAddr(source_address), 0));
    client.SetReceiveTimeout(5000);
    if (!client.Connect(platform::MakeEndpoint(kServerAddress, MSG_PORT), 2000)) {
        client.Close();
    }
    return client;
}

// Sends request and returns everything the server sends until it closes.
inline std::string Fetch(const std::string& request, const char* source_address = "127.0.0.1") {
    platform::Socket client = Connect(source_address);
    if (!client.Valid()) {
        return "connect failed";
    }
    client.Send(request.data(), request.size());
    return ReceiveAll(client);
}

}  // namespace veltra::testing
