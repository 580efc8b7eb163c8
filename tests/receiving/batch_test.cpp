// Download batches: one offer's entries after the other's, in the order the offers arrived (the
// offers of users in the list first), the bounds of the queue of waiting offers, addresses that
// cannot be reached, trouble that does not stop the worker, the user's cancel of the running
// batch, and shutdown while batches run or wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

#include "platform/named_mutex.h"
#include "receiving/content_reader.h"
#include "receiving/download_manager.h"
#include "tests/platform/task_limit.h"
#include "tests/receiving/receiving_fixture.h"

namespace veltra::testing {
namespace {

namespace fs = std::filesystem;

using Batches = ReceivingTest;

// Sends the bytes after a pause, so that a second batch has every chance to cut in.
Answer SlowServe(std::string bytes) {
    return [bytes = std::move(bytes)](const std::string&, const platform::Socket& socket) {
        std::this_thread::sleep_for(100ms);
        SendBytes(socket, bytes);
    };
}

TEST_F(Batches, TwoOffersArrivingTogetherAreFetchedOneAfterTheOther) {
    FakePeer peer(ById(
        {{0, SlowServe("a0")}, {1, SlowServe("a1")}, {2, SlowServe("b2")}, {3, SlowServe("b3")}}));
    {
        DownloadManager manager(events_, engine_, settings_);
        manager.OnAttachments(OfferPacket(Entry(0, "a0", 2) + Entry(1, "a1", 2)));
        manager.OnAttachments(OfferPacket(Entry(2, "b2", 2) + Entry(3, "b3", 2)));
        ASSERT_TRUE(events_.WaitFor<FilesReceived>(2));
    }
    // Whichever batch won the lock, its files and its count come before anything of the other.
    std::string order;
    for (const Event& event : events_.Take()) {
        if (const auto* started = std::get_if<FileStarted>(&event)) {
            order += started->name;
        } else if (const auto* batch = std::get_if<FilesReceived>(&event)) {
            order += "|" + std::to_string(batch->count) + "|";
        }
    }
    EXPECT_TRUE(order == "a0a1|2|b2b3|2|" || order == "b2b3|2|a0a1|2|") << order;
    for (const char* name : {"a0", "a1", "b2", "b3"}) {
        EXPECT_EQ(ReadFile(Received() / name), name);
    }
}

TEST_F(Batches, ABatchWaitsForTheLockHeldElsewhere) {
    FakePeer peer({Serve("x")});
    platform::NamedMutex lock(DownloadManager::kBatchLockName);
    lock.lock();
    DownloadManager manager(events_, engine_, settings_, QuickLimits());
    manager.OnAttachments(OfferPacket(Entry(0, "x", 1)));
    EXPECT_FALSE(peer.WaitForConnections(1, 200ms));
    lock.unlock();
    EXPECT_TRUE(events_.WaitFor<FilesReceived>(1));
    EXPECT_EQ(ReadFile(Received() / "x"), "x");
}

TEST_F(Batches, WaitingOffersAreFetchedInTheOrderTheyArrived) {
    FakePeer peer(Serve("x"));
    platform::NamedMutex lock(DownloadManager::kBatchLockName);
    lock.lock();
    DownloadManager manager(events_, engine_, settings_, QuickLimits());
    const std::string names = "ABCDEF";
    for (unsigned i = 0; i < names.size(); ++i) {
        manager.OnAttachments(OfferPacket(Entry(i, names.substr(i, 1), 1)));
    }
    EXPECT_EQ(manager.PendingOffers(), names.size());
    lock.unlock();
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(names.size()));
    std::string order;
    for (const FileStarted& started : events_.Of<FileStarted>()) {
        order += started.name;
    }
    EXPECT_EQ(order, names);
}

// A clock that the test moves on by hand.
struct ManualClock {
    std::atomic<std::chrono::steady_clock::time_point> now{std::chrono::steady_clock::now()};
    NoticeLog::Clock Function() {
        return [this] { return now.load(); };
    }
};

std::unique_ptr<PacketRecord> OfferFrom(const std::string& address, unsigned id) {
    auto packet = OfferPacket(Entry(id, "f", 1));
    packet->source_address = platform::InetAddr(address.c_str());
    return packet;
}

TEST_F(Batches, OnceTheAddressCannotBeReachedItsEntriesFailAtOnceForAMinute) {
    // The peer comes up the moment the first entry has failed: an entry tried after that would
    // reach it, so a connection to it means the worker kept trying a dead address.
    std::optional<FakePeer> peer;
    events_.SetOnPost([&peer](const Event& event) {
        if (std::holds_alternative<FileDone>(event) && !peer) {
            peer.emplace(Serve("x"));
        }
    });
    ManualClock clock;
    DownloadManager manager(events_, engine_, settings_, QuickLimits(), {}, clock.Function());
    manager.OnAttachments(OfferPacket(Entry(0, "a", 1) + Entry(1, "b", 1) + Entry(2, "c", 1)));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(1));
    EXPECT_EQ(events_.Outcomes(), std::vector<FileOutcome>(3, FileOutcome::kUnreachable));
    ASSERT_TRUE(peer);
    EXPECT_EQ(peer->Connections(), 0u);

    // The address's next offer, within the minute, fails as well without a try.
    clock.now = clock.now.load() + std::chrono::seconds(59);
    manager.OnAttachments(OfferPacket(Entry(3, "d", 1), 101));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(2));
    EXPECT_EQ(events_.Outcomes(), std::vector<FileOutcome>(4, FileOutcome::kUnreachable));
    EXPECT_EQ(peer->Connections(), 0u);

    // A minute after the failed try (an offer failed at once does not lengthen the while), the
    // address is tried afresh.
    clock.now = clock.now.load() + std::chrono::seconds(1);
    manager.OnAttachments(OfferPacket(Entry(4, "e", 1), 102));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(3));
    EXPECT_EQ(ReadFile(Received() / "e"), "x");
}

TEST_F(Batches, OffersBeyondTheBoundsAreDroppedAndLoggedOncePerSourceAndMinute) {
    ManualClock clock;
    // The batch lock is held elsewhere, so every offer waits.
    platform::NamedMutex lock(DownloadManager::kBatchLockName);
    lock.lock();
    DownloadManager manager(events_, engine_, settings_, QuickLimits(), {}, clock.Function());

    for (unsigned i = 0; i < 20; ++i) {
        manager.OnAttachments(OfferFrom("127.0.0.2", i));
    }
    EXPECT_EQ(manager.PendingOffers(), 16u);
    EXPECT_EQ(manager.DroppedOffers(), 4u);
    EXPECT_EQ(events_.Notices(),
              std::vector<std::wstring>{L"来自127.0.0.2的传送请求过多，已丢弃1个"});

    // Fifteen more sources fill the queue to its 256 offers; beyond, any source is dropped.
    for (unsigned source = 1; source <= 15; ++source) {
        for (unsigned i = 0; i < 16; ++i) {
            manager.OnAttachments(OfferFrom("127.0.1." + std::to_string(source), i));
        }
    }
    EXPECT_EQ(manager.PendingOffers(), 256u);
    manager.OnAttachments(OfferFrom("127.0.2.1", 0));
    manager.OnAttachments(OfferFrom("127.0.2.2", 0));
    EXPECT_EQ(manager.DroppedOffers(), 6u);
    ASSERT_EQ(events_.Notices().size(), 2u);
    EXPECT_EQ(events_.Notices()[1], L"等待的传送请求过多，已丢弃1个");

    // A minute on, the next drop from the first source is logged with those held back.
    clock.now = clock.now.load() + std::chrono::seconds(59);
    manager.OnAttachments(OfferFrom("127.0.0.2", 30));
    EXPECT_EQ(events_.Notices().size(), 2u);
    clock.now = clock.now.load() + std::chrono::seconds(1);
    manager.OnAttachments(OfferFrom("127.0.0.2", 31));
    ASSERT_EQ(events_.Notices().size(), 3u);
    EXPECT_EQ(events_.Notices()[2], L"来自127.0.0.2的传送请求过多，已丢弃5个");

    // Shutdown does not wait for a lock held elsewhere: that lock is released only after it has
    // returned. (How long a shutdown takes is measured by bench/offer_flood_bench.)
    auto shutdown = std::async(std::launch::async, [&manager] { manager.Shutdown(); });
    EXPECT_EQ(shutdown.wait_for(10s), std::future_status::ready) << "shutdown waited for the lock";
    EXPECT_EQ(manager.PendingOffers(), 0u);
    lock.unlock();
    shutdown.wait();
}

DownloadJob JobFrom(const std::string& address, bool listed) {
    return DownloadJob{OfferFrom(address, 0), listed};
}

// The source addresses of the waiting jobs in the order they are taken.
std::vector<std::string> TakeAll(OfferQueue& queue) {
    std::vector<std::string> sources;
    while (std::optional<DownloadJob> job = queue.Take()) {
        sources.push_back(platform::InetNtoa(job->packet->source_address));
    }
    return sources;
}

using Outcome = OfferQueue::Outcome;

TEST(WaitingOffers, ATakenOfferNoLongerCountsAgainstItsSource) {
    OfferQueue queue(OfferQueueLimits{2, 256});
    EXPECT_EQ(queue.Push(JobFrom("127.0.0.2", false)), Outcome::kQueued);
    EXPECT_EQ(queue.Push(JobFrom("127.0.0.2", false)), Outcome::kQueued);
    EXPECT_EQ(queue.Push(JobFrom("127.0.0.2", false)), Outcome::kSourceFull);
    ASSERT_TRUE(queue.Take());
    EXPECT_EQ(queue.Push(JobFrom("127.0.0.2", false)), Outcome::kQueued);
}

TEST(WaitingOffers, ListedSourcesAreTakenFirstEachGroupInTheOrderItCame) {
    OfferQueue queue;
    queue.Push(JobFrom("127.0.3.1", false));
    queue.Push(JobFrom("127.0.3.2", false));
    queue.Push(JobFrom("127.0.0.2", true));
    queue.Push(JobFrom("127.0.3.3", false));
    queue.Push(JobFrom("127.0.0.3", true));
    EXPECT_EQ(TakeAll(queue), (std::vector<std::string>{"127.0.0.2", "127.0.0.3", "127.0.3.1",
                                                        "127.0.3.2", "127.0.3.3"}));
}

TEST(WaitingOffers, AFullQueueDropsTheNewestUnlistedOfferAndNeverAListedOneWhileThoseWait) {
    OfferQueue queue(OfferQueueLimits{1, 3});
    queue.Push(JobFrom("127.0.3.1", false));
    queue.Push(JobFrom("127.0.0.2", true));
    queue.Push(JobFrom("127.0.3.2", false));
    EXPECT_EQ(queue.Push(JobFrom("127.0.3.3", false)), Outcome::kQueueFull);
    EXPECT_EQ(queue.Push(JobFrom("127.0.0.3", true)), Outcome::kQueuedInPlaceOfAnother);
    // Full still; the dropped offer no longer counts against its source (1 per source here).
    EXPECT_EQ(queue.Push(JobFrom("127.0.3.2", false)), Outcome::kQueueFull);
    EXPECT_EQ(TakeAll(queue), (std::vector<std::string>{"127.0.0.2", "127.0.0.3", "127.0.3.1"}));

    queue.Push(JobFrom("127.0.0.4", true));
    queue.Push(JobFrom("127.0.3.4", false));
    queue.Push(JobFrom("127.0.0.5", true));
    EXPECT_EQ(queue.Push(JobFrom("127.0.0.6", true)), Outcome::kQueuedInPlaceOfAnother);
    // Only listed offers wait now: the new one goes.
    EXPECT_EQ(queue.Push(JobFrom("127.0.0.7", true)), Outcome::kQueueFull);
    EXPECT_EQ(TakeAll(queue), (std::vector<std::string>{"127.0.0.4", "127.0.0.5", "127.0.0.6"}));
    // An offer turned away for want of room left no count behind (1 per source here).
    EXPECT_EQ(queue.Push(JobFrom("127.0.3.3", false)), Outcome::kQueued);
    EXPECT_EQ(queue.Push(JobFrom("127.0.0.7", true)), Outcome::kQueued);
}

TEST_F(Batches, AListedUsersOfferIsFetchedFirstAndAFullQueueMakesRoomForIt) {
    FakePeer peer(Serve("x"));
    const std::uint32_t listed = platform::InetAddr(kPeerAddress);
    platform::NamedMutex lock(DownloadManager::kBatchLockName);
    lock.lock();
    DownloadManager manager(events_, engine_, settings_, QuickLimits(), OfferQueueLimits{16, 3}, {},
                            [listed](std::uint32_t address) { return address == listed; });
    // Nothing listens at these addresses: each of their entries fails at once.
    for (unsigned i = 1; i <= 3; ++i) {
        auto offer = OfferPacket(Entry(i, "forged" + std::to_string(i), 1));
        offer->source_address = platform::InetAddr(("127.0.3." + std::to_string(i)).c_str());
        manager.OnAttachments(std::move(offer));
    }
    manager.OnAttachments(OfferPacket(Entry(0, "honest", 1)));
    EXPECT_EQ(manager.PendingOffers(), 3u);
    EXPECT_EQ(manager.DroppedOffers(), 1u);
    EXPECT_EQ(events_.Notices(), std::vector<std::wstring>{L"等待的传送请求过多，已丢弃1个"});
    lock.unlock();

    ASSERT_TRUE(events_.WaitFor<FilesReceived>(3));
    std::vector<std::string> order;
    for (const FileDone& done : events_.Of<FileDone>()) {
        order.push_back(done.name);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"honest", "forged1", "forged2"}));
    EXPECT_EQ(ReadFile(Received() / "honest"), "x");
}

TEST_F(Batches, AWorkerThatCannotStartDropsTheOfferAndALaterOfferIsFetched) {
    FakePeer peer(ById({{0, Serve("0")}, {1, Serve("1")}}));
    DownloadManager manager(events_, engine_, settings_, QuickLimits());
    testing::NoNewThreads limit;
    if (!limit.Active()) {
        GTEST_SKIP() << "no writable pids cgroup to limit the tasks";
    }
    manager.OnAttachments(OfferPacket(Entry(0, "first", 1)));
    limit.Lift();
    EXPECT_EQ(manager.DroppedOffers(), 1u);
    EXPECT_EQ(manager.PendingOffers(), 0u);
    ASSERT_EQ(events_.Notices().size(), 1u);
    EXPECT_EQ(events_.Notices()[0].rfind(L"无法启动下载线程，传送请求已丢弃：", 0), 0u);

    manager.OnAttachments(OfferPacket(Entry(1, "second", 1)));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(1));
    EXPECT_EQ(ReadFile(Received() / "second"), "1");
    EXPECT_FALSE(fs::exists(Received() / "first"));
}

TEST_F(Batches, ABatchThatThrowsIsLoggedAndTheNextOfferIsFetched) {
    FakePeer peer(ById({{0, Serve("0")}, {1, Serve("1")}}));
    // Throws out of the first file-started event, as a front end out of memory might.
    std::atomic<bool> failed{false};
    events_.SetOnPost([&failed](const Event& event) {
        if (std::holds_alternative<FileStarted>(event) && !failed.exchange(true)) {
            throw std::runtime_error("window gone");
        }
    });
    DownloadManager manager(events_, engine_, settings_, QuickLimits());
    manager.OnAttachments(OfferPacket(Entry(0, "first", 1)));
    manager.OnAttachments(OfferPacket(Entry(1, "second", 1)));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(1));
    EXPECT_EQ(events_.Notices(), std::vector<std::wstring>{L"接收文件出错：window gone"});
    EXPECT_EQ(ReadFile(Received() / "second"), "1");
}

TEST_F(Batches, ShutdownCancelsTheRunningBatchAndTheWaitingOnes) {
    // The peer sends one chunk and then nothing, well within the 60 s a silent peer is given.
    FakePeer peer(ServeThenStall(Pattern(65536)));
    DownloadManager manager(events_, engine_, settings_);
    manager.OnAttachments(OfferPacket(Entry(0, "stalled.bin", 200000) + Entry(1, "b", 1)));
    ASSERT_TRUE(events_.WaitFor<FileProgress>(1));
    manager.OnAttachments(OfferPacket(Entry(2, "waiting", 1)));

    const auto start = std::chrono::steady_clock::now();
    manager.Shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);

    // The running file ended as any cut-off file does; nothing else was fetched.
    EXPECT_EQ(events_.Of<FileDone>().size(), 1u);
    EXPECT_TRUE(events_.Of<FilesReceived>().empty());
    EXPECT_EQ(peer.Connections(), 1u);
    EXPECT_TRUE(fs::is_empty(Received())) << "the file cut off by the shutdown left something";

    // A shut-down manager takes no new offers.
    manager.OnAttachments(OfferPacket(Entry(3, "late", 1)));
    manager.Shutdown();
    EXPECT_EQ(peer.Connections(), 1u);
}

TEST_F(Batches, CancelEndsTheRunningBatchLeavingNothingAndTheNextBatchRuns) {
    // The first file's peer sends one chunk and then nothing, well within the 60 s a silent peer
    // is given: only the cancel can end it in time.
    FakePeer peer(ById({{0, ServeThenStall(Pattern(65536))}, {1, Serve("b")}, {2, Serve("n")}}));
    DownloadManager manager(events_, engine_, settings_);
    manager.OnAttachments(OfferPacket(Entry(0, "stalled.bin", 200000) + Entry(1, "b", 1)));
    ASSERT_TRUE(events_.WaitFor<FileProgress>(1));
    manager.OnAttachments(OfferPacket(Entry(2, "next", 1)));

    EXPECT_TRUE(manager.CancelBatch());
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(2));

    // The file being received and the one after it failed as cancelled; the batch says so.
    const std::vector<FileDone> done = events_.Of<FileDone>();
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[0].name, "stalled.bin");
    EXPECT_EQ(done[0].outcome, FileOutcome::kCancelled);
    EXPECT_EQ(done[1].name, "b");
    EXPECT_EQ(done[1].outcome, FileOutcome::kCancelled);
    EXPECT_EQ(done[2].outcome, FileOutcome::kStored);
    const std::vector<FilesReceived> batches = events_.Of<FilesReceived>();
    EXPECT_EQ(batches[0].count, 0);
    EXPECT_EQ(batches[0].failed, 2);
    EXPECT_EQ(batches[1].count, 1);
    // "b" was never asked for, and nothing of the cut-off file is left.
    EXPECT_EQ(peer.Connections(), 2u);
    EXPECT_EQ(NamesIn(Received()), std::vector<std::string>{"next"});
    EXPECT_FALSE(fs::exists(TemporaryRecord()));
}

TEST_F(Batches, ACancelEndsALargeFileWaitingInsideTheMoveToTheDisk) {
    FakePeer peer(ServeThenStall(Pattern(3 * kContentChunk)));
    DownloadManager manager(events_, engine_, settings_);
    manager.OnAttachments(OfferPacket(Entry(0, "large.bin", 4 * kDirectFileSize)));
    ASSERT_TRUE(events_.WaitFor<FileProgress>(3));
    EXPECT_TRUE(manager.CancelBatch());
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(1));

    const std::vector<FileDone> done = events_.Of<FileDone>();
    ASSERT_EQ(done.size(), 1u);
    EXPECT_EQ(done[0].outcome, FileOutcome::kCancelled);
    EXPECT_EQ(done[0].received, 3 * kContentChunk);
    EXPECT_TRUE(NamesIn(Received()).empty());
}

TEST_F(Batches, ACancelInsideAFolderFailsTheFileAndTheFolderKeepingWhatWasWhole) {
    FakePeer peer(ServeThenStall(DirHeader("album") + FileItem("whole.txt", "w") +
                                 FileHeader("cut.bin", 200000) + Pattern(65536)));
    DownloadManager manager(events_, engine_, settings_);
    manager.OnAttachments(OfferPacket(Entry(0, "album", 0, 2)));
    ASSERT_TRUE(events_.WaitFor<FileProgress>(2));  // whole.txt's, then cut.bin's first chunk
    EXPECT_TRUE(manager.CancelBatch());
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(1));

    const std::vector<FileDone> done = events_.Of<FileDone>();
    ASSERT_EQ(done.size(), 3u);
    EXPECT_EQ(done[1].name, "cut.bin");
    EXPECT_EQ(done[1].outcome, FileOutcome::kCancelled);
    EXPECT_EQ(done[2].name, "album");
    EXPECT_EQ(done[2].outcome, FileOutcome::kCancelled);
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(Failed(), 2);
    EXPECT_EQ(NamesIn(Received() / "album"), std::vector<std::string>{"whole.txt"});
}

TEST_F(Batches, ACancelReachesOnlyTheBatchThatRuns) {
    FakePeer peer(Serve("x"));
    DownloadManager manager(events_, engine_, settings_);
    // With no batch running there is nothing to cancel, and the next batch is not touched.
    EXPECT_FALSE(manager.CancelBatch());
    manager.OnAttachments(OfferPacket(Entry(0, "first", 1)));
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(1));

    // A cancel that comes as a batch ends, with the next one waiting, is the ended batch's.
    bool cancelled = false;
    events_.SetOnPost([&](const Event& event) {
        if (std::holds_alternative<FilesReceived>(event) && !cancelled) {
            cancelled = manager.CancelBatch();
        }
    });
    platform::NamedMutex lock(DownloadManager::kBatchLockName);
    lock.lock();  // both offers wait, so the second is queued before the first ends
    manager.OnAttachments(OfferPacket(Entry(1, "second", 1)));
    manager.OnAttachments(OfferPacket(Entry(2, "third", 1)));
    lock.unlock();
    ASSERT_TRUE(events_.WaitFor<FilesReceived>(3));
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(Count(), 1);
    EXPECT_EQ(ReadFile(Received() / "third"), "x");
}

TEST_F(Batches, DestroyingTheManagerWaitsForItsBatches) {
    FakePeer peer(ServeThenStall("partial"));
    {
        DownloadManager manager(events_, engine_, settings_);
        manager.OnAttachments(OfferPacket(Entry(0, "f", 100)));
        ASSERT_TRUE(peer.WaitForConnections(1));
    }
    // Once destroyed, nothing of it posts any more.
    const std::size_t posted = events_.Total();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(events_.Total(), posted);
}

TEST_F(Batches, OneAfterTheOtherOffersAreAllFetched) {
    FakePeer peer(Serve("x"));
    DownloadManager manager(events_, engine_, settings_);
    for (unsigned i = 0; i < 20; ++i) {
        manager.OnAttachments(OfferPacket(Entry(i, "f" + std::to_string(i), 1)));
        ASSERT_TRUE(events_.WaitFor<FilesReceived>(i + 1));
    }
    EXPECT_EQ(peer.Connections(), 20u);
}

}  // namespace
}  // namespace veltra::testing
