#pragma once
// A messenger without a network for the dialog tests: it records what the dialog asks of it and
// hands out the peer table the test sets.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialogs/messenger_backend.h"

namespace veltra::testing {

// Outlives the backend, which the dialog destroys when it shuts down.
struct BackendRecord {
    std::vector<PeerEntry> peers;  // what TakePeersSnapshot returns

    std::vector<std::pair<std::uint32_t, std::wstring>> texts;
    std::vector<std::pair<std::uint32_t, std::vector<std::wstring>>> offers;
    int refreshes = 0;
    int snapshots = 0;
    int shutdowns = 0;
    bool destroyed = false;
};

BackendFactory FakeBackendFactory(BackendRecord& record);
// A factory that fails the way the engine does when its port is taken.
BackendFactory FailingBackendFactory(int error);

}  // namespace veltra::testing
