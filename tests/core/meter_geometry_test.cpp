// The level meter's scale, rows, repaint strips and row split, as tables.
#include <gtest/gtest.h>

#include "core/meter_geometry.h"

using namespace meter;

TEST(MeterGeometry, ScaleClampsAndMapsLevelsToColumns) {
    struct {
        int level, width, clamped, x, percent;  // percent: what a screen reader hears, rounded
    } cases[] = {
        {-36, 192, -36, 0, 0},    {-100, 192, -36, 0, 0}, {0, 192, 0, 144, 75},   {12, 192, 12, 192, 100},
        {127, 192, 12, 192, 100}, {-10, 298, -10, 161, 54}, {-5, 298, -5, 192, 65}, {0, 298, 0, 223, 75},  // 223.5 truncates
        {1, 298, 1, 229, 77},     {-35, 47, -35, 0, 2},   {12, 0, 12, 0, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << " width " << c.width);
        EXPECT_EQ(ClampLevel(c.level), c.clamped);
        EXPECT_EQ(LevelX(c.clamped, c.width), c.x);
        EXPECT_EQ(LevelPercent(c.level), c.percent);
    }
}

TEST(MeterGeometry, UsableSizeAndRows) {
    EXPECT_EQ(UsableSize(300, 14, true).width, 298);
    EXPECT_EQ(UsableSize(300, 14, true).height, 12);
    EXPECT_EQ(UsableSize(300, 14, false).width, 300);
    EXPECT_EQ(UsableSize(1, 1, true).width, 0);  // smaller than its edge: no bars, no negative sizes
    EXPECT_EQ(UsableSize(1, 1, true).height, 0);

    // 12 rows over 1, 2, 5 channels: rows follow one another without gaps.
    EXPECT_EQ(RowTop(0, 1, 12), 0);
    EXPECT_EQ(RowTop(1, 1, 12), 12);
    EXPECT_EQ(RowTop(1, 2, 12), 6);
    const int fives[] = {0, 2, 4, 7, 9, 12};
    for (int i = 0; i <= 5; ++i) EXPECT_EQ(RowTop(i, 5, 12), fives[i]) << i;
}

TEST(MeterGeometry, ChangeStripCoversOnlyTheColumnsBetweenTheLevels) {
    const Size usable{298, 12};
    struct {
        int channel, count, from, to;
        Span strip;
    } cases[] = {
        {0, 1, -10, -5, {161, 0, 193, 12}},
        {0, 1, -5, -10, {161, 0, 193, 12}},  // falling: the same strip
        {0, 1, -36, 12, {0, 0, 299, 12}},    // the whole scale; still left of the edge column
        {1, 2, 0, 3, {223, 6, 243, 12}},
        {0, 2, -36, -35, {0, 0, 7, 6}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " -> " << c.to << " channel " << c.channel << "/" << c.count);
        const Span s = ChangeStrip(c.channel, c.count, c.from, c.to, usable);
        EXPECT_EQ(s.left, c.strip.left);
        EXPECT_EQ(s.top, c.strip.top);
        EXPECT_EQ(s.right, c.strip.right);
        EXPECT_EQ(s.bottom, c.strip.bottom);
    }
}

TEST(MeterGeometry, RowSplitsIntoGreenRedAndBlackWithinTheUpdate) {
    // Width 192: 4 columns per dB, 0 dB at 144. A part that does not fill has left >= right.
    struct {
        int level, left, right;
        Part green, red, black;
    } cases[] = {
        {-36, 0, 192, {0, 0}, {0, 0}, {0, 192}},
        {-10, 0, 192, {0, 104}, {0, 0}, {104, 192}},
        {0, 0, 192, {0, 144}, {0, 0}, {144, 192}},
        {6, 0, 192, {0, 144}, {144, 168}, {168, 192}},
        {12, 0, 192, {0, 144}, {144, 192}, {0, 0}},
        {12, 0, 200, {0, 144}, {144, 192}, {192, 200}},  // past the usable width (edge column) is black
        // Partial updates, as a level change repaints them.
        {-5, 104, 125, {104, 124}, {0, 0}, {124, 125}},
        {-10, 104, 125, {0, 0}, {0, 0}, {104, 125}},
        {6, 150, 170, {0, 0}, {150, 168}, {168, 170}},
        {6, 100, 120, {100, 120}, {0, 0}, {0, 0}},  // all green: nothing else
        {12, 180, 192, {0, 0}, {180, 192}, {0, 0}},
        {-36, 0, 1, {0, 0}, {0, 0}, {0, 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << " update " << c.left << ".." << c.right);
        const RowParts p = SplitRow(c.level, 192, c.left, c.right);
        auto same = [](const Part& got, const Part& want) {
            if (!want.Fills()) return !got.Fills();
            return got.left == want.left && got.right == want.right;
        };
        EXPECT_TRUE(same(p.green, c.green)) << "green " << p.green.left << ".." << p.green.right;
        EXPECT_TRUE(same(p.red, c.red)) << "red " << p.red.left << ".." << p.red.right;
        EXPECT_TRUE(same(p.black, c.black)) << "black " << p.black.left << ".." << p.black.right;
    }
}
