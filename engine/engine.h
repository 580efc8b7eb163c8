#pragma once
// The one protocol object of the process: the UDP and TCP sockets on port 2425, the packet
// counter and names that go into every header, and the threads that wait for traffic.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/event_sink.h"
#include "common/settings.h"
#include "engine/address_watcher.h"
#include "engine/connection_threads.h"
#include "engine/listener.h"
#include "engine/notice_log.h"
#include "engine/packet.h"
#include "platform/datagram_batch.h"
#include "platform/socket.h"

namespace veltra {

class CMessengerEngine {
  public:
    // Binds both sockets to port 2425 of bind_address (every local address by default), starts
    // the receive and accept threads and, on every address, the watch over the host's addresses,
    // which announces presence again once a change has settled (kAddressSettle). Throws
    // std::system_error with the errno when a step fails, a thread that cannot start included,
    // its what() naming the step and the port ("cannot bind UDP port 2425: Address already in
    // use"); whatever was set up before is released and no thread is left running.
    explicit CMessengerEngine(const Settings& settings,
                              std::uint32_t bind_address = platform::kAnyAddress);
    ~CMessengerEngine();
    CMessengerEngine(const CMessengerEngine&) = delete;
    CMessengerEngine& operator=(const CMessengerEngine&) = delete;

    // Registers (or, with null, clears) the receiver of every datagram. Clearing waits until a
    // call to the old listener that is in progress has returned, so the listener may then be
    // destroyed. Datagrams that arrive before the first registration wait in the socket.
    void SetListener(CEngineListener* listener);
    // Registers the server of TCP connections; it must outlive Shutdown().
    void SetConnectionHandler(ConnectionHandler* handler);
    // Where the engine logs trouble that its threads got over (a handler that threw, a connection
    // thread that could not start), each kind once a minute; null for nowhere. It must outlive
    // Shutdown().
    void SetNoticeSink(EventSink* sink);

    // Stops the threads (waiting for connection threads, whose sockets are interrupted) and closes
    // the sockets. Sends nothing. Safe to call twice; the destructor calls it.
    void Shutdown();

    // Builds a packet with a fresh number into buffer (MAX_PACKET bytes); returns the number.
    std::int32_t BuildPacket(char* buffer, std::int32_t command, const char* message,
                             const char* extension, int& length);
    // Sends one datagram to address (network order) at port; returns the packet length. A send
    // that fails is not reported.
    int SendDatagram(std::uint32_t address, std::uint16_t port, std::int32_t command,
                     const char* message, const char* extension);
    // Broadcasts the presence announcement to 255.255.255.255 and, when the engine listens on
    // every address, to the directed broadcast of each network of the host's that the first
    // does not reach (see DirectedBroadcasts); then repeats it to every host of the broadcast
    // list. A host with one network and an empty list sends one datagram. Any thread.
    void AnnouncePresence();
    // Tells the peers that this user leaves (CMD_DEPART), to where an announcement goes, so
    // that they drop the row at once; from now on a change of the host's addresses announces
    // nothing. Sends and returns; it waits for nobody. Call it from one thread.
    void AnnounceDeparture();

    // From now on every datagram carries user_name and an announcement goes to the hosts of
    // broadcast_list (';'-separated) instead of the settings' values; then presence is announced
    // again. A peer lists a user by name, so when the name changes the old one departs first,
    // leaving no row behind. Any thread: the receive thread builds answers meanwhile.
    void ChangeIdentity(const std::wstring& user_name, const std::wstring& broadcast_list);
    // The user name that datagrams carry now, in code page 936.
    std::string UserName() const;

    std::uint16_t Port() const { return port_; }
    std::uint32_t BindAddress() const { return bind_address_; }
    const std::string& HostName() const { return host_name_; }
    const Settings& GetSettings() const { return *settings_; }
    // How often the accept loop has paused: once after each accept that failed.
    std::uint64_t AcceptPauses() const { return accept_pauses_; }

  private:
    // One datagram of command to each place presence goes, in order.
    void SendPresence(std::int32_t command);
    std::vector<std::uint32_t> PresenceTargets() const;
    void ReceiveLoop();
    // Parses one received datagram and hands it to the listener; false when the listener has
    // been cleared, which ends the loop.
    bool HandleDatagram(const platform::ReceivedDatagram& received);
    void AcceptLoop();
    // Hands the connection to a thread of its own, unless its peer has enough open already.
    void StartConnection(platform::Socket connection);

    const Settings* settings_;
    std::uint16_t port_ = MSG_PORT;
    std::uint32_t bind_address_;
    platform::Socket udp_socket_;
    platform::Socket tcp_socket_;
    std::string host_name_;
    std::atomic<std::uint32_t> packet_counter_{0};
    // Read for every datagram built, changed by SetIdentity.
    mutable std::mutex identity_mutex_;
    std::string user_name_;  // code page 936
    std::wstring broadcast_list_;
    // The receive thread's, made once: a datagram costs no allocation.
    std::unique_ptr<platform::DatagramBatch> receive_batch_;
    std::unique_ptr<RawDatagram> receive_buffer_;
    std::unique_ptr<PacketRecord> receive_record_;

    std::mutex listener_mutex_;
    std::condition_variable listener_registered_;
    CEngineListener* listener_ = nullptr;
    bool listener_ever_set_ = false;
    std::atomic<ConnectionHandler*> connection_handler_{nullptr};
    NoticeLog notices_;

    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> accept_pauses_{0};
    std::mutex pause_mutex_;
    std::condition_variable pause_wake_;
    ConnectionThreads connections_;
    std::thread receive_thread_;
    std::thread accept_thread_;
    std::unique_ptr<AddressWatcher> address_watcher_;
};

}  // namespace veltra
