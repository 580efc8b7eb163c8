#pragma once
// The console's output for a person at a terminal: the log's lines as the dialogs show them, with
// LF line ends, and what peers chose made fit for a terminal (TerminalText).

#include <ostream>
#include <string>
#include <vector>

#include "ui/console/console_view.h"
#include "ui/presentation/log_entries.h"

namespace veltra {

// "在线人数 N" and the N rows, each indented by two spaces, one a line.
std::wstring UserListText(const std::vector<PeerRow>& rows);

class TextView : public ConsoleView {
  public:
    // lists: "ready" and each rebuilt list of users are printed (not in one-shot sending).
    TextView(std::ostream& out, bool lists) : out_(&out), lists_(lists) {}

    void Ready() override;
    void Peers(const std::vector<PeerRow>& rows) override;
    void Users(const std::vector<PeerRow>& rows) override;
    void Help(std::string_view utf8_text) override;
    void MessageSent(std::wstring_view user, std::uint32_t address,
                     std::wstring_view text) override;
    void Message(const MessageReceived& message) override;
    void BatchStart(const BatchStarted& batch) override;
    void BatchEnd(const FilesReceived& batch) override;
    void FileStart(const FileStarted& file, std::uint32_t now_ms) override;
    void Progress(std::uint64_t received, std::uint32_t now_ms) override;
    void FileEnd(const FileDone& file) override;
    void Notice(std::wstring_view text) override;
    void Offered(const TrackedOffer& offer) override;
    void Sent(const TrackedOffer& offer) override;
    void SendFailed(const TrackedOffer& offer, SendFailure reason) override;
    void Complaint(std::string_view utf8_line) override;
    void History(const std::vector<HistoryRow>& rows) override;

  private:
    void Write(std::wstring_view text);

    std::ostream* out_;
    bool lists_;
    TransferProgress progress_;
    // A received file's three lines are built here in UTF-8, each over the one before: a small
    // file costs no allocation and no wide formatting.
    std::string line_;
};

}  // namespace veltra
