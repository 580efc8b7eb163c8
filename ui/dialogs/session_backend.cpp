#include <memory>

#include "ui/dialogs/messenger_backend.h"
#include "session/messenger_session.h"

namespace veltra {
namespace {

class SessionBackend final : public MessengerBackend {
  public:
    SessionBackend(platform::MessageWindow& window, const Settings& settings,
                   std::uint32_t bind_address)
        : session_(window, settings, bind_address) {}

    void SendText(std::uint32_t address, const std::wstring& text) override {
        session_.SendText(address, text);
    }
    void OfferFiles(std::uint32_t address, const std::vector<std::wstring>& paths) override {
        session_.OfferFiles(address, paths);
    }
    void Refresh() override { session_.Refresh(); }
    std::optional<std::vector<PeerEntry>> TakePeersSnapshot() override {
        return session_.TakePeersSnapshot();
    }
    void Shutdown() override { session_.Shutdown(); }

  private:
    MessengerSession session_;
};

}  // namespace

BackendFactory SessionBackendFactory(const Settings& settings, std::uint32_t bind_address) {
    return [&settings, bind_address](platform::MessageWindow& window) {
        return std::unique_ptr<MessengerBackend>(
            std::make_unique<SessionBackend>(window, settings, bind_address));
    };
}

}  // namespace veltra
