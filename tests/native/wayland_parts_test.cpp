// The Wayland front end's parts that stand without a compositor: how a
// show's buffer fills an output's surface (at a whole or fractional scale),
// and an output's copied bytes
// turned into the picture's pixels.
#include "wayland/DesktopCopy.h"
#include "wayland/SurfaceLayout.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

OutputPixels Output(int width, int height, int scale, int transform = 0)
{
    OutputPixels output;
    output.modeWidth = width;
    output.modeHeight = height;
    output.scale = scale;
    output.transform = transform;
    return output;
}

SurfaceLayout Layout(int width, int height, int scale, int viewWidth = 0, int viewHeight = 0)
{
    SurfaceLayout layout;
    layout.width = width;
    layout.height = height;
    layout.bufferScale = scale;
    layout.viewWidth = viewWidth;
    layout.viewHeight = viewHeight;
    return layout;
}

} // namespace

TEST(WaylandSurfaceLayout, BuffersAreAtTheOutputsPhysicalPixels)
{
    SurfaceLayout layout;
    // Whole scales: the configured size times the scale, the scale set.
    ASSERT_TRUE(LayOutSurface(Output(1280, 720, 1), 1280, 720, true, layout));
    EXPECT_EQ(layout, Layout(1280, 720, 1));
    ASSERT_TRUE(LayOutSurface(Output(3840, 2160, 2), 1920, 1080, true, layout));
    EXPECT_EQ(layout, Layout(3840, 2160, 2));
    // A scale of 1.5, told as 2, over 853x480: the mode's pixels through a
    // viewport; without viewports the compositor scales a buffer of 2.
    ASSERT_TRUE(LayOutSurface(Output(1280, 720, 2), 853, 480, true, layout));
    EXPECT_EQ(layout, Layout(1280, 720, 1, 853, 480));
    ASSERT_TRUE(LayOutSurface(Output(1280, 720, 2), 853, 480, false, layout));
    EXPECT_EQ(layout, Layout(1706, 960, 2));
    // An output turned a quarter: its mode is given unturned.
    ASSERT_TRUE(LayOutSurface(Output(1920, 1080, 1, 1), 1080, 1920, true, layout));
    EXPECT_EQ(layout, Layout(1080, 1920, 1));
    ASSERT_TRUE(LayOutSurface(Output(1920, 1080, 2, 7), 540, 960, true, layout));
    EXPECT_EQ(layout, Layout(1080, 1920, 2));
    // A window the client sizes (0x0): the whole output.
    ASSERT_TRUE(LayOutSurface(Output(2560, 1440, 2), 0, 0, true, layout));
    EXPECT_EQ(layout, Layout(2560, 1440, 2));
    // A mode not known yet: the configured size times the scale.
    ASSERT_TRUE(LayOutSurface(Output(0, 0, 2), 640, 360, true, layout));
    EXPECT_EQ(layout, Layout(1280, 720, 2));
}

TEST(WaylandSurfaceLayout, AFractionalScaleToldForTheSurfaceWinsOverTheMode)
{
    SurfaceLayout layout;
    // 1.25 (150/120) over 960x540: 1200x675 through the viewport, whatever
    // the mode says (here a mode the output has not switched to yet).
    OutputPixels output = Output(1920, 1080, 2);
    output.scale120 = 150;
    ASSERT_TRUE(LayOutSurface(output, 960, 540, true, layout));
    EXPECT_EQ(layout, Layout(1200, 675, 1, 960, 540));
    // Rounded half away from zero: 101 x 1.5 = 151.5, 33 x 1.5 = 49.5.
    output.scale120 = 180;
    ASSERT_TRUE(LayOutSurface(output, 101, 33, true, layout));
    EXPECT_EQ(layout, Layout(152, 50, 1, 101, 33));
    // Without viewports it cannot be shown: the whole scale as before.
    ASSERT_TRUE(LayOutSurface(output, 960, 540, false, layout));
    EXPECT_EQ(layout, Layout(1920, 1080, 2));
}

TEST(WaylandSurfaceLayout, UnknownOrOutlandishSizesGiveNoLayout)
{
    SurfaceLayout layout = Layout(7, 7, 1);
    EXPECT_FALSE(LayOutSurface(Output(0, 0, 1), 0, 0, true, layout));
    EXPECT_FALSE(LayOutSurface(Output(1280, 720, 1), 40000, 720, true, layout));
    EXPECT_FALSE(LayOutSurface(Output(0, 0, 2), 20000, 100, false, layout));
    // A refusal leaves the last layout as it was.
    EXPECT_EQ(layout, Layout(7, 7, 1));
    // A size below 0 counts as none given.
    ASSERT_TRUE(LayOutSurface(Output(1280, 720, 1), -5, 720, false, layout));
    EXPECT_EQ(layout, Layout(1280, 720, 1));
    // A scale out of all reason counts as 1.
    ASSERT_TRUE(LayOutSurface(Output(800, 600, 0), 800, 600, false, layout));
    EXPECT_EQ(layout, Layout(800, 600, 1));
}

TEST(WaylandDesktopCopy, CopiedBytesBecomeTopDownPixelsInEitherByteOrder)
{
    // Two rows of two pixels, four bytes each, rows 12 bytes apart.
    const uint8_t bytes[] = {
        0x10, 0x20, 0x30, 0xff, 0x40, 0x50, 0x60, 0x00, 0xee, 0xee, 0xee, 0xee,
        0x01, 0x02, 0x03, 0x80, 0x04, 0x05, 0x06, 0x7f, 0xee, 0xee, 0xee, 0xee,
    };
    std::vector<uint32_t> pixels;
    constexpr uint32_t kArgb = 0, kXrgb = 1, kXbgr = 0x34324258, kAbgr = 0x34324241;
    for (uint32_t format : {kArgb, kXrgb}) {
        ASSERT_TRUE(CopiedPixels(format, 2, 2, 12, false, bytes, pixels));
        EXPECT_EQ(pixels, (std::vector<uint32_t>{0x302010, 0x605040, 0x030201, 0x060504}));
    }
    for (uint32_t format : {kXbgr, kAbgr}) {
        ASSERT_TRUE(CopiedPixels(format, 2, 2, 12, false, bytes, pixels));
        EXPECT_EQ(pixels, (std::vector<uint32_t>{0x102030, 0x405060, 0x010203, 0x040506}));
    }
    // Rows given bottom-up come out top-down.
    ASSERT_TRUE(CopiedPixels(kXrgb, 2, 2, 12, true, bytes, pixels));
    EXPECT_EQ(pixels, (std::vector<uint32_t>{0x030201, 0x060504, 0x302010, 0x605040}));
    // Formats of another size or order, and strides shorter than a row.
    EXPECT_FALSE(CopiedPixels(0x36314752, 2, 2, 12, false, bytes, pixels)); // RGB565
    EXPECT_FALSE(CopiedPixels(0x30335258, 2, 2, 12, false, bytes, pixels)); // XRGB2101010
    EXPECT_FALSE(CopiedPixels(kXrgb, 3, 2, 8, false, bytes, pixels));
    EXPECT_FALSE(CopiedPixels(kXrgb, 0, 2, 12, false, bytes, pixels));
}
