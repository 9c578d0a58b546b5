#include "tools/ripple-render/RippleRender.h"

bool CRippleRenderer::ValidateOptions(const RenderOptions& options, std::string& error)
{
    if (options.width < 1 || options.height < 1 || options.width > kMaxRenderSide
        || options.height > kMaxRenderSide
        || static_cast<int64_t>(options.width) * options.height > kMaxRenderPixels) {
        error = "size " + std::to_string(options.width) + " x " + std::to_string(options.height)
            + " out of range (1 to " + std::to_string(kMaxRenderSide) + " a side, at most "
            + std::to_string(kMaxRenderPixels) + " pixels)";
        return false;
    }
    if (options.ticks < 0) {
        error = "negative tick count";
        return false;
    }
    return true;
}

bool CRippleRenderer::Render(const RenderOptions& options, const std::vector<uint32_t>& source,
    std::vector<uint32_t>& display, std::string& error)
{
    if (!ValidateOptions(options, error))
        return false;
    if (source.size() != static_cast<size_t>(options.width) * static_cast<size_t>(options.height)) {
        error = "picture size does not match the render size";
        return false;
    }
    if (!m_effect.SetPath(options.path)) {
        error = std::string("this processor has no ") + ripple::PathName(options.path) + " path";
        return false;
    }
    m_nWidth = options.width;
    m_nHeight = options.height;
    m_bFlattenFailed = false;
    display = source;
    m_pSource = source.data();
    m_pDisplay = display.data();

    // As the window does while it is created, before the first tick.
    FlattenWater();
    CShowCycle cycle;
    cycle.Start(options.setting);
    for (int tick = 0; tick < options.ticks && !m_bFlattenFailed; ++tick)
        cycle.Tick(m_nWidth, m_nHeight, *this);
    if (m_bFlattenFailed) {
        error = "not enough memory for the ripple engine";
        return false;
    }
    return true;
}

void CRippleRenderer::FlattenWater()
{
    if (!m_effect.Create(m_nWidth, m_nHeight))
        m_bFlattenFailed = true;
}

void CRippleRenderer::AddCosineDrop(int x, int y, int radius, int height)
{
    m_effect.AddCosineDrop(x, y, radius, height, m_effect.GetPage());
}

void CRippleRenderer::AddConeDrop(int x, int y, int radius, int height)
{
    m_effect.AddConeDrop(x, y, radius, height, m_effect.GetPage());
}

void CRippleRenderer::StepAndPaint()
{
    m_effect.Step(m_pSource, m_pDisplay);
}
