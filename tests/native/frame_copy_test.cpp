#include "linux/FrameCopy.h"

#include <gtest/gtest.h>

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

TEST(FrameCopy, OpaqueRowsOfAnyWidthAndStartAreWholeAndStayInTheirRows)
{
    // Every width around the four-word steps, from every start within 16
    // bytes: each word of each row ORed, nothing before, after or between.
    constexpr int kHeight = 3;
    for (int width = 1; width <= 13; ++width) {
        std::vector<uint32_t> frame(static_cast<size_t>(width) * kHeight);
        for (size_t i = 0; i < frame.size(); ++i)
            frame[i] = 0x00010203u * static_cast<uint32_t>(i + 1);
        for (int start = 0; start < 16; start += 4) {
            const int stride = width * 4 + 8;
            alignas(16) uint8_t target[16 + (13 * 4 + 8) * kHeight + 16];
            std::memset(target, 0xEE, sizeof target);
            CopyFrame32(frame.data(), width, kHeight, 0, kHeight, target + 16 + start, stride, 0xFF000000u);
            for (int at = 0; at < static_cast<int>(sizeof target); ++at) {
                const int offset = at - 16 - start;
                const int y = offset >= 0 ? offset / stride : -1;
                const int column = offset >= 0 ? offset % stride : -1;
                if (y < 0 || y >= kHeight || column >= width * 4) {
                    ASSERT_EQ(target[at], 0xEE) << "width " << width << " start " << start << " byte " << at;
                    continue;
                }
                const uint32_t word = frame[static_cast<size_t>(kHeight - 1 - y) * width + column / 4] | 0xFF000000u;
                ASSERT_EQ(target[at], static_cast<uint8_t>(word >> (8 * (column % 4))))
                    << "width " << width << " start " << start << " row " << y << " byte " << column;
            }
        }
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
