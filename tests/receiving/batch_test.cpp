// Download batches: one offer's entries after the other's, and shutdown while batches run or wait.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/named_mutex.h"
#include "receiving/download_manager.h"
#include "tests/receiving/receiving_fixture.h"

namespace veltra::testing {
namespace {

namespace fs = std::filesystem;

using Batches = ReceivingTest;

// Sends the bytes after a pause, so that a second batch has every chance to cut in.
Answer SlowServe(std::string bytes) {
    return [bytes = std::move(bytes)](const std::string&, const platform::Socket& socket) {
        std::this_thread::sleep_for(100ms);
        SendAllBytes(socket, bytes);
    };
}

TEST_F(Batches, TwoOffersArrivingTogetherAreFetchedOneAfterTheOther) {
    FakePeer peer(ById(
        {{0, SlowServe("a0")}, {1, SlowServe("a1")}, {2, SlowServe("b2")}, {3, SlowServe("b3")}}));
    {
        CDownloadManager manager(window_, engine_, settings_);
        manager.OnAttachments(OfferPacket(Entry(0, "a0", 2) + Entry(1, "a1", 2)));
        manager.OnAttachments(OfferPacket(Entry(2, "b2", 2) + Entry(3, "b3", 2)));
        ASSERT_TRUE(window_.WaitFor(WM_FILES_RECEIVED, 2));
    }
    // Whichever batch won the lock, its files and its count come before anything of the other.
    std::string order;
    for (const Posted& posted : window_.Messages()) {
        if (posted.id == WM_FILE_STARTED) {
            order += posted.name;
        } else if (posted.id == WM_FILES_RECEIVED) {
            order += "|" + std::to_string(posted.wparam) + "|";
        }
    }
    EXPECT_TRUE(order == "a0a1|2|b2b3|2|" || order == "b2b3|2|a0a1|2|") << order;
    for (const char* name : {"a0", "a1", "b2", "b3"}) {
        EXPECT_EQ(ReadFile(Received() / name), name);
    }
}

TEST_F(Batches, ABatchWaitsForTheLockHeldElsewhere) {
    FakePeer peer({Serve("x")});
    platform::NamedMutex lock(CDownloadManager::kBatchLockName);
    lock.lock();
    CDownloadManager manager(window_, engine_, settings_, QuickLimits());
    manager.OnAttachments(OfferPacket(Entry(0, "x", 1)));
    EXPECT_FALSE(peer.WaitForConnections(1, 200ms));
    lock.unlock();
    EXPECT_TRUE(window_.WaitFor(WM_FILES_RECEIVED, 1));
    EXPECT_EQ(ReadFile(Received() / "x"), "x");
}

TEST_F(Batches, ShutdownCancelsTheRunningBatchAndTheWaitingOnes) {
    // The peer sends one chunk and then nothing, well within the 60 s a silent peer is given.
    FakePeer peer(ServeThenStall(Pattern(65536)));
    CDownloadManager manager(window_, engine_, settings_);
    manager.OnAttachments(OfferPacket(Entry(0, "stalled.bin", 200000) + Entry(1, "b", 1)));
    ASSERT_TRUE(window_.WaitFor(WM_FILE_PROGRESS, 1));
    manager.OnAttachments(OfferPacket(Entry(2, "waiting", 1)));

    const auto start = std::chrono::steady_clock::now();
    manager.Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

    // The running file ended as any cut-off file does; nothing else was fetched.
    EXPECT_EQ(window_.Of(WM_FILE_DONE).size(), 1u);
    EXPECT_TRUE(window_.Of(WM_FILES_RECEIVED).empty());
    EXPECT_EQ(peer.Connections(), 1u);
    EXPECT_EQ(fs::file_size(Received() / "stalled.bin.part"), 65536u);

    // A shut-down manager takes no new offers.
    manager.OnAttachments(OfferPacket(Entry(3, "late", 1)));
    manager.Shutdown();
    EXPECT_EQ(peer.Connections(), 1u);
}

TEST_F(Batches, DestroyingTheManagerWaitsForItsBatches) {
    FakePeer peer(ServeThenStall("partial"));
    {
        CDownloadManager manager(window_, engine_, settings_);
        manager.OnAttachments(OfferPacket(Entry(0, "f", 100)));
        ASSERT_TRUE(peer.WaitForConnections(1));
    }
    // Once destroyed, nothing of it posts any more.
    const std::size_t posted = window_.Messages().size();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(window_.Messages().size(), posted);
}

TEST_F(Batches, FinishedBatchThreadsDoNotPileUp) {
    FakePeer peer(Serve("x"));
    CDownloadManager manager(window_, engine_, settings_);
    for (unsigned i = 0; i < 20; ++i) {
        manager.OnAttachments(OfferPacket(Entry(i, "f" + std::to_string(i), 1)));
        ASSERT_TRUE(window_.WaitFor(WM_FILES_RECEIVED, i + 1));
    }
    EXPECT_EQ(peer.Connections(), 20u);
}

}  // namespace
}  // namespace veltra::testing
