#include "engine/peers_notice.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "engine/window_messages.h"
#include "tests/engine/listener_fixture.h"

namespace veltra {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(PeersNotice, AChangePostsAtOnceAndLaterOnesWaitForTheCopy) {
    testing::RecordingWindow window;
    PeersNotice notice(window, 200ms, 3);
    notice.Changed();
    EXPECT_EQ(window.Count(WM_PEERS_CHANGED), 1u);
    for (int i = 0; i < 10; ++i) {
        notice.Changed();
    }
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(window.Count(WM_PEERS_CHANGED), 1u) << "a pending notice covers later changes";
}

TEST(PeersNotice, AfterABurstTheNextNoticeWaitsForTheSpacing) {
    testing::RecordingWindow window;
    PeersNotice notice(window, 200ms, 3);
    const auto start = Clock::now();
    for (int i = 0; i < 3; ++i) {
        notice.Changed();
        notice.Taken();
    }
    EXPECT_EQ(window.Count(WM_PEERS_CHANGED), 3u) << "occasional changes are shown at once";
    notice.Changed();
    EXPECT_EQ(window.Count(WM_PEERS_CHANGED), 3u);
    ASSERT_TRUE(window.WaitFor(WM_PEERS_CHANGED, 4, 2000ms)) << "the deferred notice never came";
    EXPECT_GE(Clock::now() - start, 190ms);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(window.Count(WM_PEERS_CHANGED), 4u);
}

// A window that copies the table on every notice while changes stream in for half a second: it
// rebuilds about once per spacing, not once per change, and its last copy shows the last change.
TEST(PeersNotice, AStreamOfChangesCostsAboutOneRebuildPerSpacing) {
    testing::RecordingWindow window;
    PeersNotice notice(window, 50ms, 5);
    std::atomic<int> version{0};
    std::atomic<int> last_copied{-1};
    std::atomic<int> rebuilds{0};
    std::atomic<bool> stop{false};
    std::thread ui([&] {
        while (!stop) {
            for (const auto& message : window.Take()) {
                if (message.id == WM_PEERS_CHANGED) {
                    notice.Taken();
                    last_copied = version.load();
                    ++rebuilds;
                }
            }
            std::this_thread::sleep_for(1ms);
        }
    });
    int changes = 0;
    const auto end = Clock::now() + 500ms;
    while (Clock::now() < end) {
        ++version;
        notice.Changed();
        ++changes;
        std::this_thread::sleep_for(1ms);
    }
    const auto settle = Clock::now() + 2s;
    while (last_copied != version && Clock::now() < settle) {
        std::this_thread::sleep_for(5ms);
    }
    stop = true;
    ui.join();
    EXPECT_EQ(last_copied, version) << "the last rebuild missed the last change";
    EXPECT_GT(changes, 100);
    EXPECT_LE(rebuilds, 5 + 500 / 50 + 3) << "rebuilds were not spaced";
    EXPECT_GE(rebuilds, 3);
}

TEST(PeersNotice, ANoticeWaitingForItsTimeIsDroppedWithTheObject) {
    testing::RecordingWindow window;
    auto notice = std::make_unique<PeersNotice>(window, 300ms, 1);
    notice->Changed();
    notice->Taken();
    notice->Changed();  // due in 300 ms
    notice.reset();
    std::this_thread::sleep_for(400ms);
    EXPECT_EQ(window.Count(WM_PEERS_CHANGED), 1u);
}

}  // namespace
}  // namespace veltra
