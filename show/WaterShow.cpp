#include "show/WaterShow.h"

#include <utility>

bool CWaterShow::Start(std::vector<uint32_t> source, int width, int height)
{
    m_nWidth = width;
    m_nHeight = height;
    m_source = std::move(source);
    m_display = m_source;
    m_stage.SetImages(m_source.data(), m_display.data(), width, height);
    m_cycle.Start(m_nEffectMode);
    m_stage.FlattenWater();
    return m_stage.HasWater();
}

bool CWaterShow::Tick()
{
    // The frame is shown once per tick, after its last step.
    if (!m_stage.HasWater())
        return false;
    return m_cycle.Tick(m_nWidth, m_nHeight, m_stage);
}
