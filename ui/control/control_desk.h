#pragma once
// What both front ends do with a request the same way: send, message and list, done through the
// front end's session on its thread, and each offered entry's fetch reported to whoever asked.
// The entries offered here are the askers': they never count in the front end's own outcome.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/events.h"
#include "common/offer_result.h"
#include "session/messenger_session.h"
#include "ui/control/control_server.h"
#include "ui/presentation/peer_rows.h"

namespace veltra {

// The line the console writes for a path left out of an offer.
std::string NotOfferedLine(const OfferResult& result);

class ControlDesk {
  public:
    // After a message went out for an asker: to address, whose user is user (as listed, else
    // the address), so that the front end can log it as its own.
    using MessageSentHook = std::function<void(const std::wstring& user, std::uint32_t address,
                                               const std::wstring& text)>;

    explicit ControlDesk(MessengerSession& session, MessageSentHook message_sent = {})
        : session_(&session), message_sent_(std::move(message_sent)) {}

    // send, message and list; false for show and compose, which are the front end's own.
    // rows: the front end's list as it stands.
    bool Handle(const std::shared_ptr<ControlCall>& call, const std::vector<PeerRow>& rows);
    // An entry's fetch ended: its asker is told, and told it is done after its last entry.
    // False when no asker offered it.
    bool Served(const OfferServed& event);
    // Entries still waiting for their fetch on behalf of askers.
    std::size_t Waiting() const { return waiting_.size(); }

  private:
    struct Asker {
        std::shared_ptr<ControlCall> call;
        std::size_t waiting = 0;
        bool failed = false;  // a path not offered, or an entry not fetched whole
    };
    struct Entry {
        std::shared_ptr<Asker> asker;
        ControlReply reply;  // the entry as offered
    };

    void Send(const std::shared_ptr<ControlCall>& call, std::uint32_t address);
    void Message(const std::shared_ptr<ControlCall>& call, std::uint32_t address,
                 const std::vector<PeerRow>& rows);
    void List(ControlCall& call, const std::vector<PeerRow>& rows);

    MessengerSession* session_;
    MessageSentHook message_sent_;
    std::map<std::int32_t, Entry> waiting_;  // by file id
};

}  // namespace veltra
