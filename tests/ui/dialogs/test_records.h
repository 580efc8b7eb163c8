#pragma once
// Peers and messages as the engine would hand them to the dialogs.

#include <memory>
#include <string>

#include "engine/peer_table.h"
#include "engine/window_messages.h"

namespace veltra::testing {

// user and host in code page 936; address dotted.
PeerEntry MakePeer(const std::string& user, const std::string& address, const std::string& host);
std::unique_ptr<MessageReceivedPayload> MakeMessage(const std::string& user,
                                                    const std::string& address,
                                                    const std::string& host,
                                                    const std::string& text);

}  // namespace veltra::testing
