// The scene of the show for the front ends without a window system of their
// own (the offline renderer, the X11 and Wayland programs): the picture at
// the output's size as the source image, the frames the steps draw (into the
// display server's memory, or into an image of the scene's own), the ripple
// engine with as many threads as pay, and the tick machine that drives them,
// apart from any window, timer or display server. Only a tick's last frame
// is seen, so the step before it runs without drawing. Platform-free.
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

    // A tick's steps should take at most this much wall time.
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

    // The frame to show, rows bottom-up as the engine keeps them; null when
    // the frames go into a target of the caller's.
    const uint32_t* Frame() const { return m_display.empty() ? nullptr : m_display.data(); }
    // Where the frames go: the caller's target, or the scene's own image.
    const ripple::Target& Into() const { return m_into; }
    // Per engine row (Height() of them), the columns the last tick may have
    // changed; after Start every pixel. A display's lines are the target's
    // (ripple::Target::RowAtLine).
    const ripple::Span* Changed() const { return m_changed.data(); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }
    int Threads() const { return m_effect.GetThreads(); }

private:
    void TakeChanged();

    int m_nEffectMode;
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<uint32_t> m_source;
    std::vector<uint32_t> m_display;
    ripple::Target m_into;
    std::vector<ripple::Span> m_changed;
    CEffectEngine m_effect;
    CWaterStage m_stage{m_effect};
    CShowCycle m_cycle;
    ripple::ThreadPolicy m_policy;
    bool m_bAutoThreads = true;
};
