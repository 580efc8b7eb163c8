#include "platform/control_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace veltra::platform {
namespace {

[[noreturn]] void Fail(int error, const std::string& step, const std::string& object) {
    throw std::system_error(error, std::generic_category(), step + " " + object);
}

bool AddressFor(const std::string& socket_path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (socket_path.size() >= sizeof(address.sun_path)) {
        return false;
    }
    std::memcpy(address.sun_path, socket_path.c_str(), socket_path.size() + 1);
    return true;
}

OwnedDescriptor StreamSocket() {
    return OwnedDescriptor(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
}

}  // namespace

void MakePrivateFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
        Fail(errno, "cannot make the control folder", path);
    }
    // lstat: a link planted there by somebody else must not lead the socket elsewhere.
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        Fail(errno, "cannot examine the control folder", path);
    }
    if (!S_ISDIR(st.st_mode) || st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
        Fail(EPERM, "refusing the control folder, not private to this user:", path);
    }
}

std::string ControlFolder() {
    std::string folder;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        folder = runtime;
        while (folder.size() > 1 && folder.back() == '/') {
            folder.pop_back();
        }
        folder += "/veltra";
    } else {
        // /tmp is everybody's: the folder carries the user's id and is checked to be the user's.
        folder = "/tmp/veltra-" + std::to_string(geteuid());
    }
    MakePrivateFolder(folder);
    return folder;
}

std::string ControlSocketPath(const std::string& folder) {
    return folder + "/control";
}

std::string InstanceLockPath(const std::string& folder) {
    return folder + "/lock";
}

std::optional<InstanceLock> InstanceLock::TryTake(const std::string& lock_path) {
    OwnedDescriptor fd(open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!fd.Valid()) {
        Fail(errno, "cannot open the instance lock", lock_path);
    }
    while (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            return std::nullopt;
        }
        if (errno != EINTR) {
            Fail(errno, "cannot lock", lock_path);
        }
    }
    return InstanceLock(std::move(fd));
}

std::optional<std::string> ControlConnection::ReadLine(std::size_t limit,
                                                       std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const std::size_t end = buffer_.find('\n'); end != std::string::npos) {
            std::string line = buffer_.substr(0, end);
            buffer_.erase(0, end + 1);
            return line;
        }
        if (buffer_.size() > limit) {
            return std::nullopt;
        }
        // Looked at once even when the time is up: what has come is taken.
        const auto left = std::max(std::chrono::ceil<std::chrono::milliseconds>(
                                       deadline - std::chrono::steady_clock::now()),
                                   std::chrono::milliseconds(0));
        pollfd readable{fd_.Get(), POLLIN, 0};
        const int ready = poll(&readable, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            return std::nullopt;
        }
        char chunk[4096];
        const ssize_t got = recv(fd_.Get(), chunk, sizeof chunk, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return std::nullopt;
        }
        buffer_.append(chunk, static_cast<std::size_t>(got));
    }
}

bool ControlConnection::WriteLine(const std::string& line) {
    const std::string data = line + '\n';
    std::size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t result =
            send(fd_.Get(), data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (result < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        sent += static_cast<std::size_t>(result);
    }
    return true;
}

std::optional<uid_t> ControlConnection::PeerUser() const {
    ucred credentials{};
    socklen_t size = sizeof credentials;
    if (getsockopt(fd_.Get(), SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0) {
        return std::nullopt;
    }
    return credentials.uid;
}

void ControlConnection::Shutdown() {
    shutdown(fd_.Get(), SHUT_RDWR);
}

ControlListener::ControlListener(std::string socket_path) : path_(std::move(socket_path)) {
    sockaddr_un address{};
    if (!AddressFor(path_, address)) {
        Fail(ENAMETOOLONG, "cannot bind the control socket", path_);
    }
    fd_ = StreamSocket();
    if (!fd_.Valid()) {
        Fail(errno, "cannot create the control socket", path_);
    }
    // The caller holds the lock, so whatever is there was left by an instance that ended.
    if (unlink(path_.c_str()) != 0 && errno != ENOENT) {
        Fail(errno, "cannot remove the stale control socket", path_);
    }
    // Made 0600 from the start: there is no moment in which another user could connect.
    const mode_t old_mask = umask(0177);
    const int bound = bind(fd_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    const int bind_error = errno;
    umask(old_mask);
    if (bound != 0) {
        Fail(bind_error, "cannot bind the control socket", path_);
    }
    if (listen(fd_.Get(), 16) != 0) {
        Fail(errno, "cannot listen on the control socket", path_);
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        Fail(errno, "cannot create the wake-up pipe of", path_);
    }
    wake_read_.Reset(ends[0]);
    wake_write_.Reset(ends[1]);
}

ControlListener::~ControlListener() {
    unlink(path_.c_str());
}

std::optional<ControlConnection> ControlListener::Accept() {
    for (;;) {
        pollfd waits[2] = {{fd_.Get(), POLLIN, 0}, {wake_read_.Get(), POLLIN, 0}};
        if (poll(waits, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return std::nullopt;
        }
        if (waits[1].revents != 0) {
            return std::nullopt;
        }
        OwnedDescriptor connection(accept4(fd_.Get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (connection.Valid()) {
            return ControlConnection(std::move(connection));
        }
        // A client that gave up before it was taken, or no descriptor left for now: the next one.
    }
}

void ControlListener::Interrupt() {
    const char wake = 0;
    std::size_t written = 0;
    WriteFully(wake_write_.Get(), &wake, 1, written);
}

std::optional<ControlConnection> ConnectControl(const std::string& socket_path) {
    sockaddr_un address{};
    if (!AddressFor(socket_path, address)) {
        return std::nullopt;
    }
    OwnedDescriptor fd = StreamSocket();
    if (!fd.Valid()) {
        return std::nullopt;
    }
    while (connect(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINTR) {
            return std::nullopt;  // ENOENT: none; ECONNREFUSED: a crashed instance's file
        }
    }
    ControlConnection connection(std::move(fd));
    if (connection.PeerUser() != geteuid()) {
        return std::nullopt;  // never hand a request to another user's process
    }
    return connection;
}

}  // namespace veltra::platform
