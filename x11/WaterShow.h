// The scene of the show, apart from any window or timer: the picture at the
// window's size, the ripple engine and the tick machine that drives it.
#pragma once

#include "show/ShowCycle.h"
#include "show/WaterStage.h"
#include "x11/Picture.h"

#include <cstdint>
#include <vector>

class CWaterShow {
public:
    // `mode` is the stored effect mode: 0 alternates modes 1 and 2, any
    // number but 0, 1 and 2 keeps the water still.
    explicit CWaterShow(int mode) : m_nEffectMode(mode) {}

    CPicture& Picture() { return m_picture; }

    // The picture stretched anew over `width` x `height`, flat water, the
    // cycle from its start. False when the engine cannot get its memory: the
    // frame then stays the still picture.
    bool Resize(int width, int height);
    // One timer tick; false for a tick that draws nothing.
    bool Tick();

    // The frame on the screen, rows bottom-up as the engine keeps them.
    const uint32_t* Frame() const { return m_display.data(); }
    int Width() const { return m_nWidth; }
    int Height() const { return m_nHeight; }

private:
    int m_nEffectMode;
    int m_nWidth = 0;
    int m_nHeight = 0;
    CPicture m_picture;
    std::vector<uint32_t> m_source;
    std::vector<uint32_t> m_display;
    CWaterStage m_stage;
    CShowCycle m_cycle;
};
