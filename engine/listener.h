#pragma once
// The engine knows the rest of the system through two interfaces: a listener that takes every
// received datagram, and a connection handler that serves every accepted TCP connection.

#include <memory>

#include "engine/packet.h"
#include "platform/socket.h"

namespace veltra {

class CEngineListener {
  public:
    virtual ~CEngineListener() = default;
    // Runs on the engine's receive thread. The record stays the engine's, which reuses it for
    // the next datagram: what the listener keeps, it copies.
    virtual void OnPacket(PacketRecord& packet) = 0;
};

class ConnectionHandler {
  public:
    virtual ~ConnectionHandler() = default;
    // Runs on a connection thread of its own. The engine closes the connection when this returns,
    // and interrupts it (receives and sends fail at once) when the engine shuts down.
    virtual void ServeConnection(const platform::Socket& connection) = 0;
};

}  // namespace veltra
