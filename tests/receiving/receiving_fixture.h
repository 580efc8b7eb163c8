#pragma once
// The receiving tests' fixture: a home folder of their own, settings, a receiving engine at
// 127.0.0.1 and a recording sink; the peer and the bytes it sends come from tests/support.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/settings.h"
#include "engine/engine.h"
#include "platform/socket.h"
#include "receiving/download_context.h"
#include "receiving/download_manager.h"
#include "tests/platform/temp_folder.h"
#include "tests/support/content.h"
#include "tests/support/fake_peer.h"
#include "tests/support/recording_sink.h"
#include "tests/support/wire.h"

namespace veltra::testing {

using namespace std::chrono_literals;

class ReceivingTest : public ::testing::Test {
  protected:
    ReceivingTest()
        : home_(temp_.path().string()), engine_(settings_, platform::InetAddr(kOwnAddress)) {}

    std::filesystem::path Received() const { return temp_.path() / "Received"; }

    // Hands one offer to a fresh manager and waits for the end of its batch.
    void Receive(const std::string& extension, DownloadLimits limits = {},
                 std::int32_t packet_number = 100) {
        DownloadManager manager(events_, engine_, settings_, limits);
        manager.OnAttachments(OfferPacket(extension, packet_number));
        EXPECT_TRUE(events_.WaitFor<FilesReceived>(1));
    }
    // The files of the last batch that were stored whole, or -1 before any batch ended.
    int Count() {
        const std::vector<FilesReceived> batches = events_.Of<FilesReceived>();
        return batches.empty() ? -1 : batches.back().count;
    }
    // The entries of the last batch that failed, or -1 before any batch ended.
    int Failed() {
        const std::vector<FilesReceived> batches = events_.Of<FilesReceived>();
        return batches.empty() ? -1 : batches.back().failed;
    }

    // Short limits, so that tests of the time rules end quickly.
    static DownloadLimits QuickLimits() {
        DownloadLimits limits;
        limits.connect_ms = 500;
        limits.idle_ms = 500;
        return limits;
    }

    // Every name in folder, hidden ones included, sorted.
    static std::vector<std::string> NamesIn(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // The record of named temporaries in the test's home, which is gone while none exists.
    std::filesystem::path TemporaryRecord() const {
        return temp_.path() / ".local/share/veltra/temporaries";
    }

    TempFolder temp_;
    ScopedHome home_;
    Settings settings_;
    CMessengerEngine engine_;
    RecordingSink events_;
};

}  // namespace veltra::testing
