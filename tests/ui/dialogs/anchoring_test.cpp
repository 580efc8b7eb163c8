// How a template's arrangement follows the window: the anchoring rule and the smallest window
// the arrangement allows.

#include "ui/dialogs/anchoring.h"

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

namespace veltra {

void PrintTo(const Box& box, std::ostream* out) {
    *out << "(" << box.x << "," << box.y << " " << box.width << "x" << box.height << ")";
}

namespace {

const Extent kDrawnFor{100, 200};

// A list over a button over a log, a short field at the top left, a bar along the bottom and a
// button at the bottom right: the shape of the main and compose templates.
const AnchoredItem kField{{60, 5, 30, 10}, {shares::kStart, shares::kStart}};
const AnchoredItem kList{{0, 20, 100, 80}, {shares::kSpan, shares::kFirstHalf}};
const AnchoredItem kButton{{5, 105, 40, 10}, {shares::kStart, shares::kMiddle}};
const AnchoredItem kLog{{0, 120, 100, 60}, {shares::kSpan, shares::kSecondHalf}};
const AnchoredItem kBar{{5, 185, 50, 10}, {shares::kStart, shares::kEnd}};
const AnchoredItem kCorner{{70, 185, 25, 10}, {shares::kEnd, shares::kEnd}};
const std::vector<AnchoredItem> kArrangement{kField, kList, kButton, kLog, kBar, kCorner};

Box At(const AnchoredItem& item, const Extent& client) {
    return AnchoredBox(item.box, kDrawnFor, client, item.anchor);
}

bool Overlap(const Box& a, const Box& b) {
    return a.x < b.Right() && b.x < a.Right() && a.y < b.Bottom() && b.y < a.Bottom();
}

TEST(AnchoringTest, AtTheTemplatesOwnSizeEveryControlKeepsItsRectangle) {
    for (const AnchoredItem& item : kArrangement) {
        EXPECT_EQ(At(item, kDrawnFor), item.box);
    }
}

TEST(AnchoringTest, GrowingControlsTakeTheirShareTheOthersKeepTheirSizeAndDistance) {
    const Extent client{160, 300};  // 60 wider, 100 taller
    EXPECT_EQ(At(kField, client), kField.box);
    EXPECT_EQ(At(kList, client), (Box{0, 20, 160, 130}));
    EXPECT_EQ(At(kButton, client), (Box{5, 155, 40, 10}));  // as far below the list as before
    EXPECT_EQ(At(kLog, client), (Box{0, 170, 160, 110}));
    EXPECT_EQ(At(kBar, client), (Box{5, 285, 50, 10}));
    EXPECT_EQ(At(kCorner, client), (Box{130, 285, 25, 10}));  // 5 from the right, 5 from the bottom

    const Extent smaller{80, 160};
    EXPECT_EQ(At(kList, smaller), (Box{0, 20, 80, 60}));
    EXPECT_EQ(At(kLog, smaller), (Box{0, 100, 80, 40}));
    EXPECT_EQ(At(kCorner, smaller), (Box{50, 145, 25, 10}));
}

TEST(AnchoringTest, WhatReachesBeyondTheTemplatesAreaIsCutOffFirst) {
    // A log drawn 300 wide on a screen 100 wide ended at the screen's edge.
    const Anchor span{shares::kSpan, shares::kStart};
    EXPECT_EQ(AnchoredBox({-1, 0, 300, 50}, kDrawnFor, {250, 200}, span), (Box{-1, 0, 251, 50}));
    EXPECT_EQ(AnchoredBox({120, 0, 30, 50}, kDrawnFor, {100, 200}, Anchor{}), (Box{120, 0, 0, 50}));
}

TEST(AnchoringTest, TheSmallestClientKeepsHalfOfEachGrowingControlAndNoControlsOverlap) {
    const Extent least = MinimumClientSize(kArrangement, kDrawnFor);
    // Across: the field at the top left ends at 90 and may not be cut off; down: the log keeps 30
    // of its 60 at half the shrink (the list's 80 would allow more).
    EXPECT_EQ(least, (Extent{90, 140}));
    for (const Extent client : {least, kDrawnFor, Extent{400, 900}}) {
        for (const AnchoredItem& item : kArrangement) {
            const Box box = At(item, client);
            EXPECT_GE(box.x, 0);
            EXPECT_LE(box.Right(), client.width);
            EXPECT_LE(box.Bottom(), client.height);
            EXPECT_GE(box.width * 2, item.box.width);
            EXPECT_GE(box.height * 2, item.box.height);
            for (const AnchoredItem& other : kArrangement) {
                EXPECT_TRUE(&item == &other || !Overlap(box, At(other, client)));
            }
        }
    }
}

TEST(AnchoringTest, FixedControlsLimitTheShrinkTheyWouldOtherwiseOverlapOrLeave) {
    // The bar at the left and the corner button at the right close their 15-wide gap one for one.
    EXPECT_EQ(MinimumClientSize({kBar, kCorner}, kDrawnFor).width, 85);
    // The field stays at the left: the window may not cut it off (it ends at 90).
    EXPECT_EQ(MinimumClientSize({kField}, kDrawnFor).width, 90);
    // A middle button keeps its distance to the list above it, so only the edges bound it.
    EXPECT_EQ(MinimumClientSize({kList, kButton}, kDrawnFor).height, 120);
    // One above the other, the bottom one moving up a whole share: the gap of 170 bounds them,
    // unless they stand apart across as well.
    EXPECT_EQ(MinimumClientSize({kField, kCorner}, kDrawnFor).height, 30);
    EXPECT_EQ(MinimumClientSize({kField, kBar}, kDrawnFor).height, 15);
    EXPECT_EQ(MinimumClientSize({}, kDrawnFor), (Extent{0, 0}));
}

}  // namespace
}  // namespace veltra
