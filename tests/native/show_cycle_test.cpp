#include "show/InputRule.h"
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

// Per setting, the modes and lengths of three cycles in a row: 0 alternates
// starting with mode 1, 1 and 2 never change, any other shows a still
// picture restarting every 701 ticks.
TEST(ShowCycle, EachSettingsModesAndCycleLengths)
{
    struct Case { int setting, modes[3], ticks[3]; };
    for (const Case& c : {Case{0, {1, 2, 1}, {471, 701, 471}}, Case{1, {1, 1, 1}, {471, 471, 471}},
                          Case{2, {2, 2, 2}, {701, 701, 701}}, Case{3, {3, 3, 3}, {701, 701, 701}},
                          Case{-1, {-1, -1, -1}, {701, 701, 701}}}) {
        CShowCycle cycle;
        RecordingStage stage;
        cycle.Start(c.setting);
        for (int n = 0; n < 3; ++n) {
            EXPECT_EQ(cycle.Mode(), c.modes[n]) << c.setting << " cycle " << n;
            EXPECT_EQ(RunCycle(cycle, stage), c.ticks[n]) << c.setting << " cycle " << n;
        }
        EXPECT_EQ(stage.drops.empty(), c.setting > 2 || c.setting < 0) << c.setting;
    }
}

// Two drops a tick at the centre on ticks 1 to 199, sized by the screen.
TEST(ShowCycle, DropsTwoATickOnTicksOneTo199SizedByTheScreen)
{
    struct Case { int w, h, r1, h1, r2, h2; };
    for (Case c : {Case{640, 480, 312, 625, 62, 156}, Case{800, 600, 390, 781, 78, 195},
                   Case{1024, 768, 500, 1000, 100, 250}, Case{1280, 1024, 625, 1333, 125, 333}}) {
        for (int mode : {1, 2}) {
            CShowCycle cycle;
            RecordingStage stage;
            cycle.Start(mode);
            for (int tick = 1; tick <= CShowCycle::kMode1Ticks; ++tick) {
                stage.log.clear();
                ASSERT_TRUE(cycle.Tick(c.w, c.h, stage));
                ASSERT_EQ(stage.log, tick >= 200 ? "sS" : mode == 1 ? "1s1S" : "2s2S") << "tick " << tick;
            }
            ASSERT_EQ(stage.drops.size(), 398u);
            EXPECT_EQ(stage.drops.back(), (mode == 1 ? std::vector<int>{1, c.w / 2, c.h / 2, c.r1, c.h1}
                                                     : std::vector<int>{2, c.w / 2, c.h / 2, c.r2, c.h2}));
        }
    }
}

// A compositor's way: the show draws into whichever of two top-down buffers
// is free, with padded rows; the buffer lacks what the other one got since
// it was drawn, which the tick brings over as it draws (now and then at once
// instead, as for a frame shown without a tick). Over a whole cycle and its
// restart, each buffer is the plain show's frame with the fill, outside the
// tick's spans it is the other buffer's frame, and no padding changed. A
// drop off the centre now and then makes the water lopsided; on still water
// (mode 3) it is all there is, so that rows taken for their mirror images
// are seen.
static void FramesInTwoBuffers(int mode, uint32_t fill)
{
    const int w = 300, h = 40, pitch = w * 4 + 12;
    std::vector<uint32_t> picture(static_cast<size_t>(w) * h);
    std::mt19937 random(7);
    for (uint32_t& p : picture)
        p = random();
    CWaterShow plain(mode), drawn(mode);
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
        if (tick % 60 == 15) {
            for (CWaterShow* show : {&plain, &drawn})
                show->Engine().AddConeDrop(w / 5, h / 6, 12, 300, show->Engine().GetPage());
        }
        shown = drawn.Tick();
        ASSERT_EQ(plain.Tick(), shown) << tick;
        for (int r = 0; r < h; ++r)
            missing[1 - b][r].Add(drawn.Changed()[r]);
        if (!shown)
            continue;
        for (int r = 0; r < h; ++r) {
            const ripple::Span changed = drawn.Changed()[r];
            const uint32_t* row = into(b).Row(r);
            const uint32_t* last = into(1 - b).Row(r);
            const uint32_t* frame = plain.Frame() + static_cast<size_t>(r) * w;
            for (int x = 0; x < w; ++x) {
                ASSERT_EQ(row[x], frame[x] | fill) << "tick " << tick << " pixel " << x << "," << r;
                if (x < changed.first || x >= changed.end) {
                    ASSERT_EQ(row[x], last[x]) << "changed outside the span: tick " << tick << " " << x << "," << r;
                }
            }
            const uint8_t* padding = reinterpret_cast<const uint8_t*>(row + w);
            for (int pad = 0; pad < pitch - w * 4; ++pad)
                ASSERT_EQ(padding[pad], 0xEE) << "padding of row " << r;
        }
    }
}

TEST(WaterShow, FramesInTwoBuffersTakenInTurnAreThePlainFramesAndChangeOnlyWhereTheTickSays)
{
    // The picture's top bytes are not all 0, which shows where no fill
    // covers them (an X image of depth 24).
    for (const uint32_t fill : {0xFF000000u, 0u}) {
        SCOPED_TRACE(fill);
        FramesInTwoBuffers(1, fill);
    }
    FramesInTwoBuffers(3, 0xFF000000u);
}

// A window's way: the scene runs over the caller's picture into the
// caller's bottom-up image, every step seen and handed to the hooks, with
// the tune closed and started again at each restart. Each step's frame is
// the one an engine stepping the picture into a copy of it draws.
struct PlainStage final : ShowStage {
    PlainStage(const std::vector<uint32_t>& picture, int width, int height)
        : source(picture.data()), display(picture), w(width), h(height)
    {
        engine.Create(w, h);
    }
    CEffectEngine engine;
    const uint32_t* source;
    std::vector<uint32_t> display;
    int w, h;
    std::vector<std::vector<uint32_t>> frames;
    void CloseMusic() override {}
    void FlattenWater() override { engine.Create(w, h); }
    void StartMusic() override {}
    void AddCosineDrop(int x, int y, int r, int ht) override { engine.AddCosineDrop(x, y, r, ht, engine.GetPage()); }
    void AddConeDrop(int x, int y, int r, int ht) override { engine.AddConeDrop(x, y, r, ht, engine.GetPage()); }
    void StepAndPaint(bool) override
    {
        engine.Step(source, display.data());
        frames.push_back(display);
    }
};

struct RecordingHooks final : ShowHooks {
    std::string log;
    const std::vector<uint32_t>* image = nullptr;
    std::vector<std::vector<uint32_t>> frames;
    void CloseMusic() override { log += 'c'; }
    void StartMusic() override { log += 'm'; }
    void StepDrawn(bool lastOfTick) override
    {
        log += lastOfTick ? 'P' : 'p';
        frames.push_back(*image);
    }
};

TEST(WaterShow, AWindowsSceneHandsEveryStepsFrameAndTheTuneToItsHooks)
{
    const int w = 96, h = 40;
    std::vector<uint32_t> picture(static_cast<size_t>(w) * h);
    std::mt19937 random(3);
    for (uint32_t& p : picture)
        p = random() & 0x00FFFFFF;
    std::vector<uint32_t> image = picture;
    CWaterShow show(0);
    show.SetEveryStepSeen(true);
    ASSERT_TRUE(show.Start(picture.data(), w, h, ripple::Target::BottomUp(image.data(), w, h)));
    EXPECT_EQ(show.Frame(), nullptr);
    PlainStage plain(picture, w, h);
    CShowCycle cycle;
    cycle.Start(0);
    RecordingHooks hooks;
    hooks.image = &image;
    for (int tick = 1; tick <= CShowCycle::kMode1Ticks + 3; ++tick) {
        hooks.log.clear();
        hooks.frames.clear();
        plain.frames.clear();
        // Drops off the centre, lopsided water: mirrored rows would show.
        if (tick % 40 == 5) {
            show.Engine().AddConeDrop(w / 5, h / 6, 9, 300, show.Engine().GetPage());
            plain.engine.AddConeDrop(w / 5, h / 6, 9, 300, plain.engine.GetPage());
        }
        const bool drawn = show.Tick(hooks, w, h);
        ASSERT_EQ(cycle.Tick(w, h, plain), drawn) << tick;
        ASSERT_EQ(hooks.log, drawn ? "pP" : "cm") << tick;
        ASSERT_TRUE(hooks.frames == plain.frames) << "tick " << tick;
    }
    EXPECT_EQ(show.Cycle().Mode(), 2);
    EXPECT_EQ(show.Cycle().TickCount(), 2);
}

TEST(InputRule, KeysEndItWhenPressedAnewButNotWhenHeldOrReleased)
{
    constexpr uint32_t kEnter = 28, kA = 30, kShift = 42;
    CInputRule rule;
    // The Enter that started it, still down when the keyboard arrives, and
    // let go: nothing ends.
    rule.KeyboardEntered({kEnter, kShift});
    EXPECT_FALSE(rule.Key(kEnter, true));
    EXPECT_FALSE(rule.Key(kEnter, false));
    EXPECT_FALSE(rule.Key(kA, false));
    // Once released, the same key pressed again is a new press.
    EXPECT_TRUE(rule.Key(kEnter, true));
    EXPECT_TRUE(rule.Key(kA, true));
    // Keys held at one arrival are forgotten at the next.
    rule.KeyboardEntered({});
    EXPECT_TRUE(rule.Key(kShift, true));
    // Without any arrival, every press counts.
    EXPECT_TRUE(CInputRule().Key(kA, true));
}

TEST(InputRule, ThePointerEndsItByMovingAwayFromWhereItCameButNotByComing)
{
    CInputRule rule;
    rule.PointerEntered(100, 50);
    EXPECT_FALSE(rule.PointerMoved(100, 50));
    EXPECT_TRUE(rule.PointerMoved(101, 50));
    EXPECT_TRUE(rule.PointerMoved(100, 49));
    // Coming over another surface (a new output, a surface made anew at a
    // new size) is where it is then.
    rule.PointerEntered(7, 8);
    EXPECT_FALSE(rule.PointerMoved(7, 8));
    EXPECT_TRUE(rule.PointerMoved(100, 50));
    // A motion with no arrival before it is only the first position,
    // wherever that is (left of and above a screen's origin, too).
    CInputRule fresh;
    EXPECT_FALSE(fresh.PointerMoved(-1, -1));
    EXPECT_FALSE(fresh.PointerMoved(-1, -1));
    EXPECT_TRUE(fresh.PointerMoved(-1, 0));
    // A button ends it when pressed, not when a held one is let go; any
    // scroll ends it, the end of a scroll does not.
    EXPECT_TRUE(rule.Button(true));
    EXPECT_FALSE(rule.Button(false));
    EXPECT_TRUE(rule.Scrolled(-10.0));
    EXPECT_TRUE(rule.Scrolled(0.5));
    EXPECT_FALSE(rule.Scrolled(0.0));
}
