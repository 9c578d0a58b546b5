// The show over twenty cycles of each setting, rendered without a window in
// the sanitizer build: AddressSanitizer and LeakSanitizer report any stray
// access or any memory a restart fails to give back (a report fails the
// test). Every restart flattens the water, so a frame some ticks into the
// twenty-first cycle equals the frame as many ticks into the first.
#include "tools/ripple-render/BmpFile.h"
#include "tools/ripple-render/RenderCommand.h"
#include "tools/ripple-render/RippleRender.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

// Mode 2's drops get a height of height * 250 / 768 / 64 per point: at least
// 200 rows are needed for any drop at all.
const int kWidth = 48;
const int kHeight = 200;
const int kIntoCycle = 150; // drops still falling

std::vector<uint32_t> Picture()
{
    std::mt19937 gen(12);
    std::vector<uint32_t> pixels(static_cast<size_t>(kWidth) * kHeight);
    for (auto& p : pixels)
        p = static_cast<uint32_t>(gen()) & 0x00FFFFFFu;
    return pixels;
}

std::vector<uint32_t> Render(int setting, int ticks, const std::vector<uint32_t>& picture)
{
    RenderOptions o;
    o.width = kWidth;
    o.height = kHeight;
    o.setting = setting;
    o.ticks = ticks;
    std::vector<uint32_t> frame;
    std::string error;
    EXPECT_TRUE(CRippleRenderer().Render(o, picture, frame, error)) << error;
    return frame;
}

} // namespace

TEST(RenderCycles, TwentyCyclesOfModeOneAndOfModeTwoEndAsTheFirstBegan)
{
    const std::vector<uint32_t> picture = Picture();
    // A mode-1 cycle is 471 ticks, a mode-2 cycle 701, each with its restart.
    for (const auto& [setting, cycle] : { std::pair{ 1, 471 }, std::pair{ 2, 701 } }) {
        const std::vector<uint32_t> first = Render(setting, kIntoCycle, picture);
        EXPECT_NE(first, picture) << "mode " << setting << " dropped nothing";
        EXPECT_EQ(Render(setting, 20 * cycle + kIntoCycle, picture), first) << "mode " << setting;
    }
}

TEST(RenderCycles, TwentyAlternatingCyclesThroughTheCommandLine)
{
    const std::string in = "render_cycles_in.bmp", out = "render_cycles_out.bmp";
    BmpImage image;
    image.width = kWidth;
    image.height = kHeight;
    image.pixels = Picture();
    std::string error;
    ASSERT_TRUE(WriteBmp32(in, image, error)) << error;

    // Setting 0 alternates mode 1 and mode 2: ten pairs are twenty cycles.
    const std::string ticks = std::to_string(10 * (471 + 701) + kIntoCycle);
    const std::string w = std::to_string(kWidth), h = std::to_string(kHeight);
    const char* args[] = { "ripple-render", "--width", w.c_str(), "--height", h.c_str(), "--setting", "0",
        "--ticks", ticks.c_str(), "--input", in.c_str(), "--output", out.c_str() };
    ASSERT_EQ(RunRenderCommand(static_cast<int>(sizeof args / sizeof *args), args), 0);

    BmpImage frame;
    ASSERT_TRUE(ReadBmp32(out, frame, error)) << error;
    EXPECT_EQ(frame.pixels, Render(0, kIntoCycle, image.pixels));
    std::remove(in.c_str());
    std::remove(out.c_str());
}
