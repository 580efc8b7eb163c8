#include "ui/console/instance_client.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "platform/utf8.h"
#include "ui/console/json_view.h"
#include "ui/console/terminal_text.h"
#include "ui/console/text_view.h"
#include "ui/control/control_client.h"

namespace veltra {
namespace {

// How long the instance may take to put the offer together (its pause included) before the
// linger starts.
constexpr std::chrono::seconds kOfferWait{30};

// The paths as the instance is to take them (its working folder is not ours), and each as typed.
using TypedPaths = std::map<std::string, std::wstring>;

ControlRequest RequestFor(const ConsoleOptions& options, TypedPaths& typed) {
    ControlRequest request;
    request.command = options.action == ConsoleOptions::Action::kSend ? ControlCommand::kSend
                                                                      : ControlCommand::kMessage;
    // A name as typed: the instance looks it up in its own list.
    request.target = options.target_name.empty() ? platform::InetNtoa(options.address)
                                                 : platform::WideToUtf8(options.target_name);
    for (const std::wstring& path : options.paths) {
        std::error_code ignored;
        std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
        const std::string sent = platform::WideToUtf8(absolute.empty() ? path : absolute.wstring());
        typed.emplace(sent, path);
        request.paths.push_back(sent);
    }
    request.text = platform::WideToUtf8(options.text);
    return request;
}

// Writes the instance's replies through view until it is done.
class InstanceReplies {
  public:
    InstanceReplies(const ConsoleOptions& options, TypedPaths typed, std::ostream& out,
                    std::ostream& error)
        : options_(&options), typed_(std::move(typed)), out_(&out), error_(&error) {
        if (options.json) {
            view_ = std::make_unique<JsonView>(out);
        } else {
            view_ = std::make_unique<TextView>(out, false);
        }
    }

    int Run(ControlExchange& exchange) {
        if (options_->action == ConsoleOptions::Action::kSend) {
            view_->Ready();
            out_->flush();
        }
        std::chrono::milliseconds wait = kOfferWait;
        for (;;) {
            const std::optional<ControlReply> reply = exchange.Next(wait);
            if (!reply) {
                return GiveUp();
            }
            if (reply->kind == ControlReply::Kind::kDone) {
                if (!reply->error.empty()) {
                    // A refused name lists the candidates: their names are the peers' own.
                    std::string line = "veltra-console: ";
                    const std::wstring error = platform::Utf8ToWide(reply->error);
                    for (std::size_t at = 0; at <= error.size();) {
                        const std::size_t end = std::min(error.find(L'\n', at), error.size());
                        line += platform::WideToUtf8(TerminalText(error.substr(at, end - at)));
                        line += end < error.size() ? "\n" : "";
                        at = end + 1;
                    }
                    out_->flush();
                    *error_ << line << '\n';
                    error_->flush();
                    view_->Complaint(line);
                }
                out_->flush();
                return reply->status;
            }
            Show(*reply);
            out_->flush();
            wait = options_->linger;  // the offer is out: the linger runs from here
        }
    }

  private:
    // The entry a reply tells of, its path as it was typed: what the console prints alone.
    TrackedOffer OfferOf(const ControlReply& reply) const {
        OfferedEntry entry;
        const auto typed = typed_.find(reply.path);
        entry.path = platform::Path(typed != typed_.end() ? typed->second
                                                          : platform::Utf8ToWide(reply.path));
        entry.directory = reply.directory;
        entry.size = reply.size;
        return TrackedOffer{entry, platform::InetAddr(reply.to.c_str())};
    }

    // A complaint ends with the path it is about, which is then the path as typed.
    std::string Typed(const std::string& line) const {
        for (const auto& [sent, path] : typed_) {
            if (line.size() >= sent.size() &&
                line.compare(line.size() - sent.size(), sent.size(), sent) == 0) {
                return line.substr(0, line.size() - sent.size()) + platform::WideToUtf8(path);
            }
        }
        return line;
    }

    void Show(const ControlReply& reply) {
        switch (reply.kind) {
            case ControlReply::Kind::kOffered:
                waiting_.push_back(OfferOf(reply));
                view_->Offered(waiting_.back());
                break;
            case ControlReply::Kind::kSent:
            case ControlReply::Kind::kSendFailed: {
                const TrackedOffer offer = Take(reply);
                if (reply.kind == ControlReply::Kind::kSent) {
                    view_->Sent(offer);
                } else {
                    view_->SendFailed(offer, reply.reason == "not_fetched"
                                                 ? SendFailure::kNotFetched
                                                 : SendFailure::kServing);
                }
                break;
            }
            case ControlReply::Kind::kComplaint: {
                const std::string line = Typed(reply.text);
                out_->flush();
                *error_ << line << '\n';
                error_->flush();
                view_->Complaint(line);
                break;
            }
            case ControlReply::Kind::kMessageSent:
                view_->MessageSent(platform::Utf8ToWide(reply.recipient),
                                   platform::InetAddr(reply.address.c_str()), options_->text);
                break;
            case ControlReply::Kind::kUser:
            case ControlReply::Kind::kDone:
                break;
        }
    }

    // The entry the reply tells of, out of those waiting.
    TrackedOffer Take(const ControlReply& reply) {
        const TrackedOffer told = OfferOf(reply);
        const auto found =
            std::find_if(waiting_.begin(), waiting_.end(), [&](const TrackedOffer& offer) {
                return offer.address == told.address && offer.entry.path == told.entry.path;
            });
        if (found == waiting_.end()) {
            return told;
        }
        TrackedOffer offer = *found;
        waiting_.erase(found);
        return offer;
    }

    // No word within the wait: the entries still waiting are given up as after the linger. An
    // instance that went silent otherwise is said to have.
    int GiveUp() {
        for (const TrackedOffer& offer : waiting_) {
            view_->SendFailed(offer, SendFailure::kNotFetched);
        }
        out_->flush();
        if (waiting_.empty()) {
            *error_ << "veltra-console: the running instance stopped answering\n";
        }
        return 1;
    }

    const ConsoleOptions* options_;
    TypedPaths typed_;
    std::ostream* out_;
    std::ostream* error_;
    std::unique_ptr<ConsoleView> view_;
    std::vector<TrackedOffer> waiting_;
};

}  // namespace

std::optional<int> SendThroughInstance(const ConsoleOptions& options, std::ostream& out,
                                       std::ostream& error) {
    TypedPaths typed;
    std::optional<ControlExchange> exchange = ControlExchange::Ask(RequestFor(options, typed));
    if (!exchange) {
        return std::nullopt;
    }
    return InstanceReplies(options, std::move(typed), out, error).Run(*exchange);
}

std::optional<int> ListUsersThroughInstance(const ConsoleOptions& options, std::ostream& out) {
    const std::optional<std::vector<ControlReply>> users = ListThroughInstance();
    if (!users) {
        return std::nullopt;
    }
    std::vector<PeerRow> rows;
    for (const ControlReply& user : *users) {
        rows.push_back(PeerRow{platform::Utf8ToWide(user.text),
                               platform::InetAddr(user.address.c_str()),
                               platform::Utf8ToWide(user.user), platform::Utf8ToWide(user.host)});
    }
    if (options.json) {
        JsonView(out).ListedUsers(rows);
    } else {
        TextView(out, false).Users(rows);
    }
    out.flush();
    return 0;
}

}  // namespace veltra
