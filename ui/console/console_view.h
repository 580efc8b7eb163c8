#pragma once
// What the console tells whoever reads its standard output, one method per thing it tells. The
// front end decides what happened; a view decides how it reads: the log's lines for a person
// (TextView) or one JSON object per line for a program (JsonView), chosen once at start.

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/events.h"
#include "history/history_row.h"
#include "ui/console/offer_tracker.h"
#include "ui/presentation/peer_rows.h"

namespace veltra {

// Why an entry this console offered was not fetched whole.
enum class SendFailure {
    kServing,     // the connection broke, or the file could not be read
    kNotFetched,  // the peer had not fetched it when the console stopped waiting
};

class ConsoleView {
  public:
    virtual ~ConsoleView() = default;

    // The session has started.
    virtual void Ready() = 0;
    // The list of users was rebuilt; rows in list order.
    virtual void Peers(const std::vector<PeerRow>& rows) = 0;
    // The list of users as it stands, asked for by the users command.
    virtual void Users(const std::vector<PeerRow>& rows) = 0;
    // The help command: its text (UTF-8, lines ended), written as it is.
    virtual void Help(std::string_view utf8_text) = 0;
    virtual void Message(const MessageReceived& message) = 0;
    // A message this user sent to address, whose user is user (the address when not listed).
    virtual void MessageSent(std::wstring_view user, std::uint32_t address,
                             std::wstring_view text) = 0;
    virtual void BatchStart(const BatchStarted& batch) = 0;
    virtual void BatchEnd(const FilesReceived& batch) = 0;
    // now_ms dates the file's start and each step, for its rate and for how often a step shows.
    virtual void FileStart(const FileStarted& file, std::uint32_t now_ms) = 0;
    virtual void Progress(std::uint64_t received, std::uint32_t now_ms) = 0;
    virtual void FileEnd(const FileDone& file) = 0;
    // Any other log line.
    virtual void Notice(std::wstring_view text) = 0;
    virtual void Offered(const TrackedOffer& offer) = 0;
    virtual void Sent(const TrackedOffer& offer) = 0;
    virtual void SendFailed(const TrackedOffer& offer, SendFailure reason) = 0;
    // A line refused or a path not offered; the front end has written it to standard error
    // already.
    virtual void Complaint(std::string_view utf8_line) = 0;
    // Rows of the history asked for, in the order they are to be written: the oldest first.
    virtual void History(const std::vector<HistoryRow>& rows) = 0;
};

}  // namespace veltra
