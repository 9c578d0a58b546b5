// The scene of the show, for every front end: the picture at the output's
// size as the source image, the frames the steps draw (into the display
// server's or the window's memory, or into an image of the scene's own),
// the ripple engine with as many threads as pay, and the tick machine that
// drives them, apart from any window, timer or display server. By default
// only a tick's last frame is seen, so the step before it runs without
// drawing; a front end that shows every step says so, and hooks in its tune
// and its look at each frame. Platform-free.
#pragma once

#include "ripple/EffectEngine.h"
#include "ripple/RippleThreads.h"
#include "show/ShowCycle.h"
#include "show/WaterStage.h"

#include <cstdint>
#include <vector>

class CWaterShow {
public:
    // `effectMode` is the stored setting: 0 alternates modes 1 and 2, any
    // number but 0, 1 and 2 keeps the water still.
    explicit CWaterShow(int effectMode);
    CWaterShow(const CWaterShow&) = delete;
    CWaterShow& operator=(const CWaterShow&) = delete;

    // The engine, for a choice of path or strips before Start.
    CEffectEngine& Engine() { return m_effect; }
    // Threads of the engine's steps: 0 (the default) one while one keeps
    // the show's pace and more only while it cannot, else that many.
    void SetThreads(int threads);

    // A tick (its steps, and whatever the hooks do beside them) should take
    // at most this much wall time.
    static constexpr double kBudgetMs = 40;

    // The show at a new size: `source` is the picture over `width` x
    // `height` in the engine's layout (rows bottom-up, 0x00RRGGBB), taken
    // over; the water flat and the cycle at its start. The frames go into
    // `target` when one is given: memory of the caller's in a layout of its
    // own, which gets the picture now and must then keep what the show
    // draws; else into a display image of the scene's own (Frame()). False
    // when the engine cannot get its memory: the frame then stays the still
    // picture.
    bool Start(std::vector<uint32_t> source, int width, int height, const ripple::Target* target = nullptr);
    // The same over a source of the caller's, which must stay as it is for
    // as long as the show runs on it (it is not copied), into the caller's
    // target. Without a source or target nothing is drawn; the water runs
    // all the same.
    bool Start(const uint32_t* source, int width, int height, const ripple::Target& target);
    // Whether every step's frame is seen, or only a tick's last (the
    // default).
    void SetEveryStepSeen(bool every) { m_stage.SetEveryStepSeen(every); }
    // The frames from now on into `target`, which holds what the last one
    // did (the same frame, copied there).
    void MoveTarget(const ripple::Target& target);
    // The same, for a target that lacks the columns missing[r] of each
    // engine row r, which `last` (the last target, laid out alike) holds:
    // the next tick brings them over as it draws, copying only what it does
    // not draw anyway.
    void MoveTarget(const ripple::Target& target, const ripple::Target& last, const ripple::Span* missing);
    // Whatever the target still lacks of the last one, copied now: for a
    // frame shown without a tick.
    void BringOver();
    // One timer tick; false for a tick that draws nothing.
    bool Tick();
    // One timer tick of a front end with a tune and a look at each step
    // through `hooks`, its drops placed on a screen of `width` x `height`
    // (the size the front end sees now). Without water the cycle goes on
    // all the same, so that the tune keeps its time, and each restart tries
    // the water again. False for a restart tick.
    bool Tick(ShowHooks& hooks, int width, int height);

    // The frame to show, rows bottom-up as the engine keeps them; null when
    // the frames go into a target of the caller's.
    const uint32_t* Frame() const { return m_display.empty() ? nullptr : m_display.data(); }
    // Where the frames go: the caller's target, or the scene's own image.
    const ripple::Target& Into() const { return m_into; }
    // Per engine row (Height() of them), the columns the last tick may have
    // changed; after Start every pixel. A display's lines are the target's
    // (ripple::Target::RowAtLine).
    const ripple::Span* Changed() const { return m_changed.data(); }
    // The same while a tick runs: the columns its steps have drawn so far,
    // for a front end that shows every step's frame as the step ends; null
    // without water.
    const ripple::Span* DrawnSoFar() { return m_effect.Drawn(); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int Threads() const { return m_effect.GetThreads(); }
    // The mode and the tick within the cycle.
    const CShowCycle& Cycle() const { return m_cycle; }

private:
    bool Begin(const uint32_t* source, int width, int height, const ripple::Target& into, bool drawStill);
    bool Run(int width, int height);
    void TakeChanged();

    int m_nEffectMode;
    int m_nWidth = 0;
    int m_nHeight = 0;
    // The picture when the scene holds it; m_pSource points to whichever.
    std::vector<uint32_t> m_source;
    const uint32_t* m_pSource = nullptr;
    std::vector<uint32_t> m_display;
    ripple::Target m_into;
    std::vector<ripple::Span> m_changed;
    CEffectEngine m_effect;
    CWaterStage m_stage{m_effect};
    CShowCycle m_cycle;
    ripple::ThreadPolicy m_policy;
    bool m_bAutoThreads = true;
};
