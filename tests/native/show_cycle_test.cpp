#include "show/ShowCycle.h"
#include "show/WaterShow.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// Records what each tick asks of the scene, one letter per call.
struct RecordingStage final : ShowStage {
    std::string log;
    std::vector<std::vector<int>> drops;
    void CloseMusic() override { log += 'c'; }
    void FlattenWater() override { log += 'f'; }
    void StartMusic() override { log += 'm'; }
    void AddCosineDrop(int x, int y, int r, int h) override { log += '1'; drops.push_back({1, x, y, r, h}); }
    void AddConeDrop(int x, int y, int r, int h) override { log += '2'; drops.push_back({2, x, y, r, h}); }
    void StepAndPaint(bool lastOfTick) override { log += lastOfTick ? 'S' : 's'; }
};

// Ticks until the next restart; returns the number of ticks of the cycle,
// restart tick included.
int RunCycle(CShowCycle& cycle, RecordingStage& stage, int limit = 2000)
{
    for (int n = 1; n <= limit; ++n)
        if (!cycle.Tick(1024, 768, stage))
            return n;
    return -1;
}

} // namespace

TEST(ShowCycle, SettingZeroAlternatesStartingWithModeOne)
{
    CShowCycle cycle;
    RecordingStage stage;
    cycle.Start(0);
    EXPECT_EQ(cycle.Mode(), 1);
    EXPECT_EQ(RunCycle(cycle, stage), 471);
    EXPECT_EQ(cycle.Mode(), 2);
    EXPECT_EQ(RunCycle(cycle, stage), 701);
    EXPECT_EQ(cycle.Mode(), 1);
    EXPECT_EQ(RunCycle(cycle, stage), 471);
}

TEST(ShowCycle, FixedModesNeverChange)
{
    for (int setting : {1, 2}) {
        CShowCycle cycle;
        RecordingStage stage;
        cycle.Start(setting);
        for (int n = 0; n < 3; ++n) {
            EXPECT_EQ(RunCycle(cycle, stage), setting == 1 ? 471 : 701);
            EXPECT_EQ(cycle.Mode(), setting);
        }
    }
}

TEST(ShowCycle, OtherSettingsShowAStillPictureRestartingEvery701Ticks)
{
    for (int setting : {3, -1}) {
        CShowCycle cycle;
        RecordingStage stage;
        cycle.Start(setting);
        EXPECT_EQ(RunCycle(cycle, stage), 701);
        EXPECT_EQ(RunCycle(cycle, stage), 701);
        EXPECT_EQ(cycle.Mode(), setting);
        EXPECT_TRUE(stage.drops.empty());
    }
}

TEST(ShowCycle, DropsOnlyOnTicksOneTo199TwoPerTick)
{
    CShowCycle cycle;
    RecordingStage stage;
    cycle.Start(1);
    for (int tick = 1; tick <= 470; ++tick) {
        stage.log.clear();
        ASSERT_TRUE(cycle.Tick(1024, 768, stage));
        EXPECT_EQ(stage.log, tick < 200 ? "1s1S" : "sS") << "tick " << tick;
    }
    EXPECT_EQ(stage.drops.size(), 398u);
}

TEST(ShowCycle, RestartTickClosesFlattensAndReopensWithoutDrawing)
{
    CShowCycle cycle;
    RecordingStage stage;
    cycle.Start(1);
    for (int tick = 1; tick <= 470; ++tick)
        cycle.Tick(1024, 768, stage);
    stage.log.clear();
    EXPECT_FALSE(cycle.Tick(1024, 768, stage));
    EXPECT_EQ(stage.log, "cfm");
    EXPECT_EQ(cycle.TickCount(), 0);
    stage.log.clear();
    EXPECT_TRUE(cycle.Tick(1024, 768, stage));
    EXPECT_EQ(stage.log, "1s1S");
}

TEST(ShowCycle, DropSizesFollowTheScreen)
{
    struct Case { int w, h, r1, h1, r2, h2; };
    for (Case c : {Case{640, 480, 312, 625, 62, 156}, Case{800, 600, 390, 781, 78, 195},
                   Case{1024, 768, 500, 1000, 100, 250}, Case{1280, 1024, 625, 1333, 125, 333}}) {
        RecordingStage stage;
        CShowCycle one;
        one.Start(1);
        one.Tick(c.w, c.h, stage);
        CShowCycle two;
        two.Start(2);
        two.Tick(c.w, c.h, stage);
        ASSERT_EQ(stage.drops.size(), 4u);
        EXPECT_EQ(stage.drops[0], (std::vector<int>{1, c.w / 2, c.h / 2, c.r1, c.h1}));
        EXPECT_EQ(stage.drops[2], (std::vector<int>{2, c.w / 2, c.h / 2, c.r2, c.h2}));
    }
}

TEST(ShowCycle, PreviewWithoutModeDrawsNoDropsAndSwitchesOnlyOnRestart)
{
    CShowCycle cycle;
    RecordingStage stage;
    cycle.StartWithoutMode(0);
    EXPECT_EQ(cycle.Mode(), 0);
    EXPECT_EQ(RunCycle(cycle, stage), 701);
    EXPECT_TRUE(stage.drops.empty());
    EXPECT_EQ(cycle.Mode(), 1);
}

// A compositor's way: the show draws into whichever of two top-down buffers
// is free, with padded rows; the buffer lacks what the other one got since
// it was drawn, which the tick brings over as it draws (now and then at once
// instead, as for a frame shown without a tick). Over a whole cycle and its
// restart, each buffer is the plain show's frame with the fill, outside the
// tick's spans it is the other buffer's frame, and no padding changed.
static void FramesInTwoBuffers(uint32_t fill)
{
    const int w = 300, h = 40, pitch = w * 4 + 12;
    std::vector<uint32_t> picture(static_cast<size_t>(w) * h);
    std::mt19937 random(7);
    for (uint32_t& p : picture)
        p = random();
    CWaterShow plain(1), drawn(1);
    ASSERT_TRUE(plain.Start(picture, w, h));
    std::vector<uint8_t> buffers[2] = {std::vector<uint8_t>(static_cast<size_t>(pitch) * h, 0xEE),
                                       std::vector<uint8_t>(static_cast<size_t>(pitch) * h, 0xEE)};
    const auto into = [&](int b) { return ripple::Target::TopDown(buffers[b].data(), h, pitch, fill); };
    const ripple::Target first = into(0);
    ASSERT_TRUE(drawn.Start(picture, w, h, &first));
    std::vector<ripple::Span> missing[2] = {std::vector<ripple::Span>(h), std::vector<ripple::Span>(h, {0, w})};
    int b = 0;
    bool shown = true;
    for (int tick = 1; tick <= CShowCycle::kMode1Ticks + 10; ++tick) {
        // A tick that drew nothing is not shown: its buffer takes the next.
        if (shown) {
            b = 1 - b;
            drawn.MoveTarget(into(b), into(1 - b), missing[b].data());
            missing[b].assign(h, ripple::Span());
            if (tick % 50 == 0)
                drawn.BringOver();
        }
        shown = drawn.Tick();
        ASSERT_EQ(plain.Tick(), shown) << tick;
        for (int y = 0; y < h; ++y)
            missing[1 - b][y].Add(drawn.Changed()[y]);
        if (!shown)
            continue;
        for (int y = 0; y < h; ++y) {
            const ripple::Span changed = drawn.Changed()[y];
            const uint32_t* row = reinterpret_cast<const uint32_t*>(&buffers[b][static_cast<size_t>(y) * pitch]);
            const uint32_t* last = reinterpret_cast<const uint32_t*>(&buffers[1 - b][static_cast<size_t>(y) * pitch]);
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(row[x], plain.Frame()[static_cast<size_t>(h - 1 - y) * w + x] | fill)
                    << "tick " << tick << " pixel " << x << "," << y;
                if (x < changed.first || x >= changed.end) {
                    ASSERT_EQ(row[x], last[x]) << "changed outside the span: tick " << tick << " " << x << "," << y;
                }
            }
            for (int pad = w * 4; pad < pitch; ++pad)
                ASSERT_EQ(buffers[b][static_cast<size_t>(y) * pitch + pad], 0xEE) << "padding of row " << y;
        }
    }
}

TEST(WaterShow, FramesInTwoBuffersTakenInTurnAreThePlainFramesAndChangeOnlyWhereTheTickSays)
{
    // The picture's top bytes are not all 0, which shows where no fill
    // covers them (an X image of depth 24).
    for (const uint32_t fill : {0xFF000000u, 0u}) {
        SCOPED_TRACE(fill);
        FramesInTwoBuffers(fill);
    }
}
