#include "show/WaterShow.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

int Processors(CEffectEngine& engine)
{
    engine.SetThreads(0);
    return engine.GetThreads();
}

// The picture without water, for want of memory for it.
void DrawPicture(const uint32_t* source, const ripple::Target& into, int width)
{
    for (int r = 0; r < into.height; ++r) {
        const uint32_t* from = source + static_cast<size_t>(r) * width;
        uint32_t* to = into.Row(r);
        for (int c = 0; c < width; ++c)
            to[c] = from[c] | into.fill;
    }
}

} // namespace

CWaterShow::CWaterShow(int effectMode) : m_nEffectMode(effectMode), m_policy(Processors(m_effect), kBudgetMs)
{
    m_effect.SetThreads(m_policy.Threads());
    m_stage.SetEveryStepSeen(false);
}

void CWaterShow::SetThreads(int threads)
{
    m_bAutoThreads = threads <= 0;
    m_policy = ripple::ThreadPolicy(Processors(m_effect), kBudgetMs);
    m_effect.SetThreads(m_bAutoThreads ? m_policy.Threads() : threads);
}

bool CWaterShow::Start(std::vector<uint32_t> source, int width, int height, const ripple::Target* target)
{
    m_source = std::move(source);
    if (target) {
        m_display = std::vector<uint32_t>();
        return Begin(m_source.data(), width, height, *target, true);
    }
    m_display = m_source;
    // An image of the show's own is the picture as it is (the offline
    // frames keep every byte of it until a step draws there).
    return Begin(m_source.data(), width, height, ripple::Target::BottomUp(m_display.data(), width, height), false);
}

bool CWaterShow::Start(const uint32_t* source, int width, int height, const ripple::Target& target)
{
    m_source = std::vector<uint32_t>();
    m_display = std::vector<uint32_t>();
    return Begin(source, width, height, target, true);
}

bool CWaterShow::Begin(const uint32_t* source, int width, int height, const ripple::Target& into, bool drawStill)
{
    m_nWidth = width;
    m_nHeight = height;
    m_pSource = source;
    m_into = into;
    m_stage.SetImages(source, into, width, height);
    m_cycle.Start(m_nEffectMode);
    m_stage.FlattenWater();
    // Drawn as still water shows it, the first tick draws only where the
    // drops fell.
    if (!drawStill)
        m_effect.ForgetTarget();
    else if (source && into.row0 && !m_effect.DrawStill(source, into))
        DrawPicture(source, into, width);
    m_changed.assign(static_cast<size_t>(height), ripple::Span{0, width});
    return m_stage.HasWater();
}

void CWaterShow::MoveTarget(const ripple::Target& target)
{
    m_into = target;
    m_stage.SetImages(m_pSource, target, m_nWidth, m_nHeight);
    m_effect.MoveTarget(target);
}

void CWaterShow::MoveTarget(const ripple::Target& target, const ripple::Target& last, const ripple::Span* missing)
{
    m_into = target;
    m_stage.SetImages(m_pSource, target, m_nWidth, m_nHeight);
    if (m_stage.HasWater()) {
        m_effect.MoveTarget(target, last, missing);
        return;
    }
    ripple::CopySpans(last, target, missing);
    m_effect.MoveTarget(target);
}

void CWaterShow::BringOver()
{
    m_effect.BringOver();
}

bool CWaterShow::Tick()
{
    if (!m_stage.HasWater())
        return false;
    return Run(m_nWidth, m_nHeight);
}

bool CWaterShow::Tick(ShowHooks& hooks, int width, int height)
{
    m_stage.SetHooks(&hooks);
    const bool drawn = Run(width, height);
    m_stage.SetHooks(nullptr);
    return drawn;
}

bool CWaterShow::Run(int width, int height)
{
    m_effect.ClearDrawn();
    const auto start = std::chrono::steady_clock::now();
    const bool drawn = m_cycle.Tick(width, height, m_stage);
    // The whole tick counts, a front end's look at the frames included:
    // the pace is what the threads are for.
    if (m_bAutoThreads) {
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        m_effect.SetThreads(m_policy.Report(ms));
    }
    TakeChanged();
    return drawn;
}

void CWaterShow::TakeChanged()
{
    const ripple::Span* drawn = m_effect.Drawn();
    if (drawn)
        std::copy(drawn, drawn + m_nHeight, m_changed.begin());
    else
        std::fill(m_changed.begin(), m_changed.end(), ripple::Span());
}
