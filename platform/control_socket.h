#pragma once
// The local way into a running instance: a Unix stream socket in a folder only its user can
// enter, beside a lock file whose holder is the one instance of that user. Holding the lock is
// what makes an instance the running one: the kernel lets it go when the process ends however it
// ends, so a socket file found by the holder is a crashed instance's and is replaced.

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "platform/owned_descriptor.h"

namespace veltra::platform {

// $XDG_RUNTIME_DIR/veltra when that variable holds an absolute path, else /tmp/veltra-UID: made
// 0700 when missing. Throws std::system_error when it cannot be made, or when what is there is
// not a folder of this user's own that nobody else may enter (EPERM).
std::string ControlFolder();
// Makes path a folder (0700) when missing and checks it as ControlFolder does.
void MakePrivateFolder(const std::string& path);

// The socket's and the lock's paths in folder.
std::string ControlSocketPath(const std::string& folder);
std::string InstanceLockPath(const std::string& folder);

// An exclusive flock on the lock file, held until destroyed.
class InstanceLock {
  public:
    // Nothing when another process holds it; throws std::system_error when the file cannot be
    // opened.
    static std::optional<InstanceLock> TryTake(const std::string& lock_path);

  private:
    explicit InstanceLock(OwnedDescriptor fd) : fd_(std::move(fd)) {}
    OwnedDescriptor fd_;
};

// One accepted or connected stream, read a line at a time. Writes never raise SIGPIPE.
class ControlConnection {
  public:
    explicit ControlConnection(OwnedDescriptor fd) : fd_(std::move(fd)) {}

    // The next line without its LF. Nothing at the end of the stream, after a failure, when a
    // line grows beyond limit bytes, or when nothing comes within timeout.
    std::optional<std::string> ReadLine(std::size_t limit, std::chrono::milliseconds timeout);
    // line and a LF; false when the other side has gone.
    bool WriteLine(const std::string& line);
    // The user of the process on the other side (SO_PEERCRED); nothing when it cannot be told.
    std::optional<uid_t> PeerUser() const;
    // Ends the stream both ways; a read waiting in another thread returns.
    void Shutdown();

  private:
    OwnedDescriptor fd_;
    std::string buffer_;
};

// The listening socket of the running instance.
class ControlListener {
  public:
    // Binds socket_path (a file there is removed first: only the lock's holder may call this),
    // 0600, and listens. Throws std::system_error naming the step and the path.
    explicit ControlListener(std::string socket_path);
    // Removes the socket file.
    ~ControlListener();
    ControlListener(const ControlListener&) = delete;
    ControlListener& operator=(const ControlListener&) = delete;

    // The next connection; nothing once Interrupt has been called.
    std::optional<ControlConnection> Accept();
    // Any thread: Accept returns nothing from now on.
    void Interrupt();

  private:
    std::string path_;
    OwnedDescriptor fd_;
    OwnedDescriptor wake_read_;
    OwnedDescriptor wake_write_;
};

// Connects to the socket at socket_path when a process of this user listens there; nothing when
// none does (no file, a stale file, another user's socket).
std::optional<ControlConnection> ConnectControl(const std::string& socket_path);

}  // namespace veltra::platform
