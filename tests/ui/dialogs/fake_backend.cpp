#include "fake_backend.h"

#include <memory>
#include <system_error>

namespace veltra::testing {
namespace {

class FakeBackend final : public MessengerBackend {
  public:
    explicit FakeBackend(BackendRecord& record) : record_(record) {}
    ~FakeBackend() override { record_.destroyed = true; }

    void SendText(std::uint32_t address, const std::wstring& text) override {
        record_.texts.emplace_back(address, text);
    }
    void OfferFiles(std::uint32_t address, const std::vector<std::wstring>& paths) override {
        record_.offers.emplace_back(address, paths);
    }
    void Refresh() override { ++record_.refreshes; }
    std::optional<std::vector<PeerEntry>> TakePeersSnapshot() override {
        ++record_.snapshots;
        return record_.peers;
    }
    void Shutdown() override { ++record_.shutdowns; }

  private:
    BackendRecord& record_;
};

}  // namespace

BackendFactory FakeBackendFactory(BackendRecord& record) {
    return [&record](platform::MessageWindow&) {
        record.destroyed = false;
        return std::unique_ptr<MessengerBackend>(std::make_unique<FakeBackend>(record));
    };
}

BackendFactory FailingBackendFactory(int error) {
    return [error](platform::MessageWindow&) -> std::unique_ptr<MessengerBackend> {
        throw std::system_error(error, std::generic_category());
    };
}

}  // namespace veltra::testing
