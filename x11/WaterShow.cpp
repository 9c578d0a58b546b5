#include "x11/WaterShow.h"

bool CWaterShow::Resize(int width, int height)
{
    m_nWidth = width;
    m_nHeight = height;
    m_picture.Stretch(width, height, m_source);
    m_display = m_source;
    m_cycle.Start(m_nEffectMode);
    FlattenWater();
    return m_bWater;
}

bool CWaterShow::Tick()
{
    if (!m_bWater)
        return false;
    return m_cycle.Tick(m_nWidth, m_nHeight, *this);
}

void CWaterShow::FlattenWater()
{
    m_bWater = m_effect.Create(m_nWidth, m_nHeight);
}

void CWaterShow::AddCosineDrop(int x, int y, int radius, int height)
{
    m_effect.AddCosineDrop(x, y, radius, height, m_effect.GetPage());
}

void CWaterShow::AddConeDrop(int x, int y, int radius, int height)
{
    m_effect.AddConeDrop(x, y, radius, height, m_effect.GetPage());
}

void CWaterShow::StepAndPaint()
{
    // The window shows the frame once per tick, after its last step.
    m_effect.Step(m_source.data(), m_display.data());
}
