#include "linux/FrameCopy.h"

#include <gtest/gtest.h>

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

TEST(FrameCopy, TheBottomUpFrameLandsTopDownInStridedRows)
{
    const std::vector<uint32_t> frame = Frame();
    const int stride = 16; // 3 words and 4 bytes of padding
    std::vector<uint8_t> target(stride * 4, 0xEE);
    CopyFrame32(frame.data(), 3, 4, 0, 4, target.data(), stride, 0);
    for (int y = 0; y < 4; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(target.data() + y * stride);
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(row[x], frame[(3 - y) * 3 + x]) << x << "," << y;
        for (int pad = 12; pad < stride; ++pad)
            EXPECT_EQ(target[y * stride + pad], 0xEE) << "padding of row " << y;
    }

    // A band of rows, with an opaque alpha byte.
    std::vector<uint8_t> band(stride * 4, 0);
    CopyFrame32(frame.data(), 3, 4, 1, 2, band.data(), stride, 0xFF000000u);
    for (int y = 0; y < 4; ++y) {
        const uint32_t* row = reinterpret_cast<const uint32_t*>(band.data() + y * stride);
        EXPECT_EQ(row[0], y == 1 || y == 2 ? (frame[(3 - y) * 3] | 0xFF000000u) : 0u) << y;
    }
}

TEST(FrameCopy, SixteenBitRowsAreConvertedAndFlipped)
{
    const std::vector<uint32_t> frame = Frame();
    const int stride = 8; // 3 pixels and 2 bytes of padding
    std::vector<uint8_t> target(stride * 4, 0xEE);
    CopyFrame565(frame.data(), 3, 4, 0, 4, target.data(), stride);
    for (int y = 0; y < 4; ++y) {
        const uint16_t* row = reinterpret_cast<const uint16_t*>(target.data() + y * stride);
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(row[x], To565(frame[(3 - y) * 3 + x])) << x << "," << y;
        EXPECT_EQ(target[y * stride + 6], 0xEE);
    }
}
