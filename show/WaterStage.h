// The water part of the tick machine's stage: drops onto an engine's current
// page and the engine stepping a source picture into a display image. The
// scene of the front ends without a window system of their own runs it as it
// is (no music; the frame is shown once the tick is over); the animation
// window adds its tune and paints after every step. Platform-free.
#pragma once

#include "ripple/EffectEngine.h"
#include "show/ShowCycle.h"

#include <cstdint>

class CWaterStage : public ShowStage {
public:
    // The engine is the caller's, for as long as the stage is used.
    explicit CWaterStage(CEffectEngine& engine) : m_effect(engine) {}

    // The pictures the steps read and write, `width` x `height` pixels each,
    // owned by the caller for as long as the stage is used: the source in
    // the engine's layout, the display image bottom-up too or in the
    // target's layout.
    void SetImages(const uint32_t* source, uint32_t* display, int width, int height);
    void SetImages(const uint32_t* source, const ripple::Target& target, int width, int height);
    // Whether every step's picture is seen (the default: the window paints
    // after each) or only the tick's last one, which lets the engine run the
    // steps before it without drawing them.
    void SetEveryStepSeen(bool every) { m_bEveryStep = every; }
    // False once the engine could not get its memory at the last flattening.
    bool HasWater() const { return m_bWater; }

    void CloseMusic() override {}
    void FlattenWater() override;
    void StartMusic() override {}
    void AddCosineDrop(int x, int y, int radius, int height) override;
    void AddConeDrop(int x, int y, int radius, int height) override;
    // Only the step: whoever shows the display image does so.
    void StepAndPaint(bool lastOfTick) override;

private:
    CEffectEngine& m_effect;
    const uint32_t* m_pSource = nullptr;
    ripple::Target m_target;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bWater = false;
    bool m_bEveryStep = true;
};
