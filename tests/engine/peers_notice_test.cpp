#include "engine/peers_notice.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

#include "tests/support/manual_timer.h"
#include "tests/support/recording_sink.h"

// The clock moves only when a test moves it, so every case is exact and none waits.
namespace veltra {
namespace {

using namespace std::chrono_literals;

class PeersNoticeTest : public ::testing::Test {
  protected:
    std::size_t Notices() { return events_.Count<PeersChanged>(); }

    testing::RecordingSink events_;
    testing::ManualTimer timer_;
};

TEST_F(PeersNoticeTest, AChangePostsAtOnceAndLaterOnesWaitForTheCopy) {
    PeersNotice notice(events_, timer_, 200ms, 3);
    notice.Changed();
    EXPECT_EQ(Notices(), 1u);
    for (int i = 0; i < 10; ++i) {
        notice.Changed();
    }
    timer_.Advance(300ms);
    EXPECT_EQ(Notices(), 1u) << "a pending notice covers later changes";
    notice.Taken();
    notice.Changed();
    EXPECT_EQ(Notices(), 2u) << "after the copy a change needs a notice of its own";
}

TEST_F(PeersNoticeTest, AfterABurstTheNextNoticeWaitsForTheSpacing) {
    PeersNotice notice(events_, timer_, 200ms, 3);
    for (int i = 0; i < 3; ++i) {
        notice.Changed();
        notice.Taken();
    }
    EXPECT_EQ(Notices(), 3u) << "occasional changes are shown at once";
    notice.Changed();
    EXPECT_EQ(Notices(), 3u);
    timer_.Advance(199ms);
    EXPECT_EQ(Notices(), 3u) << "the deferred notice came before its time";
    timer_.Advance(1ms);
    EXPECT_EQ(Notices(), 4u) << "the deferred notice never came";
    timer_.Advance(300ms);
    EXPECT_EQ(Notices(), 4u);
}

// A front end that copies the table on every notice while a change comes every millisecond for
// half a second: it rebuilds about once per spacing, not once per change, and its last copy shows
// the last change.
TEST_F(PeersNoticeTest, AStreamOfChangesCostsAboutOneRebuildPerSpacing) {
    PeersNotice notice(events_, timer_, 50ms, 5);
    int version = 0;
    int last_copied = -1;
    int rebuilds = 0;
    auto rebuild = [&] {
        for (std::size_t i = events_.Take().size(); i > 0; --i) {
            notice.Taken();
            last_copied = version;
            ++rebuilds;
        }
    };
    for (int ms = 0; ms < 500; ++ms) {
        ++version;
        notice.Changed();
        timer_.Advance(1ms);
        rebuild();
    }
    timer_.Advance(50ms);
    rebuild();
    EXPECT_EQ(last_copied, version) << "the last rebuild missed the last change";
    EXPECT_LE(rebuilds, 5 + 500 / 50 + 1) << "rebuilds were not spaced";
    EXPECT_GE(rebuilds, 500 / 50);
}

TEST_F(PeersNoticeTest, ANoticeWaitingForItsTimeIsDroppedWithTheObject) {
    auto notice = std::make_unique<PeersNotice>(events_, timer_, 300ms, 1);
    notice->Changed();
    notice->Taken();
    notice->Changed();  // due in 300 ms
    EXPECT_TRUE(timer_.HasTask());
    notice.reset();
    EXPECT_FALSE(timer_.HasTask());
    timer_.Advance(400ms);
    EXPECT_EQ(Notices(), 1u);
}

}  // namespace
}  // namespace veltra
