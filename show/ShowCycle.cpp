#include "show/ShowCycle.h"

void CShowCycle::Start(int effectMode)
{
    m_nEffectMode = effectMode;
    m_nMode = effectMode == 0 ? 1 : effectMode;
    m_nTick = 0;
}

bool CShowCycle::Tick(int width, int height, ShowStage& stage)
{
    ++m_nTick;
    if (m_nTick > kMode1Ticks && m_nMode == 1) {
        Restart(2, stage);
        return false;
    }
    if (m_nTick > kOtherModeTicks) {
        Restart(1, stage);
        return false;
    }
    for (int step = 0; step < kStepsPerTick; ++step) {
        if (m_nTick < kDropTicks) {
            // The products stay far inside 32 bits for any real screen size.
            if (m_nMode == 1)
                stage.AddCosineDrop(width / 2, height / 2, width * 500 / 1024, height * 1000 / 768);
            else if (m_nMode == 2)
                stage.AddConeDrop(width / 2, height / 2, width * 100 / 1024, height * 250 / 768);
        }
        stage.StepAndPaint(step + 1 == kStepsPerTick);
    }
    return true;
}

void CShowCycle::Restart(int nextMode, ShowStage& stage)
{
    stage.CloseMusic();
    stage.FlattenWater();
    m_nTick = 0;
    stage.StartMusic();
    if (m_nEffectMode == 0)
        m_nMode = nextMode;
}
