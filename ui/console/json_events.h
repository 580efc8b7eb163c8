#pragma once
// The console's events as JSON, one object per line, for programs that read its output. Every
// object has "event" first; the README lists the fields of each. Text is UTF-8: peer text is
// converted from the wire's code page, and line breaks are bare LF. Written with a JSON library,
// so every string is escaped as JSON demands, whatever a peer sends.

#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

#include "common/events.h"
#include "session/messenger_session.h"
#include "ui/console/offer_tracker.h"
#include "ui/presentation/peer_rows.h"
#include "ui/presentation/progress_throttle.h"

namespace veltra {

class JsonEvents {
  public:
    explicit JsonEvents(std::ostream& out) : out_(&out) {}

    void Ready();
    // rows in list order.
    void Peers(const std::vector<PeerRow>& rows);
    void Message(const MessageReceived& message);
    void BatchFrom(const BatchStarted& batch);
    void Started(const FileStarted& file, std::uint32_t now_ms);
    // Throttled (ProgressThrottle): most calls write nothing.
    void Progress(std::uint64_t received, std::uint32_t now_ms);
    void Done(const FileDone& file);
    void Batch(const FilesReceived& batch);
    void Offered(const TrackedOffer& offer);
    void Sent(const TrackedOffer& offer);
    // reason: "connection" (serving failed) or "not_fetched" (given up at the end).
    void SendFailed(const TrackedOffer& offer, std::string_view reason);
    void Error(std::string_view utf8_text);
    void Notice(std::wstring_view text);

  private:
    struct CurrentFile {
        std::string name;  // UTF-8
        std::uint64_t size = 0;
        std::uint32_t start_ms = 0;
    };

    std::ostream* out_;
    CurrentFile file_;
    ProgressThrottle throttle_;
};

}  // namespace veltra
