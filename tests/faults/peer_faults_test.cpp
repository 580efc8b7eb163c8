// A serving peer that misbehaves: it resets the connection in the middle of a file or of a
// directory stream, stalls, or trickles. Each test names in its assertions what survived.
#include <gtest/gtest.h>

#include <future>
#include <string>

#include "tests/faults/fault_fixture.h"

namespace veltra::faults {
namespace {

TEST(ServingPeerFaults, ResetMidFileEndsThatEntryAndTheBatchGoesOn) {
    const std::string whole = Pattern(100000, 'a');
    const std::string next = Pattern(1000, 'k');
    MisbehavingPeer peer({
        [&](const platform::Socket& connection, const std::atomic<bool>&) {
            SendBytes(connection, whole.substr(0, 50000));
            Reset(connection);
        },
        [&](const platform::Socket& connection, const std::atomic<bool>&) {
            SendBytes(connection, next);
        },
    });
    Receiver receiver(QuickLimits(5000));
    peer.Offer({"0:cut.bin:186a0:0:1", "1:next.bin:3e8:0:1"});

    ASSERT_TRUE(receiver.Events().WaitFor<FilesReceived>(1, 10s))
        << "the batch did not survive a reset in the middle of a file";
    EXPECT_EQ(receiver.Events().Of<FilesReceived>()[0].count, 1) << "the cut file counted";
    const auto done = receiver.Events().Of<FileDone>();
    ASSERT_EQ(done.size(), 2u) << "each entry ends with its done";
    EXPECT_EQ(done[0].outcome, FileOutcome::kConnectionLost) << "the cut file was not a failure";
    EXPECT_EQ(receiver.Names(), std::vector<std::string>{"next.bin"})
        << "a cut file left something behind";
    EXPECT_EQ(receiver.Read("next.bin"), next)
        << "after a reset mid-file the batch survived and fetched the next entry whole";
}

TEST(ServingPeerFaults, ResetMidDirectoryKeepsWhatArrivedAndTheBatchGoesOn) {
    const std::string first = Pattern(3000, 'x');
    const std::string second = Pattern(5000, 'y');
    const std::string after = Pattern(100, 'c');
    const std::string stream = DirHeader("tree") + DirHeader("sub") + FileHeader("x", 3000) +
                               first + FileHeader("y", 5000) + second.substr(0, 2000);
    MisbehavingPeer peer({
        [&](const platform::Socket& connection, const std::atomic<bool>&) {
            SendBytes(connection, stream);
            Reset(connection);
        },
        [&](const platform::Socket& connection, const std::atomic<bool>&) {
            SendBytes(connection, after);
        },
    });
    Receiver receiver(QuickLimits(5000));
    peer.Offer({"0:tree:0:0:2", "1:after.bin:64:0:1"});

    ASSERT_TRUE(receiver.Events().WaitFor<FilesReceived>(1, 10s))
        << "the batch did not survive a reset in the middle of a directory";
    EXPECT_EQ(receiver.Read("tree/sub/x"), first) << "the file completed before the reset stays";
    EXPECT_EQ(receiver.Names("tree/sub"), std::vector<std::string>{"x"})
        << "the cut file left something behind";
    EXPECT_EQ(receiver.Read("after.bin"), after)
        << "after a reset mid-directory the batch survived and fetched the next entry whole";
    // x, then y and the directory fail, then after.bin.
    const auto done = receiver.Events().Of<FileDone>();
    ASSERT_EQ(done.size(), 4u);
    EXPECT_EQ(done[1].outcome, FileOutcome::kConnectionLost);
    EXPECT_EQ(done[2].name, "tree");
    EXPECT_EQ(done[2].outcome, FileOutcome::kConnectionLost);
    EXPECT_EQ(receiver.Events().Of<FilesReceived>()[0].count, 2);
}

TEST(ServingPeerFaults, AStalledPeerEndsItsEntryWithinTheLimitAndTheNextBatchRuns) {
    const std::string next = Pattern(100, 'n');
    MisbehavingPeer peer({
        [&](const platform::Socket& connection, const std::atomic<bool>& stop) {
            SendBytes(connection, Pattern(1000));
            SleepUnlessStopped(stop, 20s);  // then silence, with the connection left open
        },
        [&](const platform::Socket& connection, const std::atomic<bool>&) {
            SendBytes(connection, next);
        },
    });
    constexpr int kIdleMs = 400;
    Receiver receiver(QuickLimits(kIdleMs));
    peer.Offer({"0:stalled.bin:186a0:0:1"});
    ASSERT_TRUE(receiver.Events().WaitFor<FileStarted>(1, 5s));
    peer.Offer({"1:next.bin:64:0:1"});  // a second batch, waiting for the first

    ASSERT_TRUE(receiver.Events().WaitFor<FilesReceived>(2, 10s))
        << "the batch after a stalled one never ran";
    const auto started = receiver.Events().TimesOf<FileStarted>();
    const auto done = receiver.Events().TimesOf<FileDone>();
    ASSERT_EQ(done.size(), 2u);
    const auto stalled_for = done[0] - started[0];
    EXPECT_GE(stalled_for, std::chrono::milliseconds(kIdleMs - 50));
    EXPECT_LT(stalled_for, std::chrono::milliseconds(kIdleMs + 1500))
        << "the stalled entry did not end within the idle limit";
    EXPECT_EQ(receiver.Read("next.bin"), next)
        << "after a stalled peer the next batch ran and fetched its file whole";
}

TEST(ServingPeerFaults, APeerTricklingOneBytePerSecondIsNotCutOff) {
    MisbehavingPeer peer({
        [&](const platform::Socket& connection, const std::atomic<bool>& stop) {
            for (const char byte : std::string("abc")) {
                if (!SendBytes(connection, std::string(1, byte)) || SleepUnlessStopped(stop, 1s)) {
                    return;
                }
            }
        },
    });
    // Each byte comes well within the idle limit, although the whole file takes longer.
    Receiver receiver(QuickLimits(1500));
    const auto start = Clock::now();
    peer.Offer({"0:slow.txt:3:0:1"});
    ASSERT_TRUE(receiver.Events().WaitFor<FilesReceived>(1, 10s));
    EXPECT_GE(Clock::now() - start, 2s);
    EXPECT_EQ(receiver.Read("slow.txt"), "abc")
        << "a slow but live peer was cut off instead of delivering its file";
}

TEST(ServingPeerFaults, ShuttingDownDuringATrickleIsPromptAndWritesNothingAfterwards) {
    MisbehavingPeer peer({
        [&](const platform::Socket& connection, const std::atomic<bool>& stop) {
            while (SendBytes(connection, "z") && !SleepUnlessStopped(stop, 100ms)) {
            }
        },
    });
    Receiver receiver(QuickLimits(5000));
    peer.Offer({"0:endless.bin:100000:0:1"});
    ASSERT_TRUE(receiver.Events().WaitFor<FileStarted>(1, 5s));
    std::this_thread::sleep_for(300ms);

    // The trickle would last hours; how long a shutdown takes is measured by
    // bench/offer_flood_bench.
    auto shutdown = std::async(std::launch::async, [&receiver] { receiver.Shutdown(); });
    ASSERT_EQ(shutdown.wait_for(10s), std::future_status::ready)
        << "shutting down waited for the trickling peer";
    const auto events = receiver.Events().Total();
    EXPECT_TRUE(receiver.Names().empty()) << "the file cut off by the shutdown left something";
    std::this_thread::sleep_for(400ms);
    EXPECT_TRUE(receiver.Names().empty()) << "a file appeared after the shutdown";
    EXPECT_EQ(receiver.Events().Total(), events) << "an event was posted after the shutdown";
}

}  // namespace
}  // namespace veltra::faults
