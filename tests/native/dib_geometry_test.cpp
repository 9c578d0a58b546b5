// DIB geometry without the platform: colour-table sizes, padded rows, the
// default palette and the screen capture file's layout and header.
#include "image/DibGeometry.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

std::uint32_t Read16(const std::uint8_t* p)
{
    return p[0] | (p[1] << 8);
}

std::uint32_t Read32(const std::uint8_t* p)
{
    return Read16(p) | (Read16(p + 2) << 16);
}

bool SameColor(const PaletteColor& c, int red, int green, int blue)
{
    return c.red == red && c.green == green && c.blue == blue && c.flags == 0;
}

TEST(ColorTableSize, OnlyPaletteDepthsHaveATable)
{
    EXPECT_EQ(ColorTableSize(1), 2);
    EXPECT_EQ(ColorTableSize(4), 16);
    EXPECT_EQ(ColorTableSize(8), 256);
    for (int bits : {0, 2, 15, 16, 24, 32, -8, 256})
        EXPECT_EQ(ColorTableSize(bits), 0) << bits;
}

TEST(DeclaredColorCount, AShortTableIsReadOnlyAsFarAsDeclared)
{
    EXPECT_EQ(DeclaredColorCount(8, 100), 100);
    EXPECT_EQ(DeclaredColorCount(8, 256), 256);
    EXPECT_EQ(DeclaredColorCount(4, 3), 3);
    EXPECT_EQ(DeclaredColorCount(1, 1), 1);
    // Zero, or more than the depth allows, means the full table.
    EXPECT_EQ(DeclaredColorCount(8, 0), 256);
    EXPECT_EQ(DeclaredColorCount(8, 257), 256);
    EXPECT_EQ(DeclaredColorCount(4, 0xFFFFFFFFu), 16);
    EXPECT_EQ(DeclaredColorCount(24, 100), 0);
    EXPECT_EQ(DeclaredColorCount(32, 0), 0);
}

TEST(RowBytes, PadsToWholeWords)
{
    EXPECT_EQ(RowBytes(157, 8), 160);
    EXPECT_EQ(RowBytes(3, 24), 12);
    EXPECT_EQ(RowBytes(1, 1), 4);
    EXPECT_EQ(RowBytes(33, 1), 8);
    EXPECT_EQ(RowBytes(5, 4), 4);
    EXPECT_EQ(RowBytes(1366, 24), 4100);
    EXPECT_EQ(RowBytes(1366, 16), 2732);
    for (int width : {1, 7, 1024, 1920})
        EXPECT_EQ(RowBytes(width, 32), width * 4) << width;
}

TEST(RowBytes, RowsBeyond31BitsAreNegativeInsteadOfWrapping)
{
    EXPECT_LT(RowBytes(0x7FFFFFFF, 32), 0);
    EXPECT_LT(RowBytes(600000000, 32), 0);
    EXPECT_GT(RowBytes(500000000, 32), 0);
}

TEST(DefaultPalette, CountsOutOfRangeGiveTheFullPalette)
{
    const auto full = DefaultPaletteColors(256);
    ASSERT_EQ(full.size(), 256u);
    for (int count : {0, -5, 300, 257}) {
        const auto colors = DefaultPaletteColors(count);
        ASSERT_EQ(colors.size(), 256u) << count;
        for (size_t i = 0; i < colors.size(); ++i)
            EXPECT_TRUE(SameColor(colors[i], full[i].red, full[i].green, full[i].blue)) << count << " entry " << i;
    }
}

TEST(DefaultPalette, FixedColoursComeFirst)
{
    static const int kFixed[16][3] = {
        {0, 0, 0},     {255, 255, 255}, {0, 0, 255},   {0, 255, 0},   {0, 255, 255},   {255, 0, 0},
        {255, 0, 255}, {255, 255, 0},   {0, 0, 128},   {0, 128, 0},   {0, 128, 128},   {128, 0, 0},
        {128, 0, 128}, {128, 128, 0},   {128, 128, 128}, {192, 192, 192},
    };
    const auto sixteen = DefaultPaletteColors(16);
    ASSERT_EQ(sixteen.size(), 16u);
    for (int i = 0; i < 16; ++i)
        EXPECT_TRUE(SameColor(sixteen[i], kFixed[i][0], kFixed[i][1], kFixed[i][2])) << i;

    const auto two = DefaultPaletteColors(2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_TRUE(SameColor(two[0], 0, 0, 0));
    EXPECT_TRUE(SameColor(two[1], 255, 255, 255));

    EXPECT_EQ(DefaultPaletteColors(1).size(), 1u);
    EXPECT_EQ(DefaultPaletteColors(17).size(), 17u);
}

TEST(DefaultPalette, CubeRunsRedFastestThenGreenThenBlue)
{
    const auto colors = DefaultPaletteColors(256);
    for (int b = 0; b < 6; ++b)
        for (int g = 0; g < 6; ++g)
            for (int r = 0; r < 6; ++r) {
                const int index = 16 + 36 * b + 6 * g + r;
                EXPECT_TRUE(SameColor(colors[index], 51 * r, 51 * g, 51 * b)) << index;
            }
    EXPECT_TRUE(SameColor(colors[16], 0, 0, 0));
    EXPECT_TRUE(SameColor(colors[17], 51, 0, 0));
    EXPECT_TRUE(SameColor(colors[52], 0, 0, 51));
    EXPECT_TRUE(SameColor(colors[231], 255, 255, 255));
}

TEST(DefaultPalette, GreyRampEndsInWhite)
{
    static const int kGrey[24] = {0,   11,  22,  33,  44,  55,  66,  77,  88,  99,  110, 121,
                                  133, 144, 155, 166, 177, 188, 199, 210, 221, 232, 243, 255};
    const auto colors = DefaultPaletteColors(256);
    for (int k = 0; k < 24; ++k)
        EXPECT_TRUE(SameColor(colors[232 + k], kGrey[k], kGrey[k], kGrey[k])) << k;
    EXPECT_TRUE(SameColor(colors[255], 255, 255, 255));
}

struct CaptureCase {
    int width, height, bits;
    std::uint32_t row, image, file;
};

TEST(CaptureLayout, SizesOfTheCaptureFile)
{
    static const CaptureCase kCases[] = {
        {1024, 768, 32, 4096, 3145728, 3145782},
        {1024, 768, 16, 2048, 1572864, 1572918},
        {1024, 768, 24, 3072, 2359296, 2359350},
        {1366, 768, 24, 4100, 3148800, 3148854},
        {1920, 1080, 32, 7680, 8294400, 8294454},
        {1, 1, 16, 4, 4, 58},
    };
    for (const CaptureCase& c : kCases) {
        CaptureLayout layout;
        ASSERT_TRUE(ComputeCaptureLayout(c.width, c.height, c.bits, layout)) << c.width << "x" << c.bits;
        EXPECT_EQ(layout.rowBytes, c.row) << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_EQ(layout.imageBytes, c.image) << c.width << "x" << c.height << "x" << c.bits;
        EXPECT_EQ(layout.fileBytes, c.file) << c.width << "x" << c.height << "x" << c.bits;
    }
}

TEST(CaptureLayout, RefusesWhatABmpFileCannotHold)
{
    CaptureLayout layout;
    EXPECT_FALSE(ComputeCaptureLayout(0, 768, 32, layout));
    EXPECT_FALSE(ComputeCaptureLayout(1024, 0, 32, layout));
    EXPECT_FALSE(ComputeCaptureLayout(-1024, 768, 32, layout));
    EXPECT_FALSE(ComputeCaptureLayout(1024, -768, 32, layout));
    for (int bits : {1, 4, 8, 15, 0})
        EXPECT_FALSE(ComputeCaptureLayout(1024, 768, bits, layout)) << bits;
    // 65536 x 16384 x 4 bytes is exactly 4 GiB: one byte too many with the header.
    EXPECT_FALSE(ComputeCaptureLayout(65536, 16384, 32, layout));
    EXPECT_FALSE(ComputeCaptureLayout(0x7FFFFFFF, 1, 32, layout));
    EXPECT_TRUE(ComputeCaptureLayout(65536, 16383, 32, layout));
    EXPECT_EQ(layout.fileBytes, 65536u * 16383u * 4u + 54u);
}

TEST(CaptureHeader, FieldsAtTheirOffsets)
{
    CaptureLayout layout;
    ASSERT_TRUE(ComputeCaptureLayout(1366, 768, 24, layout));
    const auto h = MakeCaptureHeader(1366, 768, 24, layout);
    EXPECT_EQ(h[0], 'B');
    EXPECT_EQ(h[1], 'M');
    EXPECT_EQ(Read32(&h[2]), 3148854u);
    EXPECT_EQ(Read32(&h[6]), 0u);
    EXPECT_EQ(Read32(&h[10]), 54u);
    EXPECT_EQ(Read32(&h[14]), 40u);
    EXPECT_EQ(Read32(&h[18]), 1366u);
    EXPECT_EQ(Read32(&h[22]), 768u);
    EXPECT_EQ(Read16(&h[26]), 1u);
    EXPECT_EQ(Read16(&h[28]), 24u);
    EXPECT_EQ(Read32(&h[30]), 0u);
    EXPECT_EQ(Read32(&h[34]), 3148800u);
    for (int offset = 38; offset < 54; ++offset)
        EXPECT_EQ(h[offset], 0) << offset;
}

TEST(CaptureHeader, LittleEndianWhateverTheValues)
{
    CaptureLayout layout;
    ASSERT_TRUE(ComputeCaptureLayout(1024, 768, 32, layout));
    const auto h = MakeCaptureHeader(1024, 768, 32, layout);
    // 3145782 = 0x00300036
    EXPECT_EQ(h[2], 0x36);
    EXPECT_EQ(h[3], 0x00);
    EXPECT_EQ(h[4], 0x30);
    EXPECT_EQ(h[5], 0x00);
    EXPECT_EQ(h[18], 0x00);
    EXPECT_EQ(h[19], 0x04);
    EXPECT_EQ(h[22], 0x00);
    EXPECT_EQ(h[23], 0x03);
    EXPECT_EQ(Read16(&h[28]), 32u);
    EXPECT_EQ(Read32(&h[34]), 3145728u);
}

TEST(CaptureBitCount, PaletteScreensAreCapturedTrueColour)
{
    for (int bits : {1, 4, 8})
        EXPECT_EQ(CaptureBitCount(bits), 32) << bits;
    EXPECT_EQ(CaptureBitCount(15), 16);
    EXPECT_EQ(CaptureBitCount(16), 16);
    EXPECT_EQ(CaptureBitCount(24), 24);
    EXPECT_EQ(CaptureBitCount(32), 32);
}

} // namespace
