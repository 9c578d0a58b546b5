// ripple-render: the strict BMP reader against malformed and mutated bytes,
// the renderer driving the show like the window, and the command line's exit
// codes and files.
#include "tools/ripple-render/BmpFile.h"
#include "tools/ripple-render/RenderCommand.h"
#include "tools/ripple-render/RippleRender.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

BmpImage Picture(int w, int h, uint32_t seed)
{
    BmpImage img;
    img.width = w;
    img.height = h;
    std::mt19937 gen(seed);
    img.pixels.resize(static_cast<size_t>(w) * h);
    for (auto& p : img.pixels)
        p = static_cast<uint32_t>(gen());
    return img;
}

bool Parse(const std::vector<uint8_t>& bytes, BmpImage& out, std::string& error)
{
    return ParseBmp32(bytes.data(), bytes.size(), out, error);
}

void Set32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (int k = 0; k < 4; ++k)
        b[at + k] = static_cast<uint8_t>(v >> (8 * k));
}

bool FileExists(const std::string& path)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f)
        std::fclose(f);
    return f != nullptr;
}

} // namespace

TEST(BmpFile, RoundTripKeepsThePixelArrayInFileOrder)
{
    const BmpImage img = Picture(7, 3, 1);
    const std::vector<uint8_t> bytes = EncodeBmp32(img);
    ASSERT_EQ(bytes.size(), 54u + 7 * 3 * 4);
    EXPECT_EQ(bytes[54], static_cast<uint8_t>(img.pixels[0]));
    EXPECT_EQ(bytes[57], static_cast<uint8_t>(img.pixels[0] >> 24));
    BmpImage back;
    std::string error;
    ASSERT_TRUE(Parse(bytes, back, error)) << error;
    EXPECT_EQ(back.width, 7);
    EXPECT_EQ(back.height, 3);
    EXPECT_EQ(back.pixels, img.pixels);
}

TEST(BmpFile, AcceptsLargerHeadersAndStandardBitFields)
{
    const BmpImage img = Picture(4, 2, 2);
    std::vector<uint8_t> v5 = EncodeBmp32(img);
    // A 124-byte header with red, green and blue masks, as image tools write.
    std::vector<uint8_t> header(v5.begin(), v5.begin() + 54);
    header.resize(14 + 124, 0);
    Set32(header, 10, 14 + 124);
    Set32(header, 14, 124);
    Set32(header, 30, 3);
    Set32(header, 54, 0x00FF0000);
    Set32(header, 58, 0x0000FF00);
    Set32(header, 62, 0x000000FF);
    Set32(header, 66, 0xFF000000);
    header.insert(header.end(), v5.begin() + 54, v5.end());
    BmpImage back;
    std::string error;
    ASSERT_TRUE(Parse(header, back, error)) << error;
    EXPECT_EQ(back.pixels, img.pixels);
    Set32(header, 58, 0x0000F800);
    EXPECT_FALSE(Parse(header, back, error));
    EXPECT_NE(error.find("masks"), std::string::npos);
}

TEST(BmpFile, RejectsWhatIsNotAWholeUncompressed32BitBottomUpFile)
{
    const std::vector<uint8_t> good = EncodeBmp32(Picture(5, 4, 3));
    BmpImage out;
    std::string error;
    for (size_t n = 0; n < good.size(); ++n) {
        const std::vector<uint8_t> cut(good.begin(), good.begin() + n);
        EXPECT_FALSE(Parse(cut, out, error)) << n;
    }
    struct Change {
        size_t at;
        uint32_t value;
        bool wide;
        const char* why;
    } changes[] = {
        { 0, 'X', false, "not a BMP" },
        { 28, 24, false, "24 bits" },
        { 26, 2, false, "plane" },
        { 30, 1, true, "compressed" },
        { 22, static_cast<uint32_t>(-4), true, "top-down" },
        { 18, 0, true, "no pixels" },
        { 22, 0, true, "no pixels" },
        { 18, 6, true, "outside the file" },
        { 10, 55, true, "outside the file" },
        { 10, 20, true, "outside the file" },
        { 10, 0xFFFFFFF0u, true, "outside the file" },
        { 14, 12, true, "header size" },
        { 18, 0x7FFFFFFF, true, "too large" },
    };
    for (const Change& c : changes) {
        std::vector<uint8_t> bad = good;
        if (c.wide)
            Set32(bad, c.at, c.value);
        else
            bad[c.at] = static_cast<uint8_t>(c.value);
        error.clear();
        EXPECT_FALSE(Parse(bad, out, error)) << c.why;
        EXPECT_NE(error.find(c.why), std::string::npos) << error;
    }
}

TEST(BmpFile, MutatedBytesAreEitherRejectedOrReadWithinBounds)
{
    const std::vector<uint8_t> good = EncodeBmp32(Picture(6, 5, 4));
    std::mt19937 gen(5);
    int accepted = 0;
    for (int n = 0; n < 20000; ++n) {
        std::vector<uint8_t> bytes = good;
        const int edits = 1 + static_cast<int>(gen() % 4);
        for (int e = 0; e < edits; ++e)
            bytes[gen() % 70] = static_cast<uint8_t>(gen());
        if (gen() % 4 == 0)
            bytes.resize(gen() % bytes.size());
        BmpImage out;
        std::string error;
        if (Parse(bytes, out, error)) {
            ++accepted;
            ASSERT_EQ(out.pixels.size(), static_cast<size_t>(out.width) * out.height);
        } else {
            ASSERT_FALSE(error.empty());
        }
    }
    EXPECT_GT(accepted, 0);
}

TEST(RippleRenderer, FollowsTheShowCycleOnEveryPath)
{
    const int w = 41, h = 29;
    const BmpImage pic = Picture(w, h, 6);
    std::vector<uint32_t> reference, fast;
    std::string error;
    RenderOptions o;
    o.width = w;
    o.height = h;
    o.setting = 0;
    o.ticks = 480; // past the first restart, into mode 2
    o.path = ripple::RipplePath::Reference;
    ASSERT_TRUE(CRippleRenderer().Render(o, pic.pixels, reference, error)) << error;
    o.path = ripple::BestPath();
    ASSERT_TRUE(CRippleRenderer().Render(o, pic.pixels, fast, error)) << error;
    EXPECT_EQ(reference, fast);
    for (auto split : { std::pair<int, int>{ 1, 0 }, { 3, 16 }, { 40, 7 } }) {
        std::vector<uint32_t> banded;
        o.threads = split.first;
        o.strip = split.second;
        ASSERT_TRUE(CRippleRenderer().Render(o, pic.pixels, banded, error)) << error;
        EXPECT_EQ(reference, banded) << split.first << " threads, strip " << split.second;
    }
    o.threads = 0;
    o.strip = 0;

    // The restart tick (471 in mode 1) draws nothing.
    std::vector<uint32_t> at470, at471;
    o.ticks = 470;
    ASSERT_TRUE(CRippleRenderer().Render(o, pic.pixels, at470, error));
    o.ticks = 471;
    ASSERT_TRUE(CRippleRenderer().Render(o, pic.pixels, at471, error));
    EXPECT_EQ(at470, at471);
    EXPECT_NE(at470, fast);

    // No ticks: the display is the picture.
    std::vector<uint32_t> none;
    o.ticks = 0;
    ASSERT_TRUE(CRippleRenderer().Render(o, pic.pixels, none, error));
    EXPECT_EQ(none, pic.pixels);
}

TEST(RippleRenderer, SettingsWithoutDropsGiveFlatWater)
{
    const int w = 20, h = 10;
    const BmpImage pic = Picture(w, h, 7);
    for (int setting : { 3, -1 }) {
        RenderOptions o;
        o.width = w;
        o.height = h;
        o.setting = setting;
        o.ticks = 30;
        std::vector<uint32_t> out;
        std::string error;
        ASSERT_TRUE(CRippleRenderer().Render(o, pic.pixels, out, error));
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c) {
                const size_t i = static_cast<size_t>(r) * w + c;
                const bool border = r == 0 || c == 0 || r == h - 1 || c == w - 1;
                const uint32_t expected = border || (c & 1) ? pic.pixels[i] : pic.pixels[i] & 0x00FFFFFF;
                ASSERT_EQ(out[i], expected) << setting << ": " << r << "," << c;
            }
        }
    }
}

TEST(RippleRenderer, RefusesAbsurdOptionsAndMismatchedPictures)
{
    std::string error;
    for (auto size : { std::pair<int, int>{ 0, 10 }, { 10, -1 }, { 16385, 2 }, { 10000, 10000 } }) {
        RenderOptions o;
        o.width = size.first;
        o.height = size.second;
        EXPECT_FALSE(CRippleRenderer::ValidateOptions(o, error)) << size.first << "x" << size.second;
    }
    RenderOptions o;
    o.width = 4;
    o.height = 4;
    o.ticks = -1;
    EXPECT_FALSE(CRippleRenderer::ValidateOptions(o, error));
    o.ticks = 1;
    std::vector<uint32_t> out;
    EXPECT_FALSE(CRippleRenderer().Render(o, std::vector<uint32_t>(15), out, error));
}

TEST(RenderCommand, WritesTheFrameOrFailsWithCodeTwoAndNoOutput)
{
    const std::string in = "ripple_render_test_in.bmp", out = "ripple_render_test_out.bmp";
    std::remove(out.c_str());
    const BmpImage pic = Picture(16, 12, 8);
    std::string error;
    ASSERT_TRUE(WriteBmp32(in, pic, error)) << error;

    auto run = [&](std::vector<const char*> args) {
        args.insert(args.begin(), "ripple-render");
        return RunRenderCommand(static_cast<int>(args.size()), args.data());
    };
    const std::vector<std::vector<const char*>> bad = {
        { "--width", "16", "--height", "12", "--setting", "1", "--ticks", "5", "--input", "no-such.bmp", "--output",
            out.c_str() },
        { "--width", "17", "--height", "12", "--setting", "1", "--ticks", "5", "--input", in.c_str(), "--output",
            out.c_str() },
        { "--width", "16", "--height", "12", "--setting", "1", "--ticks", "x5", "--input", in.c_str(), "--output",
            out.c_str() },
        { "--width", "99999", "--height", "12", "--setting", "1", "--ticks", "5", "--input", in.c_str(), "--output",
            out.c_str() },
        { "--width", "16", "--height", "12", "--setting", "1", "--ticks", "5", "--input", in.c_str() },
        { "--width", "16", "--height", "12", "--setting", "1", "--ticks", "5", "--input", in.c_str(), "--output",
            out.c_str(), "--colour", "red" },
        { "--width", "16", "--height", "12", "--setting", "1", "--ticks", "5", "--input", in.c_str(), "--output" },
    };
    for (const auto& args : bad) {
        EXPECT_EQ(run(args), 2);
        EXPECT_FALSE(FileExists(out));
    }

    ASSERT_EQ(run({ "--width", "16", "--height", "12", "--setting", "2", "--ticks", "9", "--input", in.c_str(),
                  "--output", out.c_str() }),
        0);
    BmpImage frame;
    ASSERT_TRUE(ReadBmp32(out, frame, error)) << error;
    RenderOptions o;
    o.width = 16;
    o.height = 12;
    o.setting = 2;
    o.ticks = 9;
    std::vector<uint32_t> expected;
    ASSERT_TRUE(CRippleRenderer().Render(o, pic.pixels, expected, error));
    EXPECT_EQ(frame.pixels, expected);
    std::remove(in.c_str());
    std::remove(out.c_str());
}
