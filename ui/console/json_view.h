#pragma once
// The console's events as JSON, one object per line, for programs that read its output. Every
// object has "event" first; the README lists the fields of each. Text is UTF-8: peer text is
// converted from the wire's code page, and line breaks are bare LF. Written with a JSON library,
// so every string is escaped as JSON demands, whatever a peer sends.

#include <cstdint>
#include <ostream>
#include <string_view>
#include <vector>

#include "ui/console/console_view.h"
#include "ui/presentation/progress_throttle.h"

namespace veltra {

class JsonView : public ConsoleView {
  public:
    explicit JsonView(std::ostream& out) : out_(&out) {}

    void Ready() override;
    void Peers(const std::vector<PeerRow>& rows) override;
    // The list as the text view prints it, not an event: what the users command has always
    // written.
    void Users(const std::vector<PeerRow>& rows) override;
    void Help(std::string_view utf8_text) override;
    void MessageSent(std::wstring_view user, std::uint32_t address,
                     std::wstring_view text) override;
    void Message(const MessageReceived& message) override;
    void BatchStart(const BatchStarted& batch) override;
    void FileStart(const FileStarted& file, std::uint32_t now_ms) override;
    // Throttled (ProgressThrottle): most calls write nothing.
    void Progress(std::uint64_t received, std::uint32_t now_ms) override;
    void FileEnd(const FileDone& file) override;
    void BatchEnd(const FilesReceived& batch) override;
    void Notice(std::wstring_view text) override;
    void Offered(const TrackedOffer& offer) override;
    void Sent(const TrackedOffer& offer) override;
    // reason: "connection" (serving failed) or "not_fetched" (given up at the end).
    void SendFailed(const TrackedOffer& offer, SendFailure reason) override;
    void Complaint(std::string_view utf8_line) override;
    void History(const std::vector<HistoryRow>& rows) override;
    // --list: one "user" object per row, with the fields of a row of "peers".
    void ListedUsers(const std::vector<PeerRow>& rows);

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
