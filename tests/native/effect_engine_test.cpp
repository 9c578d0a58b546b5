// The ripple engine: the defined arithmetic of each pass on small hand-made
// surfaces, and the fast paths (SIMD steps, fast drops, quiet water left
// alone, two steps in one pass, targets of other layouts) against the plain
// reference computation, bit for bit, on many sizes and surfaces.
#include "ripple/EffectEngine.h"
#include "ripple/RippleDrops.h"
#include "ripple/RippleMath.h"
#include "ripple/RippleThreads.h"
#include "ripple/RippleWorkers.h"

#include <gtest/gtest.h>

#include <atomic>
#include <climits>
#include <thread>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

using ripple::RipplePath;

namespace {

std::vector<RipplePath> FastPaths()
{
    std::vector<RipplePath> paths;
    for (RipplePath p : { RipplePath::Scalar, RipplePath::Sse2, RipplePath::Avx2 }) {
        if (ripple::IsPathSupported(p))
            paths.push_back(p);
    }
    return paths;
}

std::vector<uint32_t> RandomPixels(size_t n, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::vector<uint32_t> v(n);
    for (auto& p : v)
        p = static_cast<uint32_t>(gen());
    return v;
}

bool SameFields(CEffectEngine& a, CEffectEngine& b)
{
    const size_t n = static_cast<size_t>(a.GetWidth()) * a.GetHeight();
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight() || a.GetPage() != b.GetPage())
        return false;
    for (int field = 1; field <= 2; ++field) {
        for (size_t i = 0; i < n; ++i) {
            if (a.ReadHeights(field)[i] != b.ReadHeights(field)[i])
                return false;
        }
    }
    return true;
}

int32_t& At(CEffectEngine& e, int field, int r, int c)
{
    return e.GetHeights(field)[r * e.GetWidth() + c];
}

// A reference engine on a flat field of the given size.
struct Flat {
    Flat(int w, int h)
    {
        engine.SetPath(RipplePath::Reference);
        EXPECT_TRUE(engine.Create(w, h));
        source = RandomPixels(static_cast<size_t>(w) * h, 7);
        target = RandomPixels(static_cast<size_t>(w) * h, 8);
    }
    CEffectEngine engine;
    std::vector<uint32_t> source;
    std::vector<uint32_t> target;
};

} // namespace

TEST(EffectEngineLifecycle, CreateGivesFlatWaterOnPageZeroAndStepCopiesThePicture)
{
    for (RipplePath path : { RipplePath::Reference, ripple::BestPath() }) {
        const int w = 13, h = 7;
        CEffectEngine e;
        ASSERT_TRUE(e.SetPath(path));
        EXPECT_EQ(e.GetWidth(), 0);
        EXPECT_EQ(e.GetHeights(1), nullptr);
        ASSERT_TRUE(e.Create(w, h));
        const int32_t* fields[] = { e.GetHeights(1), e.GetHeights(2) };
        e.AddConeDrop(6, 3, 3, 640, 0);
        e.Step(nullptr, nullptr);
        // A cosine drop still waiting for the next step goes with the water.
        e.AddCosineDrop(6, 3, 3, 6400, 1);
        ASSERT_TRUE(e.Create(w, h));
        EXPECT_EQ(e.GetPage(), 0);
        EXPECT_EQ(e.GetHeights(1), fields[0]);
        EXPECT_EQ(e.GetHeights(2), fields[1]);
        const std::vector<uint32_t> src = RandomPixels(w * h, 1);
        std::vector<uint32_t> dst = RandomPixels(w * h, 2);
        const std::vector<uint32_t> before = dst;
        e.Step(src.data(), dst.data());
        EXPECT_EQ(e.GetPage(), 1);
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c) {
                const int i = r * w + c;
                if (r == 0 || c == 0 || r == h - 1 || c == w - 1)
                    EXPECT_EQ(dst[i], before[i]) << r << "," << c;
                else if (c & 1)
                    EXPECT_EQ(dst[i], src[i]) << r << "," << c;
                else
                    EXPECT_EQ(dst[i], src[i] & 0x00FFFFFFu) << r << "," << c;
                EXPECT_EQ(e.GetHeights(1)[i], 0);
                EXPECT_EQ(e.GetHeights(2)[i], 0);
            }
        }
    }
}

TEST(EffectEngineLifecycle, RefusedSizesLeaveAnEmptyEngineThatIgnoresEverything)
{
    CEffectEngine e;
    ASSERT_TRUE(e.Create(8, 8));
    for (auto size : { std::pair<int, int>{ -1, 5 }, { 5, -1 }, { 65536, 65536 }, { INT_MAX, 2 },
             { 2, INT_MAX / 4 + 1 }, { 23171, 23171 } }) {
        EXPECT_FALSE(e.Create(size.first, size.second)) << size.first << "x" << size.second;
        EXPECT_EQ(e.GetWidth(), 0);
        EXPECT_EQ(e.GetHeight(), 0);
        EXPECT_EQ(e.GetHeights(1), nullptr);
        EXPECT_EQ(e.GetHeights(2), nullptr);
    }
    uint32_t pixel = 5;
    e.AddCosineDrop(0, 0, 10, 1000, 0);
    e.AddConeDrop(0, 0, 10, 1000, 1);
    e.Propagate(0, 10);
    e.Step(&pixel, &pixel);
    EXPECT_EQ(e.GetPage(), 0);
    EXPECT_EQ(pixel, 5u);
    EXPECT_TRUE(e.Create(0, 0));
    e.Step(&pixel, &pixel);
    EXPECT_EQ(e.GetPage(), 0);
}

TEST(EffectEngineLifecycle, StepWithoutPicturesStillPropagatesAndFlips)
{
    CEffectEngine a, b;
    a.SetPath(RipplePath::Reference);
    ASSERT_TRUE(a.Create(9, 9));
    ASSERT_TRUE(b.Create(9, 9));
    At(a, 2, 4, 4) = 64;
    At(b, 2, 4, 4) = 64;
    std::vector<uint32_t> dst(81, 0xDEADBEEF);
    b.Step(nullptr, dst.data());
    a.Propagate(0, 10);
    EXPECT_EQ(b.GetPage(), 1);
    EXPECT_EQ(At(b, 1, 3, 3), 16);
    EXPECT_EQ(std::vector<uint32_t>(81, 0xDEADBEEF), dst);
    b.SetPath(RipplePath::Reference);
    b.Step(nullptr, nullptr);
    a.Propagate(1, 10);
    EXPECT_EQ(b.GetPage(), 0);
    for (int i = 0; i < 81; ++i)
        EXPECT_EQ(a.GetHeights(2)[i], b.GetHeights(2)[i]);
}

TEST(EffectEngineShade, SubtractsFromEachByteClampedAndClearsTheTopByte)
{
    const uint32_t color = 0xAB102030; // red 16, green 32, blue 48
    EXPECT_EQ(CEffectEngine::ShadeColor(color, 32), 0x00000010u);
    EXPECT_EQ(CEffectEngine::ShadeColor(color, -300), 0x00FFFFFFu);
    EXPECT_EQ(CEffectEngine::ShadeColor(color, 0), 0x00102030u);
    EXPECT_EQ(CEffectEngine::ShadeColor(0x00FF00F0, -20), 0x00FF14FFu);
    EXPECT_EQ(CEffectEngine::ShadeColor(0x00FFFFFF, INT_MAX), 0u);
    EXPECT_EQ(CEffectEngine::ShadeColor(0, INT_MIN), 0x00FFFFFFu);
}

TEST(EffectEngineRefraction, SlopesShiftTheSourceByArithmeticShifts)
{
    const int w = 32, h = 32, r = 10, c = 11; // c odd: unshaded
    const int i = r * w + c;
    for (int dx = -16; dx <= 16; ++dx) {
        Flat f(w, h);
        At(f.engine, 1, r, c + 1) = -dx;
        f.engine.Step(f.source.data(), f.target.data());
        const int shift = dx >= 0 ? dx / 8 : -((-dx + 7) / 8);
        EXPECT_EQ(f.target[i], f.source[i + shift]) << "dx " << dx;
    }
    for (int dy = -9; dy <= 9; dy += 9) {
        Flat f(w, h);
        At(f.engine, 1, r + 1, c) = -dy;
        f.engine.Step(f.source.data(), f.target.data());
        const int shift = dy >= 0 ? dy / 8 : -2;
        EXPECT_EQ(f.target[i], f.source[i + shift * w]) << "dy " << dy;
    }
    Flat f(w, h);
    At(f.engine, 1, r, c) = 80;
    f.engine.Step(f.source.data(), f.target.data());
    EXPECT_EQ(f.target[i], f.source[i + 10 * w + 10]);
}

TEST(EffectEngineRefraction, EvenColumnsAreShadedByTheFullDifference)
{
    Flat f(16, 8);
    const int i = 3 * 16 + 4;
    At(f.engine, 1, 3, 5) = -5; // dx = 5: no shift, darkened by 5
    f.source[i] = 0x7F0A0B0C;
    f.engine.Step(f.source.data(), f.target.data());
    EXPECT_EQ(f.target[i], 0x00050607u);
}

TEST(EffectEngineRefraction, IndexMustLieStrictlyInsideTheImage)
{
    const int w = 12, h = 9, n = w * h;
    // First interior position (odd column) pointed at index 0, then at index 1.
    for (int target : { 0, 1 }) {
        Flat f(w, h);
        At(f.engine, 1, 1, 2) = target == 0 ? 8 : 0; // dx -8: one column left
        At(f.engine, 1, 2, 1) = 8;                   // dy -8: one row down in memory
        const uint32_t before = f.target[w + 1];
        f.engine.Step(f.source.data(), f.target.data());
        EXPECT_EQ(f.target[w + 1], target == 0 ? before : f.source[1]);
    }
    // Last interior position pointed at index N, then at N - 1.
    for (int delta : { 2, 1 }) {
        Flat f(w, h);
        const int i = n - w - 2;
        At(f.engine, 1, h - 2, w - 2) = 8 * delta;
        At(f.engine, 1, h - 1, w - 2) = 8 * delta - 8; // dy 8: one row down
        const uint32_t before = f.target[i];
        f.engine.Step(f.source.data(), f.target.data());
        if (delta == 2)
            EXPECT_EQ(f.target[i], before);
        else
            EXPECT_EQ(f.target[i], CEffectEngine::ShadeColor(f.source[n - 1], 8));
    }
}

TEST(EffectEnginePropagation, HalvesTheNeighbourSumAndDampsTowardZero)
{
    const struct {
        int32_t old, stored;
    } cases[] = { { -1024, 1023 }, { 1024, -1023 }, { 1, 0 }, { -1, 1 }, { -2048, 2046 } };
    for (const auto& k : cases) {
        Flat f(5, 5);
        At(f.engine, 1, 2, 2) = k.old; // v = 0 - old
        f.engine.Propagate(0, 10);
        EXPECT_EQ(At(f.engine, 1, 2, 2), k.stored) << k.old;
    }
    Flat f(7, 7);
    At(f.engine, 2, 3, 3) = 64;
    f.engine.Propagate(0, 10);
    for (int r = 2; r <= 4; ++r) {
        for (int c = 2; c <= 4; ++c)
            EXPECT_EQ(At(f.engine, 1, r, c), (r == 3 && c == 3) ? 0 : 16) << r << "," << c;
    }
    EXPECT_EQ(At(f.engine, 1, 1, 1), 0);
    EXPECT_EQ(At(f.engine, 2, 3, 3), 64);
    // Page 1 writes field 2 from field 1: v = 8 * 16 / 4 - 64 = -32.
    f.engine.Propagate(1, 10);
    EXPECT_EQ(At(f.engine, 2, 3, 3), -32 - (-32 >> 10));
}

TEST(EffectEnginePropagation, DampingShiftCountsWrapLikeTheProcessor)
{
    for (int damping : { 0, 1, 31, 32, 42, -1 }) {
        Flat f(5, 5);
        At(f.engine, 1, 2, 2) = -1000; // v = 1000
        f.engine.Propagate(0, damping);
        EXPECT_EQ(At(f.engine, 1, 2, 2), 1000 - (1000 >> (damping & 31))) << damping;
    }
}

TEST(EffectEngineDrops, ConeRisesByRadiusMinusDistanceTimesHeightOver64)
{
    Flat f(301, 301);
    f.engine.AddConeDrop(150, 150, 100, 250, 0);
    EXPECT_EQ(At(f.engine, 1, 150, 150), 300);
    EXPECT_EQ(At(f.engine, 1, 150, 200), 150);
    EXPECT_EQ(At(f.engine, 1, 190, 180), 150);
    EXPECT_EQ(At(f.engine, 1, 150, 250), 0);
    EXPECT_EQ(At(f.engine, 1, 150, 249), 3);
    f.engine.AddConeDrop(150, 150, 100, 63, 0);
    EXPECT_EQ(At(f.engine, 1, 150, 150), 300);
    f.engine.AddConeDrop(150, 150, 100, -64, 0);
    EXPECT_EQ(At(f.engine, 1, 150, 150), 200);
    EXPECT_EQ(At(f.engine, 1, 150, 200), 100);
    EXPECT_EQ(At(f.engine, 2, 150, 150), 0);
}

TEST(EffectEngineDrops, CosineDiscAtTheShowSizeIsClippedToTheInterior)
{
    for (RipplePath path : { RipplePath::Reference, ripple::BestPath() }) {
        CEffectEngine e;
        e.SetPath(path);
        ASSERT_TRUE(e.Create(1024, 768));
        e.AddCosineDrop(512, 384, 500, 1000, 0);
        int changed = 0;
        for (int r = 0; r < 768; ++r) {
            for (int c = 0; c < 1024; ++c) {
                const int64_t d2 = int64_t(r - 384) * (r - 384) + int64_t(c - 512) * (c - 512);
                const bool inBox = r >= 1 && r <= 766 && c >= 12 && c <= 1011;
                const int expected = (!inBox || d2 >= 500 * 500) ? 0 : (d2 == 0 ? 125 : 124);
                changed += At(e, 1, r, c) != 0;
                ASSERT_EQ(At(e, 1, r, c), expected) << r << "," << c;
            }
        }
        EXPECT_GT(changed, 650000);
    }
}

TEST(EffectEngineDrops, DropsOutsideTheFieldOrOfNoRadiusTouchOnlyTheInterior)
{
    for (RipplePath path : { RipplePath::Reference, ripple::BestPath() }) {
        CEffectEngine e;
        e.SetPath(path);
        ASSERT_TRUE(e.Create(40, 30));
        e.AddConeDrop(-5, 10, 10, 640, 0);
        e.AddCosineDrop(45, 35, 12, 1000, 0);
        e.AddConeDrop(INT_MIN, INT_MAX, INT_MAX, 640, 1);
        e.AddCosineDrop(INT_MAX, INT_MIN, INT_MAX, 1000, 1);
        e.AddConeDrop(20, 15, 0, 6400, 0);
        e.AddCosineDrop(20, 15, 0, 6400, 0);
        e.AddCosineDrop(20, 15, -3, 6400, 0);
        for (int r = 0; r < 30; ++r) {
            for (int c = 0; c < 40; ++c) {
                const bool border = r == 0 || c == 0 || r == 29 || c == 39;
                if (border) {
                    EXPECT_EQ(At(e, 1, r, c), 0);
                    EXPECT_EQ(At(e, 2, r, c), 0);
                }
                const int64_t coneD2 = int64_t(c + 5) * (c + 5) + int64_t(r - 10) * (r - 10);
                const int64_t cosD2 = int64_t(c - 45) * (c - 45) + int64_t(r - 35) * (r - 35);
                if (!border && coneD2 >= 100 && cosD2 >= 144) {
                    EXPECT_EQ(At(e, 1, r, c), 0) << r << "," << c;
                }
            }
        }
        EXPECT_EQ(At(e, 1, 10, 1), 40); // (10 - 6) * 640 / 64
        EXPECT_EQ(At(e, 1, 28, 38), 124);
        EXPECT_EQ(At(e, 2, 15, 20), 0);
    }
}

TEST(EffectEngineDrops, PageSelectsTheFieldAndOnlyFieldOneRefracts)
{
    const int w = 64, h = 48;
    Flat zero(w, h), one(w, h);
    zero.engine.AddConeDrop(32, 24, 10, 640, 0);
    one.engine.AddConeDrop(32, 24, 10, 640, 1);
    EXPECT_EQ(At(zero.engine, 1, 24, 32), 100);
    EXPECT_EQ(At(one.engine, 2, 24, 32), 100);
    const std::vector<uint32_t> before = one.target;
    zero.engine.Step(zero.source.data(), zero.target.data());
    one.engine.Step(one.source.data(), one.target.data());
    EXPECT_NE(zero.target[24 * w + 35], (zero.source[24 * w + 35]));
    // Page 1's drop is invisible to the first step: plain copy.
    for (int i = w; i < w * (h - 1); ++i) {
        if (i % w == 0 || i % w == w - 1)
            continue;
        ASSERT_EQ(one.target[i], (i % w) & 1 ? one.source[i] : one.source[i] & 0x00FFFFFFu) << i;
    }
    // The page-0 propagation of that step carried it into field 1.
    EXPECT_NE(At(one.engine, 1, 24, 33), 0);
}

TEST(EffectEngineArithmetic, OverflowsWrapAndConversionsGiveTheIntegerIndefinite)
{
    EXPECT_EQ(ripple::WrapAdd(INT_MAX, 1), INT_MIN);
    EXPECT_EQ(ripple::WrapSub(INT_MIN, 1), INT_MAX);
    EXPECT_EQ(ripple::RefractIndex(5, 0, INT_MAX, 1 << 20), 5 + int32_t(0xFFF00000u));
    EXPECT_EQ(ripple::TruncToInt32(-2.9), -2);
    EXPECT_EQ(ripple::TruncToInt32(2147483647.9), INT_MAX);
    EXPECT_EQ(ripple::TruncToInt32(2147483648.0), INT_MIN);
    EXPECT_EQ(ripple::TruncToInt32(-2147483649.0), INT_MIN);
    // Height 40000: (cos d + 65535) * 40000 leaves 32 bits, so every point of
    // the disc gets INT_MIN >> 19.
    Flat f(9, 9);
    f.engine.AddCosineDrop(4, 4, 2, 40000, 0);
    EXPECT_EQ(At(f.engine, 1, 4, 4), -4096);
    EXPECT_EQ(At(f.engine, 1, 3, 4), -4096);
    // Two neighbours of INT_MAX sum to -2: v = (-2 >> 2) + 4096 = 4095.
    At(f.engine, 2, 4, 4) = INT_MAX;
    At(f.engine, 2, 4, 5) = INT_MAX;
    f.engine.Propagate(0, 10);
    EXPECT_EQ(At(f.engine, 1, 3, 4), 4095 - 3);
}

TEST(EffectEngineFastDrops, CeilSqrtIsExact)
{
    for (int64_t t = -3; t < 5000; ++t) {
        const int64_t u = ripple::fast::CeilSqrt(t);
        EXPECT_TRUE(u * u >= t && (u == 0 || (u - 1) * (u - 1) < t)) << t;
    }
    for (int64_t u : { int64_t(94906265), int64_t(3037000499), int64_t(1) << 31 }) {
        EXPECT_EQ(ripple::fast::CeilSqrt(u * u), u);
        EXPECT_EQ(ripple::fast::CeilSqrt(u * u + 1), u + 1);
        EXPECT_EQ(ripple::fast::CeilSqrt(u * u - 1), u);
    }
}

namespace {

struct DropCase {
    int w, h, x, y, radius, height;
};

void ExpectSameDrops(const DropCase& k, bool cone)
{
    CEffectEngine ref, fast;
    ref.SetPath(RipplePath::Reference);
    ASSERT_TRUE(ref.Create(k.w, k.h));
    ASSERT_TRUE(fast.Create(k.w, k.h));
    for (int page = 0; page < 2; ++page) {
        for (CEffectEngine* e : { &ref, &fast })
            cone ? e->AddConeDrop(k.x, k.y, k.radius, k.height, page)
                 : e->AddCosineDrop(k.x, k.y, k.radius, k.height, page);
    }
    ASSERT_TRUE(SameFields(ref, fast)) << (cone ? "cone " : "cosine ") << k.w << "x" << k.h << " at "
                                       << k.x << "," << k.y << " radius " << k.radius << " height "
                                       << k.height;
}

} // namespace

TEST(EffectEngineFastDrops, ShowDropsAtCommonScreenSizesMatchThePlainComputation)
{
    const int sizes[][2] = { { 640, 480 }, { 800, 600 }, { 1024, 768 }, { 1280, 1024 }, { 1366, 768 },
        { 1920, 1080 }, { 3840, 2160 } };
    for (const auto& s : sizes) {
        const int w = s[0], h = s[1];
        ExpectSameDrops({ w, h, w / 2, h / 2, w * 500 / 1024, h * 1000 / 768 }, false);
        ExpectSameDrops({ w, h, w / 2, h / 2, w * 100 / 1024, h * 250 / 768 }, true);
    }
}

TEST(EffectEngineFastDrops, WholeDiscsOfManyRadiiHeightsAndCentresMatch)
{
    std::mt19937 gen(42);
    const int heights[] = { 1, 63, 64, 100, 640, 1000, 1333, 4095, 32767, 32768, 40000, 262144, 300000,
        524287, 1 << 20, 99999999, -1, -64, -1000, -300000, INT_MAX, INT_MIN };
    for (int radius = 1; radius <= 48; ++radius) {
        for (int height : heights) {
            ExpectSameDrops({ 61, 53, 30, 26, radius, height }, false);
            ExpectSameDrops({ 61, 53, 30, 26, radius, height }, true);
        }
    }
    // Clipped discs: centres near and beyond every edge, odd sizes.
    for (int n = 0; n < 400; ++n) {
        const int w = 3 + gen() % 90, h = 3 + gen() % 70;
        const int x = int(gen() % (w + 40)) - 20, y = int(gen() % (h + 40)) - 20;
        const int radius = int(gen() % 120);
        const int height = heights[gen() % (sizeof heights / sizeof heights[0])];
        ExpectSameDrops({ w, h, x, y, radius, height }, false);
        ExpectSameDrops({ w, h, x, y, radius, height }, true);
    }
    // Large radii: the cosine distance saturates near 1024.
    for (int radius : { 1023, 1024, 1025, 4097, 100000, INT_MAX }) {
        ExpectSameDrops({ 300, 200, 150, 100, radius, 1000 }, false);
        ExpectSameDrops({ 300, 200, 150, 100, radius, 262145 }, false);
        ExpectSameDrops({ 300, 200, 10, 190, radius, 6400 }, true);
    }
}

namespace {

// 80 steps of an engine on `path` against the reference: cosine drops on the
// next step's page, clipped cone drops on the other page, then steep and
// huge heights.
void ExpectStepsMatchTheReference(RipplePath path, int w, int h, int threads, int strip)
{
    const size_t n = static_cast<size_t>(w) * h;
    const std::string what = std::string(ripple::PathName(path)) + " " + std::to_string(w) + "x"
        + std::to_string(h) + " threads " + std::to_string(threads) + " strip " + std::to_string(strip);
    CEffectEngine ref, fast;
    ref.SetPath(RipplePath::Reference);
    ASSERT_TRUE(fast.SetPath(path));
    fast.SetThreads(threads);
    fast.SetStripWidth(strip);
    ASSERT_TRUE(ref.Create(w, h));
    ASSERT_TRUE(fast.Create(w, h));
    const std::vector<uint32_t> source = RandomPixels(n, 3);
    std::vector<uint32_t> refOut = RandomPixels(n, 4), fastOut = refOut;
    std::mt19937 gen(static_cast<uint32_t>(w * 1000 + h));
    for (int step = 0; step < 80; ++step) {
        const int page = ref.GetPage();
        const bool cone = step % 7 == 3;
        const int x = cone ? int(gen() % (w + 8)) - 4 : 0, y = cone ? int(gen() % (h + 8)) - 4 : 0;
        for (CEffectEngine* e : { &ref, &fast }) {
            if (step < 30)
                e->AddCosineDrop(w / 2, h / 2, w / 2 + 1, 1000, page);
            if (cone)
                e->AddConeDrop(x, y, 6, 4000, 1 - page);
        }
        if (step == 50 || step == 65) {
            // Indices out of range, wrapping sums.
            for (size_t i = 0; i < n; i += 1 + gen() % 3) {
                const int32_t v = step == 50 ? int32_t(gen() % 4001) - 2000 : int32_t(gen());
                ref.GetHeights(1 + int(gen() % 2))[i] = v;
            }
            for (int field = 1; field <= 2; ++field)
                std::copy(ref.GetHeights(field), ref.GetHeights(field) + n, fast.GetHeights(field));
        }
        ref.Step(source.data(), refOut.data());
        fast.Step(source.data(), fastOut.data());
        ASSERT_TRUE(SameFields(ref, fast)) << what << " step " << step;
        ASSERT_EQ(refOut, fastOut) << what << " step " << step;
    }
    for (int damping : { 0, 3, 31, 33 }) {
        ref.Propagate(damping & 1, damping);
        fast.Propagate(damping & 1, damping);
        ASSERT_TRUE(SameFields(ref, fast)) << what << " damping " << damping;
    }
}

std::vector<RipplePath> BandedPaths()
{
    std::vector<RipplePath> paths;
    for (RipplePath p : { RipplePath::Sse2, RipplePath::Avx2 }) {
        if (ripple::IsPathSupported(p))
            paths.push_back(p);
    }
    return paths;
}

} // namespace

TEST(EffectEngineFastSteps, EveryPathMatchesTheReferenceOnManySizes)
{
    const int sizes[][2] = { { 1, 1 }, { 2, 5 }, { 3, 3 }, { 10, 3 }, { 3, 10 }, { 4, 4 }, { 5, 7 },
        { 9, 9 }, { 10, 10 }, { 11, 4 }, { 12, 6 }, { 17, 5 }, { 18, 9 }, { 31, 13 }, { 33, 17 },
        { 64, 48 }, { 67, 41 }, { 100, 37 }, { 129, 65 } };
    for (RipplePath path : FastPaths()) {
        for (const auto& s : sizes)
            ExpectStepsMatchTheReference(path, s[0], s[1], 1, 0);
    }
}

TEST(EffectEngineBands, BandsOfRowsAndColumnStripsMatchTheReference)
{
    // Fewer interior rows than bands, one row per band, odd sizes, fields
    // with no interior column, strips narrower than a vector and wider than
    // the field.
    const int sizes[][2] = { { 1, 1 }, { 1, 9 }, { 2, 12 }, { 3, 3 }, { 5, 4 }, { 9, 5 }, { 4, 12 }, { 17, 9 }, { 33, 17 },
        { 67, 41 }, { 129, 65 } };
    for (RipplePath path : BandedPaths()) {
        for (const auto& s : sizes) {
            for (auto split : { std::pair<int, int>{ 1, 1 }, { 1, 24 }, { 2, 0 }, { 2, 5 }, { 3, 8 }, { 4, 0 },
                     { 7, 24 }, { 16, 1 }, { 16, 200 } })
                ExpectStepsMatchTheReference(path, s[0], s[1], split.first, split.second);
        }
    }
}

TEST(EffectEngineFastSteps, DrawingIntoTheSourceItselfKeepsTheReferenceOrder)
{
    const int w = 37, h = 23;
    CEffectEngine ref, fast;
    ref.SetPath(RipplePath::Reference);
    ASSERT_TRUE(ref.Create(w, h));
    ASSERT_TRUE(fast.Create(w, h));
    std::vector<uint32_t> a = RandomPixels(w * h, 9), b = a;
    for (int step = 0; step < 20; ++step) {
        ref.AddCosineDrop(18, 11, 9, 3000, ref.GetPage());
        fast.AddCosineDrop(18, 11, 9, 3000, fast.GetPage());
        ref.Step(a.data(), a.data());
        fast.Step(b.data(), b.data());
    }
    EXPECT_TRUE(SameFields(ref, fast));
    EXPECT_EQ(a, b);
}

TEST(EffectEngineFastSteps, CosineDropsWaitingForTheNextStepGiveTheReferenceWhateverComesFirst)
{
    // The fast engine leaves a cosine drop on the next step's page to that
    // step, which adds it row by row while refracting and propagating. Every
    // other call must see the drop already added.
    enum Then { StepNext, ReadFirst, PropagateFirst, ConeFirst, CosineFirst, StepWithoutPictures,
        DrawIntoSource, SwitchPath, OddPageNumber, Recreate, kThens };
    const int sizes[][2] = { { 3, 3 }, { 10, 3 }, { 4, 12 }, { 37, 23 }, { 67, 41 } };
    for (RipplePath path : FastPaths()) {
        for (const auto& s : sizes) {
            const int w = s[0], h = s[1];
            const size_t n = static_cast<size_t>(w) * h;
            std::mt19937 gen(static_cast<uint32_t>(w * 100 + h));
            CEffectEngine ref, fast;
            ref.SetPath(RipplePath::Reference);
            ASSERT_TRUE(fast.SetPath(path));
            ASSERT_TRUE(ref.Create(w, h));
            ASSERT_TRUE(fast.Create(w, h));
            const std::vector<uint32_t> source = RandomPixels(n, 11);
            std::vector<uint32_t> refOut = RandomPixels(n, 12), fastOut = refOut;
            for (int round = 0; round < 4 * kThens; ++round) {
                const Then then = static_cast<Then>(round % kThens);
                if (round % kThens == 0) {
                    // A rough surface, so that the refraction reads the rows
                    // next to the ones the drop changes.
                    for (int field = 1; field <= 2; ++field) {
                        for (size_t i = 0; i < n; ++i)
                            ref.GetHeights(field)[i] = int32_t(gen() % 801) - 400;
                        std::copy(ref.GetHeights(field), ref.GetHeights(field) + n, fast.GetHeights(field));
                    }
                }
                // Centres inside, near and beyond the edges; radii from a few
                // rows to more than the field.
                const int x = int(gen() % (w + 6)) - 3, y = int(gen() % (h + 6)) - 3;
                const int radius = 1 + int(gen() % (h + 4));
                const int height = int(gen() % 20000) - 5000;
                int page = ref.GetPage();
                if (then == OddPageNumber)
                    page = page == 0 ? -1 : 7;
                for (CEffectEngine* e : { &ref, &fast })
                    e->AddCosineDrop(x, y, radius, height, page);
                switch (then) {
                case ReadFirst:
                    ASSERT_TRUE(SameFields(ref, fast)) << "read before the step";
                    break;
                case PropagateFirst:
                    for (CEffectEngine* e : { &ref, &fast })
                        e->Propagate(1 - e->GetPage(), 10);
                    break;
                case ConeFirst:
                    for (CEffectEngine* e : { &ref, &fast })
                        e->AddConeDrop(w - x, h - y, radius, 6400, e->GetPage());
                    break;
                case CosineFirst:
                    for (CEffectEngine* e : { &ref, &fast })
                        e->AddCosineDrop(w - x, y, radius + 2, 3000, e->GetPage());
                    break;
                case SwitchPath:
                    ASSERT_TRUE(fast.SetPath(RipplePath::Scalar));
                    ASSERT_TRUE(fast.SetPath(path));
                    break;
                case Recreate:
                    ASSERT_TRUE(ref.Create(w, h));
                    ASSERT_TRUE(fast.Create(w, h));
                    break;
                default:
                    break;
                }
                if (then == StepWithoutPictures) {
                    ref.Step(nullptr, nullptr);
                    fast.Step(nullptr, nullptr);
                } else if (then == DrawIntoSource) {
                    ref.Step(refOut.data(), refOut.data());
                    fast.Step(fastOut.data(), fastOut.data());
                } else {
                    ref.Step(source.data(), refOut.data());
                    fast.Step(source.data(), fastOut.data());
                }
                ASSERT_TRUE(SameFields(ref, fast)) << ripple::PathName(path) << " " << w << "x" << h << " round "
                                                   << round;
                ASSERT_EQ(refOut, fastOut) << ripple::PathName(path) << " " << w << "x" << h << " round " << round;
            }
        }
    }
}

namespace {

struct PartLog {
    std::atomic<int> runs[8];
    std::thread::id caller;
    std::atomic<int> onCaller{ 0 };
};

void LogPart(void* context, int part)
{
    PartLog& log = *static_cast<PartLog*>(context);
    ++log.runs[part];
    if (std::this_thread::get_id() == log.caller)
        log.onCaller += 1 + part * 100;
}

} // namespace

TEST(RippleWorkers, RunEachPartOnceWithPartZeroOnTheCallerAndKeepTheirThreads)
{
    ripple::Workers workers;
    // Growing, shrinking and growing again: threads started for a later job
    // must serve it, idle ones must not run parts twice.
    for (int parts : { 1, 0, 3, 2, 5, 1, 4, 8 }) {
        PartLog log;
        for (auto& r : log.runs)
            r = 0;
        log.caller = std::this_thread::get_id();
        ASSERT_TRUE(workers.Run(parts, &LogPart, &log));
        for (int k = 0; k < 8; ++k)
            EXPECT_EQ(log.runs[k], k < parts ? 1 : 0) << parts << " parts, part " << k;
        EXPECT_EQ(log.onCaller, parts > 0 ? 1 : 0) << parts << " parts";
    }
    EXPECT_EQ(workers.Threads(), 7);
}

TEST(EffectEngineBands, OneThreadStartsNoWorkersAndThreadsSurviveCreate)
{
    for (RipplePath path : BandedPaths()) {
        const int w = 40, h = 30;
        const std::vector<uint32_t> source = RandomPixels(w * h, 5);
        std::vector<uint32_t> a = source, b = source;
        CEffectEngine one, three, ref;
        one.SetPath(path);
        three.SetPath(path);
        ref.SetPath(RipplePath::Reference);
        one.SetThreads(1);
        three.SetThreads(3);
        EXPECT_EQ(three.GetThreads(), 3);
        for (int cycle = 0; cycle < 3; ++cycle) {
            ASSERT_TRUE(one.Create(w, h));
            ASSERT_TRUE(three.Create(w, h));
            ASSERT_TRUE(ref.Create(w, h));
            std::vector<uint32_t> r = source;
            for (int step = 0; step < 12; ++step) {
                for (CEffectEngine* e : { &one, &three, &ref })
                    e->AddCosineDrop(20, 15 + cycle, 9, 3000, e->GetPage());
                one.Step(source.data(), a.data());
                three.Step(source.data(), b.data());
                ref.Step(source.data(), r.data());
            }
            ASSERT_EQ(a, r) << cycle;
            ASSERT_EQ(b, r) << cycle;
            ASSERT_TRUE(SameFields(three, ref));
        }
    }
}

namespace {

// A fast engine drawing into a target of its own layout beside a reference
// engine drawing bottom-up, given the same calls. A step the fast engine
// takes unseen is an ordinary step for the reference; the two are compared
// whenever the fast engine has no step waiting.
class Mirror {
public:
    Mirror(RipplePath path, int w, int h, int threads, int strip, bool topDown, uint32_t seed)
        : m_w(w), m_h(h), m_gen(seed), m_topDown(topDown)
    {
        m_fill = topDown ? 0xFF000000u : 0;
        m_ref.SetPath(RipplePath::Reference);
        EXPECT_TRUE(m_fast.SetPath(path));
        m_fast.SetThreads(threads);
        m_fast.SetStripWidth(strip);
        EXPECT_TRUE(m_ref.Create(w, h));
        EXPECT_TRUE(m_fast.Create(w, h));
        const size_t n = static_cast<size_t>(w) * h;
        m_source = RandomPixels(n, seed + 1);
        m_refOut = RandomPixels(n, seed + 2);
        m_other = RandomPixels(n, seed + 3);
        m_refOther = m_other;
        // Rows three pixels apart, the gaps holding a mark no step may touch.
        m_pitch = w + 3;
        m_fastOut.assign(static_cast<size_t>(m_pitch) * h, kMark);
        m_spare = m_fastOut;
        for (int r = 0; r < h; ++r) {
            for (int c = 0; c < w; ++c)
                FastPixel(r, c) = m_refOut[static_cast<size_t>(r) * w + c] | m_fill;
        }
    }

    ripple::Target FastTarget()
    {
        if (m_topDown)
            return ripple::Target::TopDown(m_fastOut.data(), m_h, static_cast<ptrdiff_t>(m_pitch) * 4, m_fill);
        ripple::Target t = ripple::Target::BottomUp(m_fastOut.data(), m_w, m_h);
        t.stride = static_cast<ptrdiff_t>(m_pitch) * 4;
        return t;
    }

    uint32_t& FastPixel(int r, int c)
    {
        const int memoryRow = m_topDown ? m_h - 1 - r : r;
        return m_fastOut[static_cast<size_t>(memoryRow) * m_pitch + c];
    }

    // One random call to both; false when the fast engine may now have a
    // step waiting (nothing to compare).
    bool RandomCall()
    {
        const int w = m_w, h = m_h;
        const int call = int(m_gen() % 14);
        const int x = int(m_gen() % (w + 6)) - 3, y = int(m_gen() % (h + 6)) - 3;
        const int radius = 1 + int(m_gen() % (w + 4));
        // Steep drops now and then: source indices far outside the picture.
        const int height = m_gen() % 4 == 0 ? 60000 + int(m_gen() % 9000) : int(m_gen() % 6000) - 1500;
        switch (call) {
        case 0:
        case 1:
        case 2: {
            const bool cone = call == 1;
            // Mostly on the page the next step writes; now and then the other.
            const int page = call == 2 ? 1 - m_ref.GetPage() : m_ref.GetPage();
            for (CEffectEngine* e : { &m_ref, &m_fast }) {
                if (cone)
                    e->AddConeDrop(x, y, radius, height, page);
                else
                    e->AddCosineDrop(x, y, radius, height, page);
            }
            return call == 2 || !m_waiting;
        }
        case 3:
        case 4:
        case 5:
            m_ref.Step(m_source.data(), m_refOut.data());
            if (call == 5) {
                m_fast.Step(m_source.data(), FastTarget());
                m_waiting = false;
            } else {
                m_waiting = m_fast.GetPage() == 0;
                m_fast.StepUnseen(m_source.data(), FastTarget());
            }
            return !m_waiting;
        case 6:
            m_ref.Step(nullptr, m_refOut.data());
            m_fast.Step(nullptr, FastTarget());
            break;
        case 7: {
            const int page = int(m_gen() % 3) - 1, damping = m_gen() % 2 ? 10 : int(m_gen() % 40);
            m_ref.Propagate(page, damping);
            m_fast.Propagate(page, damping);
            break;
        }
        case 8: {
            // A patch of heights written from outside, in the middle of
            // whatever was quiet.
            const int field = 1 + int(m_gen() % 2);
            const int r0 = int(m_gen() % h), c0 = int(m_gen() % w);
            const int32_t v = m_gen() % 2 ? int32_t(m_gen()) : int32_t(m_gen() % 2001) - 1000;
            for (int r = r0; r < std::min(h, r0 + 3); ++r) {
                for (int c = c0; c < std::min(w, c0 + 5); ++c) {
                    m_ref.GetHeights(field)[r * w + c] = v;
                    m_fast.GetHeights(field)[r * w + c] = v;
                }
            }
            break;
        }
        case 9: {
            // Somebody else drawing into the target, and saying so.
            const int r = int(m_gen() % h), c = int(m_gen() % w);
            const uint32_t v = static_cast<uint32_t>(m_gen());
            m_fast.CatchUp();
            m_refOut[static_cast<size_t>(r) * w + c] = v;
            FastPixel(r, c) = v | m_fill;
            m_fast.ForgetTarget();
            break;
        }
        case 10:
            EXPECT_TRUE(m_ref.Create(w, h));
            EXPECT_TRUE(m_fast.Create(w, h));
            break;
        case 11: {
            // A step into another picture, which the engine knows nothing of.
            m_ref.Step(m_source.data(), m_refOther.data());
            m_fast.Step(m_source.data(), m_other.data());
            EXPECT_EQ(m_refOther, m_other);
            break;
        }
        case 12: {
            // Moved, then a tick: the show's way.
            MoveToSpare();
            const bool pair = m_gen() % 2 == 0;
            for (int step = 0; step < 2; ++step) {
                m_ref.Step(m_source.data(), m_refOut.data());
                if (pair && step == 0)
                    m_fast.StepUnseen(m_source.data(), FastTarget());
                else
                    m_fast.Step(m_source.data(), FastTarget());
            }
            break;
        }
        case 13:
            // Moved, and shown without a tick.
            MoveToSpare();
            m_fast.BringOver();
            break;
        }
        m_waiting = false;
        return true;
    }

    // The target moves to the other buffer, a compositor's way: what it
    // lacks of this one (the columns that differ, and at random more) is
    // left to the engine to bring over.
    void MoveToSpare()
    {
        m_fast.CatchUp();
        const ripple::Target last = FastTarget();
        std::vector<ripple::Span> stale(static_cast<size_t>(m_h));
        for (int r = 0; r < m_h; ++r) {
            const int memoryRow = m_topDown ? m_h - 1 - r : r;
            uint32_t* spare = &m_spare[static_cast<size_t>(memoryRow) * m_pitch];
            const uint32_t* now = &m_fastOut[static_cast<size_t>(memoryRow) * m_pitch];
            ripple::Span& s = stale[static_cast<size_t>(r)];
            for (int c = 0; c < m_w; ++c) {
                if (spare[c] != now[c])
                    s.Add(c, c + 1);
            }
            if (m_gen() % 3 == 0) {
                const int a = int(m_gen() % (m_w + 1)), b = int(m_gen() % (m_w + 1));
                s.Add(std::min(a, b), std::max(a, b));
            }
        }
        m_fastOut.swap(m_spare);
        m_fast.MoveTarget(FastTarget(), last, stale.data());
    }

    void ExpectSame(const std::string& what)
    {
        ASSERT_TRUE(SameFields(m_ref, m_fast)) << what;
        for (int r = 0; r < m_h; ++r) {
            for (int c = 0; c < m_w; ++c)
                ASSERT_EQ(FastPixel(r, c), m_refOut[static_cast<size_t>(r) * m_w + c] | m_fill)
                    << what << " pixel " << r << "," << c;
            for (int c = m_w; c < m_pitch; ++c)
                ASSERT_EQ(m_fastOut[static_cast<size_t>(r) * m_pitch + c], kMark) << what << " gap of row " << r;
        }
    }

private:
    static constexpr uint32_t kMark = 0x5A5A5A5Au;
    int m_w, m_h;
    std::mt19937 m_gen;
    bool m_topDown;
    uint32_t m_fill;
    int m_pitch = 0;
    bool m_waiting = false;
    CEffectEngine m_ref, m_fast;
    std::vector<uint32_t> m_source, m_refOut, m_fastOut, m_other, m_refOther;
    // The buffer the target is not in (MoveToSpare).
    std::vector<uint32_t> m_spare;
};

} // namespace

TEST(EffectEngineUnseenSteps, AnyCallsGiveTheReferenceFramesOnEveryPathSizeSplitAndLayout)
{
    // One row or column (no interior), tiny, odd and chunk-edge sizes; one
    // to three bands; chunks of two columns up to one per row; bottom-up and
    // top-down targets with gaps between rows and an alpha byte, moved now
    // and then to memory that lacks some of the last frame.
    const int sizes[][2] = { { 1, 1 }, { 1, 7 }, { 7, 1 }, { 2, 2 }, { 3, 3 }, { 5, 4 }, { 9, 5 }, { 17, 9 },
        { 33, 17 }, { 40, 30 }, { 67, 41 } };
    const int splits[][2] = { { 1, 0 }, { 1, 2 }, { 2, 5 }, { 3, 8 }, { 2, 16 } };
    uint32_t seed = 1;
    for (RipplePath path : FastPaths()) {
        for (const auto& s : sizes) {
            for (const auto& split : splits) {
                for (bool topDown : { false, true }) {
                    Mirror m(path, s[0], s[1], split[0], split[1], topDown, ++seed);
                    for (int call = 0; call < 90; ++call) {
                        const bool compare = m.RandomCall();
                        if (compare) {
                            m.ExpectSame(std::string(ripple::PathName(path)) + " " + std::to_string(s[0]) + "x"
                                + std::to_string(s[1]) + " threads " + std::to_string(split[0]) + " strip "
                                + std::to_string(split[1]) + (topDown ? " top-down" : "") + " call "
                                + std::to_string(call));
                            if (HasFatalFailure())
                                return;
                        }
                    }
                }
            }
        }
    }
}

namespace {

// The show's ticks on an engine taking each tick's first step unseen, and
// on a reference engine; frames and fields compared after every tick.
struct ShowPair {
    ShowPair(int w, int h, int strip, int threads) : w(w), h(h)
    {
        ref.SetPath(RipplePath::Reference);
        fast.SetStripWidth(strip);
        fast.SetThreads(threads);
        EXPECT_TRUE(ref.Create(w, h));
        EXPECT_TRUE(fast.Create(w, h));
        source = RandomPixels(static_cast<size_t>(w) * h, 21);
        refOut = source;
        fastOut = source;
    }

    template <class Drops>
    int64_t Tick(Drops drops)
    {
        int64_t computed = 0;
        for (int step = 0; step < 2; ++step) {
            drops(ref);
            drops(fast);
            ref.Step(source.data(), refOut.data());
            if (step == 0)
                fast.StepUnseen(source.data(), ripple::Target::BottomUp(fastOut.data(), w, h));
            else
                fast.Step(source.data(), fastOut.data());
        }
        computed += fast.ComputedStrips();
        return computed;
    }

    bool Same() { return refOut == fastOut && SameFields(ref, fast); }
    // Strips of one pass of the sweep over the whole field.
    int64_t All() const { return int64_t(h - 2) * fast.Strips(); }

    int w, h;
    CEffectEngine ref, fast;
    std::vector<uint32_t> source, refOut, fastOut;
};

} // namespace

TEST(EffectEngineQuietWater, FlatWaterCostsNothingAndTheTargetIsNotDrawnAgain)
{
    ShowPair s(200, 60, 16, 2);
    auto none = [](CEffectEngine&) {};
    // The first frame copies the picture; nothing is computed, then or later.
    EXPECT_EQ(s.Tick(none), 0);
    ASSERT_TRUE(s.Same());
    EXPECT_EQ(s.Tick(none), 0);
    // The engine trusts the target to show what it drew: a pixel changed
    // behind its back stays until it is told.
    const size_t i = 30 * 200 + 77;
    s.fastOut[i] ^= 0x00FFFFFFu;
    s.Tick(none);
    EXPECT_NE(s.fastOut[i], s.refOut[i]);
    s.fast.ForgetTarget();
    s.Tick(none);
    EXPECT_TRUE(s.Same());

    // The still picture drawn beforehand (edges and all, into top-down
    // rows) is that first frame, top bytes too, and then nothing is drawn.
    for (const RipplePath path : FastPaths()) {
        CEffectEngine still;
        still.SetPath(path);
        still.SetStripWidth(16);
        ASSERT_TRUE(still.Create(200, 60));
        std::vector<uint32_t> shown(s.source.size());
        const ripple::Target target = ripple::Target::TopDown(shown.data(), 60, 200 * 4);
        ASSERT_TRUE(still.DrawStill(s.source.data(), target));
        for (int r = 0; r < 60; ++r)
            for (int c = 0; c < 200; ++c)
                ASSERT_EQ(target.Row(r)[c], s.refOut[r * 200 + c]) << PathName(path) << " " << r << "," << c;
        const std::vector<uint32_t> drawn = shown;
        still.ClearDrawn();
        still.StepUnseen(s.source.data(), target);
        still.Step(s.source.data(), target);
        EXPECT_EQ(shown, drawn);
        for (int r = 0; r < 60; ++r)
            EXPECT_TRUE(still.Drawn()[r].Empty()) << PathName(path) << " row " << r;
        // Asked while a step waits: that step is run and counted.
        still.AddCosineDrop(100, 30, 10, 3000, still.GetPage());
        still.StepUnseen(s.source.data(), target);
        EXPECT_FALSE(still.Drawn()[30].Empty()) << PathName(path);
    }
}

TEST(EffectEngineQuietWater, BuffersTakenInTurnAreBroughtOverWhereTheyMayLackAndNowhereElse)
{
    // Two buffers of still water taken in turn draw nothing and bring over
    // nothing (each shows the picture already); after the engine forgot what
    // the targets show, a buffer holding anything is brought over whole.
    const int w = 200, h = 60;
    const std::vector<uint32_t> source = RandomPixels(static_cast<size_t>(w) * h, 5);
    for (const RipplePath path : FastPaths()) {
        CEffectEngine e;
        e.SetPath(path);
        e.SetStripWidth(16);
        ASSERT_TRUE(e.Create(w, h));
        std::vector<uint32_t> buffers[2] = { std::vector<uint32_t>(source.size()), RandomPixels(source.size(), 6) };
        const auto into = [&](int b) { return ripple::Target::BottomUp(buffers[b].data(), w, h); };
        const std::vector<ripple::Span> all(static_cast<size_t>(h), ripple::Span{ 0, w });
        const std::vector<ripple::Span> none(static_cast<size_t>(h));
        ASSERT_TRUE(e.DrawStill(source.data(), into(0)));
        const auto tick = [&](int b, const std::vector<ripple::Span>& stale) {
            e.MoveTarget(into(b), into(1 - b), stale.data());
            e.ClearDrawn();
            e.StepUnseen(source.data(), into(b));
            e.Step(source.data(), into(b));
        };
        tick(1, all);
        EXPECT_EQ(buffers[1], buffers[0]) << PathName(path);
        tick(0, none);
        tick(1, none);
        for (int r = 0; r < h; ++r)
            EXPECT_TRUE(e.Drawn()[r].Empty()) << PathName(path) << " row " << r;
        EXPECT_EQ(buffers[1], buffers[0]) << PathName(path);
        e.ForgetTarget();
        tick(1, none);
        buffers[0] = RandomPixels(source.size(), 7);
        tick(0, all);
        EXPECT_EQ(buffers[0], buffers[1]) << PathName(path);
    }
}

TEST(EffectEngineQuietWater, DropsAtChunkEdgesWakeTheWaterWhichGoesQuietAgainAtEveryFlattening)
{
    // Chunks of 16 columns; drops centred on a chunk edge, just inside and
    // outside the field's edges, and a plateau rising under the show's
    // cosine drop. Exact at every tick, and the quiet parts are skipped.
    for (int threads : { 1, 2 }) {
        ShowPair s(320, 90, 16, threads);
        const struct {
            int x, y, radius, height;
            bool cone;
        } drops[] = { { 48, 45, 6, 2000, true }, { 1, 1, 9, 6400, true }, { 319, 60, 12, 4000, false },
            { 160, 45, 150, 1200, false } };
        for (const auto& d : drops) {
            ASSERT_TRUE(s.ref.Create(s.w, s.h));
            ASSERT_TRUE(s.fast.Create(s.w, s.h));
            int64_t first = 0, busiest = 0;
            for (int tick = 1; tick <= 40; ++tick) {
                const int64_t computed = s.Tick([&](CEffectEngine& e) {
                    if (tick < 12) {
                        if (d.cone)
                            e.AddConeDrop(d.x, d.y, d.radius, d.height, e.GetPage());
                        else
                            e.AddCosineDrop(d.x, d.y, d.radius, d.height, e.GetPage());
                    }
                });
                if (tick == 1)
                    first = computed;
                busiest = std::max(busiest, computed);
                ASSERT_TRUE(s.Same()) << "drop at " << d.x << "," << d.y << " threads " << threads << " tick " << tick;
            }
            // The first tick computes the drop's rim and little else (a
            // third of the most a tick can: three passes over every strip);
            // the waves then wake ever more of the water.
            EXPECT_GT(first, 0) << d.x << "," << d.y;
            EXPECT_LT(first, s.All()) << d.x << "," << d.y;
            EXPECT_GT(busiest, 2 * first) << d.x << "," << d.y;
        }
    }
}

TEST(RippleThreadPolicy, AddsAThreadOnlyAfterARunOfSlowTicksAndDropsItAfterALongerRunOfFastOnes)
{
    ripple::ThreadPolicy policy(2, 40);
    EXPECT_EQ(policy.Threads(), 1);
    // Slow ticks broken by a fast one, and single spikes, change nothing.
    for (int round = 0; round < 5; ++round) {
        for (int k = 0; k < ripple::ThreadPolicy::kUpAfter - 1; ++k)
            EXPECT_EQ(policy.Report(55), 1);
        EXPECT_EQ(policy.Report(20), 1);
    }
    for (int k = 1; k < ripple::ThreadPolicy::kUpAfter; ++k)
        EXPECT_EQ(policy.Report(41), 1);
    EXPECT_EQ(policy.Report(41), 2);
    // Never more than the processors.
    for (int k = 0; k < 100; ++k)
        EXPECT_EQ(policy.Report(90), 2);
    // Two threads at 12 ms would be one at 24 or more: still over half the
    // budget, so both stay.
    for (int k = 0; k < 200; ++k)
        EXPECT_EQ(policy.Report(12), 2);
    // At 9 ms one thread would do (18 < 20).
    for (int k = 1; k < ripple::ThreadPolicy::kDownAfter; ++k)
        EXPECT_EQ(policy.Report(9), 2);
    EXPECT_EQ(policy.Report(9), 1);
    for (int k = 0; k < 200; ++k)
        EXPECT_EQ(policy.Report(1), 1);
}
