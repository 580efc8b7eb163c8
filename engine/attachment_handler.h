#pragma once
// Where the listener hands a message that offers attachments: the receiving side fetches them
// on a thread of its own. Without a handler such messages are dropped.

#include <memory>

#include "engine/packet.h"

namespace veltra {

class AttachmentHandler {
  public:
    virtual ~AttachmentHandler() = default;
    // Called on the engine's receive thread; must not wait for the download. The record now
    // belongs to the handler.
    virtual void OnAttachments(std::unique_ptr<PacketRecord> packet) = 0;
};

}  // namespace veltra
