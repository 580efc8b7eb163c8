#include "ui/presentation/unread.h"

#include <gtest/gtest.h>

namespace veltra {
namespace {

TEST(Unread, AMessageTheUserDidNotSeeWaitsUntilTheWindowIsSeen) {
    UnreadState state;
    EXPECT_FALSE(state.MessageArrived(true));  // read as it arrived
    EXPECT_FALSE(state.Unread());

    EXPECT_TRUE(state.MessageArrived(false));
    EXPECT_TRUE(state.Unread());
    EXPECT_FALSE(state.MessageArrived(false)) << "already unread: nothing to redraw";
    EXPECT_FALSE(state.MessageArrived(true)) << "a later message seen does not clear the first";
    EXPECT_TRUE(state.Unread());

    EXPECT_TRUE(state.WindowSeen());
    EXPECT_FALSE(state.Unread());
    EXPECT_FALSE(state.WindowSeen()) << "seen twice: the second changes nothing";
}

TEST(Unread, ABatchCountsWhenItBroughtFilesOrFailures) {
    UnreadState state;
    EXPECT_FALSE(state.BatchEnded({0, 0}, false)) << "a batch that ended with nothing is no news";
    EXPECT_FALSE(state.Unread());
    EXPECT_FALSE(state.BatchEnded({2, 0}, true));
    EXPECT_FALSE(state.Unread());

    EXPECT_TRUE(state.BatchEnded({2, 0}, false));
    EXPECT_TRUE(state.Unread());
    state.WindowSeen();
    EXPECT_TRUE(state.BatchEnded({0, 1}, false)) << "failed entries are news too";
    EXPECT_TRUE(state.Unread());
}

}  // namespace
}  // namespace veltra
