#pragma once
// Serves the peers' TCP requests for offered files and directories: one request per connection,
// answered with the file's raw bytes or the directory stream, each offered entry once.

#include "common/event_sink.h"
#include "engine/engine.h"
#include "engine/listener.h"
#include "platform/socket.h"
#include "serving/directory_stream.h"
#include "serving/file_content.h"
#include "serving/offer_table.h"

namespace veltra {

struct TransferLimits {
    // A connection that has not delivered its request within this time is closed.
    int request_ms = 30 * 1000;
    // A peer that accepts no data for this long is given up, and so is one that has not closed
    // the connection this long after taking the last byte.
    int stalled_peer_ms = 60 * 1000;
};

// The engine accepts the connections (pausing 100 ms after each) and calls ServeConnection on a
// thread per connection; it interrupts and joins those threads in Shutdown(). The server owns the
// offer table those threads read, so it must outlive the engine's Shutdown(): create it after the
// engine and shut the engine down before the server goes.
class TransferServer : public ConnectionHandler {
  public:
    // reports, when given, gets OfferServed for every entry served; it must outlive the
    // connection threads.
    explicit TransferServer(TransferLimits limits = {}, EventSink* reports = nullptr)
        : limits_(limits), reports_(reports) {}
    // Also registers the server as the engine's connection handler.
    explicit TransferServer(CMessengerEngine& engine, TransferLimits limits = {},
                            EventSink* reports = nullptr);
    TransferServer(const TransferServer&) = delete;
    TransferServer& operator=(const TransferServer&) = delete;

    OfferTable& Offers() { return offers_; }

    // Reads one request (one receive, at most 1024 bytes) and serves it:
    // - closed without data: no request within the time limit, not a packet, a command word other
    //   than exactly fetch-file or fetch-directory, no file id, an id not in the table, or an id
    //   offered to another address (that entry stays for its recipient);
    // - otherwise the file's content or the directory stream goes out (nothing when the path no
    //   longer leads to what was examined for the offer), and the id is removed when the sending
    //   has ended, whether all of it went out or not, and the report sink learns which of the two
    //   it was: whole only when the content was read whole and the peer closed the connection in
    //   order after taking every byte (a reset, or no close within stalled_peer_ms of taking the
    //   last byte, is not whole).
    void ServeConnection(const platform::Socket& connection) override;

  private:
    void ReportServed(std::int32_t file_id, const OfferEntry& entry, bool directory, bool whole,
                      std::uint32_t peer_address);

    const TransferLimits limits_;
    EventSink* const reports_;
    OfferTable offers_;
};

}  // namespace veltra
