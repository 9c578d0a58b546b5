#include "linux/FrameCopy.h"
#include "linux/FrameDamage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

TEST(FrameCopy, To565KeepsTheTopBitsOfEachChannel)
{
    EXPECT_EQ(To565(0x000000), 0x0000);
    EXPECT_EQ(To565(0xFFFFFF), 0xFFFF);
    EXPECT_EQ(To565(0xFF0000), 0xF800);
    EXPECT_EQ(To565(0x00FF00), 0x07E0);
    EXPECT_EQ(To565(0x0000FF), 0x001F);
    // The bits below a channel's top ones never reach the next channel.
    EXPECT_EQ(To565(0x070307), 0x0000);
    EXPECT_EQ(To565(0x080408), 0x0821);
    EXPECT_EQ(To565(0x123456), (0x12 >> 3) << 11 | (0x34 >> 2) << 5 | (0x56 >> 3));
    // A fourth byte is ignored.
    EXPECT_EQ(To565(0xFF123456), To565(0x123456));
}

namespace {

// A 3 x 4 frame whose words name their memory row and column.
std::vector<uint32_t> Frame()
{
    std::vector<uint32_t> frame;
    for (uint32_t row = 0; row < 4; ++row)
        for (uint32_t col = 0; col < 3; ++col)
            frame.push_back(0x00100000 * (row + 1) | 0x00000100 * (col + 1) | 0x8);
    return frame;
}

} // namespace

TEST(FrameCopy, OnlyTheSpansOfEachRowAreConvertedOntoTheirOwnLines)
{
    std::vector<uint32_t> frame = Frame();
    // Engine row 0 (the bottom): column 1; row 1: none; row 2: all; row 3
    // (the top): 0 and 1.
    const ripple::Span rows[4] = {{1, 2}, {}, {0, 3}, {0, 2}};
    const int stride = 8;
    std::vector<uint8_t> narrow(stride * 4, 0xEE);
    CopySpans565(ripple::Target::BottomUp(frame.data(), 3, 4), ripple::Target::TopDown(narrow.data(), 4, stride),
                 rows);
    for (int y = 0; y < 4; ++y) {
        const uint16_t* line = reinterpret_cast<const uint16_t*>(narrow.data() + y * stride);
        for (int x = 0; x < 4; ++x) {
            const bool in = x >= rows[3 - y].first && x < rows[3 - y].end;
            EXPECT_EQ(line[x], in ? To565(frame[(3 - y) * 3 + x]) : 0xEEEE) << x << "," << y;
        }
    }
}

namespace {

// Whether the rectangles cover every row's span, each within one, in order
// and without overlapping; and how many pixels they cover.
long long CheckCover(const std::vector<ripple::Span>& rows, const std::vector<DamageRect>& rects)
{
    long long area = 0;
    int below = 0;
    for (const DamageRect& r : rects) {
        EXPECT_GT(r.width, 0);
        EXPECT_GT(r.height, 0);
        EXPECT_GE(r.y, below) << "rectangles out of order or overlapping";
        below = r.y + r.height;
        area += static_cast<long long>(r.width) * r.height;
    }
    for (size_t y = 0; y < rows.size(); ++y) {
        if (rows[y].Empty())
            continue;
        int holding = 0;
        for (const DamageRect& r : rects) {
            if (static_cast<int>(y) >= r.y && static_cast<int>(y) < r.y + r.height && rows[y].first >= r.x
                && rows[y].end <= r.x + r.width)
                ++holding;
        }
        EXPECT_EQ(holding, 1) << "row " << y;
    }
    return area;
}

// Memory whose lines are the engine's rows.
ripple::Target Lines(int height)
{
    return ripple::Target::BottomUp(nullptr, 1, height);
}

} // namespace

TEST(FrameDamage, RectanglesCoverTheRowsWithLittleMoreAndAtMostSoMany)
{
    std::vector<DamageRect> rects;
    // Nothing changed: no rectangle.
    std::vector<ripple::Span> rows(100);
    DamageRects(rows.data(), Lines(100), 8, rects);
    EXPECT_TRUE(rects.empty());

    // A ring of a wave: the span of each row of a circle of radius 30 about
    // row 50, column 200, with the rows above and below unchanged.
    long long exact = 0;
    for (int y = 20; y <= 80; ++y) {
        const int half = static_cast<int>(std::sqrt(900.0 - (y - 50) * (y - 50)));
        rows[y] = {200 - half, 201 + half};
        exact += rows[y].end - rows[y].first;
    }
    DamageRects(rows.data(), Lines(100), 48, rects);
    const long long area = CheckCover(rows, rects);
    EXPECT_LE(area * 4, exact * 5) << "more than a quarter beyond the spans";
    EXPECT_GT(rects.size(), 1u);
    EXPECT_LT(rects.size(), 20u);

    // Two blocks apart: two rectangles, exactly them.
    std::vector<ripple::Span> blocks(10);
    blocks[1] = blocks[2] = {5, 9};
    blocks[6] = blocks[7] = blocks[8] = {0, 3};
    DamageRects(blocks.data(), Lines(10), 8, rects);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(CheckCover(blocks, rects), 8 + 9);
    // In memory that runs from the top, rows 6 to 8 are lines 1 to 3.
    DamageRects(blocks.data(), ripple::Target::TopDown(nullptr, 10, 4), 8, rects);
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ((std::vector<int>{rects[0].x, rects[0].y, rects[0].width, rects[0].height}), (std::vector<int>{0, 1, 3, 3}));
    EXPECT_EQ((std::vector<int>{rects[1].x, rects[1].y, rects[1].width, rects[1].height}), (std::vector<int>{5, 7, 4, 2}));

    // Rows alternating far apart and wide: at most the number asked for,
    // still covering every row.
    std::vector<ripple::Span> zigzag(64);
    for (int y = 0; y < 64; ++y)
        zigzag[y] = y % 2 ? ripple::Span{0, 4} : ripple::Span{500, 504};
    DamageRects(zigzag.data(), Lines(64), 5, rects);
    EXPECT_LE(rects.size(), 5u);
    CheckCover(zigzag, rects);
}

TEST(FrameDamage, AnImageLacksTheUnionOfTheChangesSinceItWasLastUpToDate)
{
    CRowDamage missing;
    missing.Reset(3, 40, true);
    EXPECT_FALSE(missing.Empty());
    EXPECT_EQ(missing.Rows()[2].end, 40);
    missing.Clear();
    EXPECT_TRUE(missing.Empty());
    const ripple::Span first[3] = {{5, 10}, {}, {}};
    const ripple::Span second[3] = {{12, 20}, {}, {1, 2}};
    missing.Add(first);
    missing.Add(second);
    EXPECT_EQ(missing.Rows()[0].first, 5);
    EXPECT_EQ(missing.Rows()[0].end, 20);
    EXPECT_TRUE(missing.Rows()[1].Empty());
    EXPECT_EQ(missing.Rows()[2].first, 1);
    missing.Reset(2, 40, false);
    EXPECT_TRUE(missing.Empty());
    const ripple::Span none[2] = {};
    missing.Add(none);
    EXPECT_TRUE(missing.Empty());
}
