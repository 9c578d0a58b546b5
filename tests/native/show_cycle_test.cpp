#include "show/ShowCycle.h"

#include <gtest/gtest.h>

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
