#include "ui/control/control_desk.h"

#include <algorithm>

#include "platform/socket.h"
#include "platform/utf8.h"
#include "ui/control/control_target.h"
#include "ui/presentation/utf8_lines.h"

namespace veltra {

std::string NotOfferedLine(const OfferResult& result) {
    const std::string path = platform::WideToUtf8(result.path.Text());
    switch (result.outcome) {
        case OfferOutcome::kNoSuchFile:
            return "offer: no such file or directory: " + path;
        case OfferOutcome::kListFull:
            return "offer: no room left in the offer: " + path;
        case OfferOutcome::kCannotRead:
        case OfferOutcome::kListed:
            break;
    }
    return "offer: cannot offer: " + path;
}

bool ControlDesk::Handle(const std::shared_ptr<ControlCall>& call,
                         const std::vector<PeerRow>& rows) {
    const ControlRequest& request = call->Request();
    switch (request.command) {
        case ControlCommand::kShow:
        case ControlCommand::kCompose:
            return false;
        case ControlCommand::kList:
            List(*call, rows);
            return true;
        case ControlCommand::kSend:
        case ControlCommand::kMessage:
            break;
    }
    const ControlTarget target = ResolveControlTarget(request.target, rows);
    if (!target.error.empty()) {
        call->Reply(RefusedReply(target.error, 2));
    } else if (request.command == ControlCommand::kSend) {
        Send(call, target.address);
    } else {
        Message(call, target.address, rows);
    }
    return true;
}

void ControlDesk::List(ControlCall& call, const std::vector<PeerRow>& rows) {
    for (const PeerRow& row : rows) {
        ControlReply reply;
        reply.kind = ControlReply::Kind::kUser;
        reply.user = Utf8Lines(row.name);
        reply.host = Utf8Lines(row.host);
        reply.address = platform::InetNtoa(row.address);
        reply.text = Utf8Lines(row.text);
        call.Reply(reply);
    }
    call.Reply(DoneReply(0));
}

void ControlDesk::Message(const std::shared_ptr<ControlCall>& call, std::uint32_t address,
                          const std::vector<PeerRow>& rows) {
    const std::wstring text = platform::Utf8ToWide(call->Request().text);
    session_->SendText(address, text);
    const std::string dotted = platform::InetNtoa(address);
    if (message_sent_) {
        const auto row = std::find_if(rows.begin(), rows.end(), [address](const PeerRow& peer) {
            return peer.address == address;
        });
        message_sent_(row != rows.end() ? row->name : platform::Utf8ToWide(dotted), address, text);
    }
    // The asker is told what it would have printed alone, where nobody is listed yet.
    ControlReply reply;
    reply.kind = ControlReply::Kind::kMessageSent;
    reply.recipient = dotted;
    reply.address = dotted;
    reply.text = Utf8Lines(text);
    call->Reply(reply);
    call->Reply(DoneReply(0));
}

void ControlDesk::Send(const std::shared_ptr<ControlCall>& call, std::uint32_t address) {
    const ControlRequest& request = call->Request();
    std::vector<platform::Path> paths;
    for (const std::string& path : request.paths) {
        paths.emplace_back(platform::Utf8ToWide(path));
    }
    auto asker = std::make_shared<Asker>();
    asker->call = call;
    std::vector<ControlReply> offered;
    for (const OfferResult& result :
         session_->OfferFiles(address, paths, platform::Utf8ToWide(request.text))) {
        if (!result.entry) {
            asker->failed = true;
            ControlReply complaint;
            complaint.kind = ControlReply::Kind::kComplaint;
            complaint.text = NotOfferedLine(result);
            call->Reply(complaint);
            continue;
        }
        ControlReply reply;
        reply.kind = ControlReply::Kind::kOffered;
        reply.to = platform::InetNtoa(address);
        reply.path = platform::WideToUtf8(result.entry->path.Text());
        reply.directory = result.entry->directory;
        reply.size = result.entry->size;
        offered.push_back(reply);
        waiting_[result.entry->file_id] = Entry{asker, reply};
        ++asker->waiting;
    }
    for (const ControlReply& reply : offered) {
        call->Reply(reply);
    }
    if (asker->waiting == 0) {
        call->Reply(DoneReply(asker->failed ? 1 : 0));
    }
}

bool ControlDesk::Served(const OfferServed& event) {
    const auto found = waiting_.find(event.file_id);
    if (found == waiting_.end()) {
        return false;
    }
    Entry entry = std::move(found->second);
    waiting_.erase(found);
    ControlReply& reply = entry.reply;
    reply.kind = event.whole ? ControlReply::Kind::kSent : ControlReply::Kind::kSendFailed;
    if (!event.whole) {
        reply.reason = "connection";
        entry.asker->failed = true;
    }
    entry.asker->call->Reply(reply);
    if (--entry.asker->waiting == 0) {
        entry.asker->call->Reply(DoneReply(entry.asker->failed ? 1 : 0));
    }
    return true;
}

}  // namespace veltra
