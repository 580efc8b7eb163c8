#include "ui/console/json_view.h"

#include <nlohmann/json.hpp>

#include "common/outcome_code.h"
#include "common/text.h"
#include "platform/clock.h"
#include "platform/socket.h"
#include "ui/console/text_view.h"
#include "ui/presentation/utf8_lines.h"

namespace veltra {
namespace {

using Json = nlohmann::ordered_json;

// Wire text (code page 936) as UTF-8, every CR LF a bare LF.
std::string FromWire(std::string_view text) {
    return Utf8Lines(AnsiToWide(text));
}

std::string Address(std::uint32_t address) {
    return platform::InetNtoa(address);
}

Json EventObject(const char* name) {
    return Json{{"event", name}};
}

// A row of the list of users, in "peers" and after "event" in a "user" object.
Json RowFields(const PeerRow& row) {
    return Json{{"user", Utf8Lines(row.name)},
                {"host", Utf8Lines(row.host)},
                {"address", Address(row.address)}};
}

Json OfferEvent(const char* name, const TrackedOffer& offer) {
    Json event = EventObject(name);
    event["to"] = Address(offer.address);
    event["name"] = Utf8Lines(offer.entry.path.FileName());
    event["kind"] = offer.entry.directory ? "folder" : "file";
    event["size"] = offer.entry.size;
    event["path"] = Utf8Lines(offer.entry.path.Text());
    return event;
}

// "2026-12-09T13:05:07+08:00": local time with its offset from UTC.
std::string IsoTime(std::int64_t time_ms) {
    const std::string text = platform::LocalTimeText(time_ms, "%Y-%m-%dT%H:%M:%S%z");
    if (text.size() <= 2) {
        return text;
    }
    const std::size_t minutes = text.size() - 2;  // "+0800": the offset's minutes go after a ':'
    std::string iso;
    iso.reserve(text.size() + 1);
    iso.append(text, 0, minutes).append(1, ':').append(text, minutes, 2);
    return iso;
}

// A row of the history with the fields its kind has.
Json HistoryObject(const HistoryRow& row) {
    Json object = EventObject("history");
    object["time"] = IsoTime(row.time_ms);
    object["kind"] = KindName(row.kind);
    object["peer"] = row.peer_name;
    object["address"] = row.address;
    object["host"] = row.host;
    switch (row.kind) {
        case HistoryKind::kMessageReceived:
        case HistoryKind::kMessageSent:
            object["text"] = row.text;
            break;
        case HistoryKind::kEntryReceived:
        case HistoryKind::kEntryOffered:
            object["name"] = row.name;
            object["entry"] = row.folder ? "folder" : "file";
            object["size"] = row.size;
            object["outcome"] = row.outcome;
            object["reason"] = row.reason;
            object["path"] = row.stored_path;
            break;
        case HistoryKind::kBatchReceived:
            object["count"] = row.count;
            object["failed"] = row.failed;
            break;
    }
    return object;
}

void WriteLine(std::ostream& out, const Json& event) {
    // Bytes that are not UTF-8 (a path's own) become U+FFFD rather than stopping the console.
    out << event.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace

void JsonView::Ready() {
    WriteLine(*out_, EventObject("ready"));
}

void JsonView::Peers(const std::vector<PeerRow>& rows) {
    Json peers = Json::array();
    for (const PeerRow& row : rows) {
        peers.push_back(RowFields(row));
    }
    Json event = EventObject("peers");
    event["count"] = peers.size();
    event["peers"] = std::move(peers);
    WriteLine(*out_, event);
}

void JsonView::ListedUsers(const std::vector<PeerRow>& rows) {
    for (const PeerRow& row : rows) {
        Json event = EventObject("user");
        event.update(RowFields(row));
        WriteLine(*out_, event);
    }
}

void JsonView::Users(const std::vector<PeerRow>& rows) {
    *out_ << Utf8Lines(UserListText(rows));
}

void JsonView::Help(std::string_view utf8_text) {
    *out_ << utf8_text;  // for the person at the terminal, as the users command's list
}

void JsonView::MessageSent(std::wstring_view user, std::uint32_t address, std::wstring_view text) {
    Json event = EventObject("message_sent");
    event["recipient"] = Utf8Lines(user);
    event["address"] = Address(address);
    event["text"] = Utf8Lines(text);
    WriteLine(*out_, event);
}

void JsonView::Message(const MessageReceived& message) {
    Json event = EventObject("message");
    event["sender"] = FromWire(message.user_name);
    event["host"] = FromWire(message.host_name);
    event["address"] = Address(message.source_address);
    event["text"] = FromWire(message.text);
    WriteLine(*out_, event);
}

void JsonView::BatchStart(const BatchStarted& batch) {
    Json event = EventObject("batch_started");
    event["sender"] = FromWire(batch.user_name);
    event["address"] = Address(batch.source_address);
    WriteLine(*out_, event);
}

void JsonView::FileStart(const FileStarted& file, std::uint32_t now_ms) {
    file_ = CurrentFile{FromWire(file.name), file.size, now_ms};
    throttle_.Start();
    Json event = EventObject("file_started");
    event["name"] = file_.name;
    event["size"] = file.size;
    WriteLine(*out_, event);
}

void JsonView::Progress(std::uint64_t received, std::uint32_t now_ms) {
    if (!throttle_.Due(received, file_.size, now_ms)) {
        return;
    }
    const std::uint32_t elapsed_ms = now_ms - file_.start_ms;
    Json event = EventObject("progress");
    event["name"] = file_.name;
    event["received"] = received;
    event["size"] = file_.size;
    event["bytes_per_second"] = received * 1000 / (elapsed_ms == 0 ? 1 : elapsed_ms);
    WriteLine(*out_, event);
}

void JsonView::FileEnd(const FileDone& file) {
    const bool stored = file.outcome == FileOutcome::kStored;
    Json event = EventObject(stored ? "done" : "failed");
    event["name"] = FromWire(file.name);
    event["size"] = file.size;
    if (!stored) {
        event["received"] = file.received;
        event["reason"] = std::string(OutcomeCode(file.outcome));
    }
    WriteLine(*out_, event);
}

void JsonView::BatchEnd(const FilesReceived& batch) {
    Json event = EventObject("batch");
    event["count"] = batch.count;
    event["failed"] = batch.failed;
    WriteLine(*out_, event);
}

void JsonView::Offered(const TrackedOffer& offer) {
    WriteLine(*out_, OfferEvent("offered", offer));
}

void JsonView::Sent(const TrackedOffer& offer) {
    WriteLine(*out_, OfferEvent("sent", offer));
}

void JsonView::SendFailed(const TrackedOffer& offer, SendFailure reason) {
    Json event = OfferEvent("send_failed", offer);
    event["reason"] = reason == SendFailure::kNotFetched ? "not_fetched" : "connection";
    WriteLine(*out_, event);
}

void JsonView::Complaint(std::string_view utf8_line) {
    Json event = EventObject("error");
    event["text"] = utf8_line;
    WriteLine(*out_, event);
}

void JsonView::Notice(std::wstring_view text) {
    Json event = EventObject("notice");
    event["text"] = Utf8Lines(text);
    WriteLine(*out_, event);
}

void JsonView::History(const std::vector<HistoryRow>& rows) {
    for (const HistoryRow& row : rows) {
        WriteLine(*out_, HistoryObject(row));
    }
}

}  // namespace veltra
