// The water part of the tick machine's stage: drops onto an engine's current
// page and the engine stepping a source picture into a display image. A
// front end may hook in its tune and a look at each step's frame (the
// animation window paints after every step); without hooks there is no
// music and the frame is shown once the tick is over. Platform-free.
#pragma once

#include "ripple/EffectEngine.h"
#include "show/ShowCycle.h"

#include <cstdint>

// What a front end adds to the steps: its tune, closed and started again
// with each cycle, and the frame a step drew, there in the display image.
class ShowHooks {
public:
    virtual void CloseMusic() = 0;
    virtual void StartMusic() = 0;
    // `lastOfTick` for the tick's last step.
    virtual void StepDrawn(bool lastOfTick) = 0;

protected:
    ~ShowHooks() = default;
};

class CWaterStage : public ShowStage {
public:
    // The engine is the caller's, for as long as the stage is used.
    explicit CWaterStage(CEffectEngine& engine) : m_effect(engine) {}

    // The pictures the steps read and write, `width` x `height` pixels each,
    // owned by the caller for as long as the stage is used: the source in
    // the engine's layout, the display image in the target's.
    void SetImages(const uint32_t* source, const ripple::Target& target, int width, int height);
    // Whether every step's picture is seen (the default) or only the tick's
    // last one, which lets the engine run the steps before it without
    // drawing them.
    void SetEveryStepSeen(bool every) { m_bEveryStep = every; }
    // The hooks of the steps from now on; none by default.
    void SetHooks(ShowHooks* hooks) { m_pHooks = hooks; }
    // False once the engine could not get its memory at the last flattening.
    bool HasWater() const { return m_bWater; }

    void CloseMusic() override;
    void FlattenWater() override;
    void StartMusic() override;
    void AddCosineDrop(int x, int y, int radius, int height) override;
    void AddConeDrop(int x, int y, int radius, int height) override;
    // The step, then the hooks: whoever shows the display image does so.
    void StepAndPaint(bool lastOfTick) override;

private:
    CEffectEngine& m_effect;
    ShowHooks* m_pHooks = nullptr;
    const uint32_t* m_pSource = nullptr;
    ripple::Target m_target;
    int m_nWidth = 0;
    int m_nHeight = 0;
    bool m_bWater = false;
    bool m_bEveryStep = true;
};
