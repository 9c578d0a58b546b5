// The scene of the show for the front ends without a window system of their
// own (the offline renderer, the X11 and Wayland programs): the picture at
// the output's size as the source image, the display image the steps draw,
// the ripple engine and the tick machine that drives them, apart from any
// window, timer or display server. Platform-free.
#pragma once

#include "ripple/EffectEngine.h"
#include "show/ShowCycle.h"
#include "show/WaterStage.h"

#include <cstdint>
#include <vector>

class CWaterShow {
public:
    // `effectMode` is the stored setting: 0 alternates modes 1 and 2, any
    // number but 0, 1 and 2 keeps the water still.
    explicit CWaterShow(int effectMode) : m_nEffectMode(effectMode) {}
    CWaterShow(const CWaterShow&) = delete;
    CWaterShow& operator=(const CWaterShow&) = delete;

    // The engine, for a choice of path, threads or strips before Start.
    CEffectEngine& Engine() { return m_effect; }

    // The show at a new size: `source` is the picture over `width` x
    // `height` in the engine's layout (rows bottom-up, 0x00RRGGBB), taken
    // over; the display starts as a copy of it, the water flat and the cycle
    // at its start. False when the engine cannot get its memory: the frame
    // then stays the still picture.
    bool Start(std::vector<uint32_t> source, int width, int height);
    // One timer tick; false for a tick that draws nothing.
    bool Tick();

    // The frame to show, rows bottom-up as the engine keeps them.
    const uint32_t* Frame() const { return m_display.data(); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

private:
    int m_nEffectMode;
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<uint32_t> m_source;
    std::vector<uint32_t> m_display;
    CEffectEngine m_effect;
    CWaterStage m_stage{m_effect};
    CShowCycle m_cycle;
};
