#include "show/WaterStage.h"

void CWaterStage::SetImages(const uint32_t* source, const ripple::Target& target, int width, int height)
{
    m_pSource = source;
    m_target = target;
    m_nWidth = width;
    m_nHeight = height;
}

void CWaterStage::CloseMusic()
{
    if (m_pHooks)
        m_pHooks->CloseMusic();
}

void CWaterStage::StartMusic()
{
    if (m_pHooks)
        m_pHooks->StartMusic();
}

void CWaterStage::FlattenWater()
{
    m_bWater = m_effect.Create(m_nWidth, m_nHeight);
}

void CWaterStage::AddCosineDrop(int x, int y, int radius, int height)
{
    m_effect.AddCosineDrop(x, y, radius, height, m_effect.GetPage());
}

void CWaterStage::AddConeDrop(int x, int y, int radius, int height)
{
    m_effect.AddConeDrop(x, y, radius, height, m_effect.GetPage());
}

void CWaterStage::StepAndPaint(bool lastOfTick)
{
    if (m_bEveryStep || lastOfTick)
        m_effect.Step(m_pSource, m_target);
    else
        m_effect.StepUnseen(m_pSource, m_target);
    if (m_pHooks)
        m_pHooks->StepDrawn(lastOfTick);
}
