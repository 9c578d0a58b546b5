// The show's tick state machine: counts timer ticks, drops water at the screen
// centre early in each cycle, runs two ripple steps per tick and restarts the
// cycle (music, flat water, next mode) when the mode's cycle is over.
// Platform-free: the scene of the front ends plugs in a ShowStage.
#pragma once

// What a tick does to the scene: its tune, its water and its images.
class ShowStage {
public:
    virtual void CloseMusic() = 0;
    virtual void FlattenWater() = 0;
    virtual void StartMusic() = 0;
    // Drops go onto the engine's current page.
    virtual void AddCosineDrop(int x, int y, int radius, int height) = 0;
    virtual void AddConeDrop(int x, int y, int radius, int height) = 0;
    // One ripple step into the display image, then the display image drawn;
    // `lastOfTick` for the tick's last step, whose frame stays on the screen
    // until the next tick.
    virtual void StepAndPaint(bool lastOfTick) = 0;

protected:
    ~ShowStage() = default;
};

class CShowCycle {
public:
    static constexpr int kTickMs = 60;          // the show's timer period
    static constexpr int kDropTicks = 200;      // drops while the tick is below this
    static constexpr int kMode1Ticks = 470;     // last drawing tick of a mode-1 cycle
    static constexpr int kOtherModeTicks = 700; // last drawing tick of any other mode
    static constexpr int kStepsPerTick = 2;

    // `effectMode` is the stored setting (0 alternates starting with mode 1).
    void Start(int effectMode);

    // One timer tick on a screen of `width` x `height`. Returns false for a
    // restart tick, which draws nothing and gets no default processing.
    bool Tick(int width, int height, ShowStage& stage);

    int Mode() const { return m_nMode; }
    int TickCount() const { return m_nTick; }

private:
    void Restart(int nextMode, ShowStage& stage);

    int m_nEffectMode = 0;
    int m_nMode = 0;
    int m_nTick = 0;
};
