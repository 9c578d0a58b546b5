#include "ripple/EffectEngine.h"

#include "ripple/RippleMath.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <thread>

using ripple::RipplePath;
using ripple::Target;
using ripple::fast::DropPreparation;

namespace {

// Asked once per engine: every step needs the count, and the system may
// answer it by reading a file.
int ProcessorCount()
{
    const unsigned processors = std::thread::hardware_concurrency();
    return processors > 0 ? static_cast<int>(std::min(processors, 64u)) : 1;
}

} // namespace

CEffectEngine::CEffectEngine()
    : m_width(0)
    , m_height(0)
    , m_page(0)
    , m_damping(10)
    , m_next(0)
    , m_pending(false)
    , m_path(ripple::BestPath())
    , m_threads(ProcessorCount())
    , m_strip(0)
{
    m_water.SetKernels(ripple::fast::KernelsFor(m_path));
}

CEffectEngine::~CEffectEngine()
{
    Release();
}

void CEffectEngine::Release()
{
    m_water.Release();
    m_pending = false;
    m_waiting = Waiting();
    m_lag.active = false;
    m_width = 0;
    m_height = 0;
}

bool CEffectEngine::Create(int width, int height)
{
    CatchUp();
    m_page = 0;
    m_pending = false;
    if (m_water.Allocated() && width == m_width && height == m_height) {
        // Flat water again at the same size: the fields are kept, so that a
        // cycle's start neither frees nor asks for two screen-sized blocks
        // (which a fragmented 32-bit address space may refuse).
        m_water.Flatten();
        return true;
    }
    Release();
    if (width < 0 || height < 0)
        return false;
    // Indices and the refraction's bounds test are 32-bit: every byte offset
    // of a field must fit in an int.
    if (width != 0 && static_cast<int64_t>(height) > INT_MAX / 4 / width)
        return false;
    if (static_cast<int64_t>(width) * height == 0)
        return true;
    const int chunk = m_strip > 0 ? m_strip : ripple::Water::DefaultChunk(width);
    if (!m_water.Allocate(width, height, chunk))
        return false;
    m_width = width;
    m_height = height;
    return true;
}

ripple::FieldPair CEffectEngine::Fields()
{
    ripple::FieldPair f;
    f.width = m_width;
    f.height = m_height;
    f.heights1 = m_water.Cells(1);
    f.heights2 = m_water.Cells(2);
    return f;
}

void CEffectEngine::RunStep(int page, const ripple::fast::RowDrop* drop, const uint32_t* source,
    const Target& target)
{
    HandOver(source, target);
    m_water.Step(page, m_damping, drop, source, target, m_threads, m_workers);
}

void CEffectEngine::HandOver(const uint32_t* source, const Target& target)
{
    if (!m_lag.active)
        return;
    // The kernels read the last frame's pixels at a fixed distance.
    const ptrdiff_t bytes = reinterpret_cast<const char*>(m_lag.last.row0) - reinterpret_cast<const char*>(target.row0);
    if (!source || !(target == m_lag.target) || !m_water.Draws() || m_lag.last.stride != target.stride || bytes % 4) {
        BringOver();
        return;
    }
    m_water.Lag(bytes / 4, m_lag.stale.data());
    m_lag.active = false;
}

void CEffectEngine::CatchUp()
{
    if (!m_waiting.active)
        return;
    m_waiting.active = false;
    RunStep(0, m_waiting.drop ? &m_drops[1 - m_next] : nullptr, m_waiting.source, m_waiting.target);
}

void CEffectEngine::AddPendingDrop()
{
    if (!m_pending)
        return;
    m_pending = false;
    m_water.AddDrop(m_page == 0 ? 1 : 2, m_drops[m_next]);
}

void CEffectEngine::Settle(bool expose)
{
    CatchUp();
    AddPendingDrop();
    if (expose)
        m_water.OpenForWriting();
    else
        m_water.Materialize();
}

int32_t* CEffectEngine::GetHeights(int field)
{
    if (!m_water.Allocated())
        return nullptr;
    Settle(true);
    return m_water.Cells(field);
}

const int32_t* CEffectEngine::ReadHeights(int field)
{
    if (!m_water.Allocated())
        return nullptr;
    Settle(false);
    return m_water.Cells(field);
}

void CEffectEngine::ForgetTarget()
{
    m_water.ForgetPicture();
}

bool CEffectEngine::DrawStill(const uint32_t* source, const ripple::Target& target)
{
    if (!m_water.Allocated())
        return false;
    CatchUp();
    m_lag.active = false;
    m_water.DrawStill(source, target);
    return true;
}

void CEffectEngine::MoveTarget(const Target& target)
{
    CatchUp();
    BringOver();
    m_water.MovePicture(target);
}

void CEffectEngine::MoveTarget(const Target& target, const Target& last, const ripple::Span* stale)
{
    CatchUp();
    BringOver();
    m_water.MovePicture(last, target);
    if (!m_water.Allocated() || !stale)
        return;
    m_lag.active = true;
    m_lag.target = target;
    m_lag.last = last;
    m_lag.stale.assign(stale, stale + m_height);
}

void CEffectEngine::BringOver()
{
    if (!m_lag.active)
        return;
    m_lag.active = false;
    ripple::CopySpans(m_lag.last, m_lag.target, m_lag.stale.data());
}

const ripple::Span* CEffectEngine::Drawn()
{
    if (!m_water.Allocated())
        return nullptr;
    CatchUp();
    return m_water.Drawn();
}

void CEffectEngine::ClearDrawn()
{
    CatchUp();
    m_water.ClearDrawn();
}

bool CEffectEngine::Overlap(const uint32_t* source, const Target& target) const
{
    const ptrdiff_t row = static_cast<ptrdiff_t>(m_width) * 4;
    // Rows of the target over each other: the order of writing decides.
    if (m_height > 1 && std::abs(target.stride) < row)
        return true;
    const char* t = reinterpret_cast<const char*>(target.row0);
    const ptrdiff_t span = static_cast<ptrdiff_t>(m_height - 1) * target.stride;
    const char* low = t + std::min<ptrdiff_t>(0, span);
    const char* high = t + std::max<ptrdiff_t>(0, span) + row;
    const char* s = reinterpret_cast<const char*>(source);
    const uintptr_t sl = reinterpret_cast<uintptr_t>(s), sh = sl + static_cast<uintptr_t>(row) * m_height;
    return sl < reinterpret_cast<uintptr_t>(high) && reinterpret_cast<uintptr_t>(low) < sh;
}

void CEffectEngine::Step(const uint32_t* source, uint32_t* target)
{
    Step(source, Target::BottomUp(target, m_width, m_height));
}

void CEffectEngine::Step(const uint32_t* source, const Target& target)
{
    if (!m_water.Allocated())
        return;
    const bool pictures = source && target.row0;
    if (m_waiting.active && m_page == 1 && pictures && source == m_waiting.source && target == m_waiting.target) {
        m_waiting.active = false;
        HandOver(source, target);
        m_water.StepPair(m_damping, m_waiting.drop ? &m_drops[1 - m_next] : nullptr,
            m_pending ? &m_drops[m_next] : nullptr, source, target, m_threads, m_workers);
        m_pending = false;
        m_page = 0;
        return;
    }
    CatchUp();
    if (m_path == RipplePath::Reference || (pictures && Overlap(source, target))) {
        // The reference's order of visiting, which decides when the target
        // is the picture being read.
        Settle(true);
        BringOver();
        if (pictures) {
            ripple::reference::Refract(Fields(), source, target);
            m_water.ForgetPicture();
            m_water.MarkDrawn();
        }
        ripple::reference::Propagate(Fields(), m_page, m_damping);
    } else {
        RunStep(m_page, m_pending ? &m_drops[m_next] : nullptr, pictures ? source : nullptr, target);
        m_pending = false;
    }
    m_page = 1 - m_page;
}

void CEffectEngine::StepUnseen(const uint32_t* source, const Target& target)
{
    if (!m_water.Allocated())
        return;
    CatchUp();
    if (m_page != 0 || !source || !target.row0 || m_path == RipplePath::Reference || Overlap(source, target)) {
        Step(source, target);
        return;
    }
    m_waiting.active = true;
    m_waiting.drop = m_pending;
    m_waiting.source = source;
    m_waiting.target = target;
    // The waiting step's drop keeps its slot; the next one gets the other.
    m_next = 1 - m_next;
    m_pending = false;
    m_page = 1;
}

void CEffectEngine::AddDrop(bool cone, int x, int y, int radius, int height, int page)
{
    if (!m_water.Allocated())
        return;
    const int field = page == 0 ? 1 : 2;
    if (m_path == RipplePath::Reference) {
        Settle(true);
        if (cone)
            ripple::reference::AddConeDrop(Fields(), x, y, radius, height, page);
        else
            ripple::reference::AddCosineDrop(Fields(), x, y, radius, height, page);
        return;
    }
    // A drop on the field the next step writes waits for that step, which
    // adds it row by row as it goes; one on the other field goes in now.
    const bool next = (page == 0) == (m_page == 0);
    if (!next || m_pending)
        CatchUp();
    if (next)
        AddPendingDrop();
    ripple::fast::RowDrop& drop = m_drops[next ? m_next : 2];
    const DropPreparation prepared = cone ? drop.PrepareCone(m_width, m_height, x, y, radius, height)
                                          : drop.PrepareCosine(m_width, m_height, x, y, radius, height);
    switch (prepared) {
    case DropPreparation::Empty:
        return;
    case DropPreparation::ReferenceOnly:
        Settle(true);
        ripple::reference::AddCosineDrop(Fields(), x, y, radius, height, page);
        return;
    case DropPreparation::Ready:
        if (next)
            m_pending = true;
        else
            m_water.AddDrop(field, drop);
        return;
    }
}

void CEffectEngine::AddCosineDrop(int x, int y, int radius, int height, int page)
{
    AddDrop(false, x, y, radius, height, page);
}

void CEffectEngine::AddConeDrop(int x, int y, int radius, int height, int page)
{
    AddDrop(true, x, y, radius, height, page);
}

void CEffectEngine::Propagate(int page, int damping)
{
    if (!m_water.Allocated())
        return;
    if (m_path == RipplePath::Reference) {
        Settle(true);
        ripple::reference::Propagate(Fields(), page, damping);
        return;
    }
    CatchUp();
    AddPendingDrop();
    m_water.Step(page, damping, nullptr, nullptr, Target(), m_threads, m_workers);
}

uint32_t CEffectEngine::ShadeColor(uint32_t color, int amount)
{
    return ripple::ShadeColor(color, amount);
}

bool CEffectEngine::SetPath(RipplePath path)
{
    if (!ripple::IsPathSupported(path))
        return false;
    CatchUp();
    if (path == RipplePath::Reference && m_water.Allocated())
        Settle(true);
    m_path = path;
    m_water.SetKernels(ripple::fast::KernelsFor(m_path));
    return true;
}

void CEffectEngine::SetThreads(int threads)
{
    m_threads = threads > 0 ? std::min(threads, ripple::Water::kMaxBands) : ProcessorCount();
}

int CEffectEngine::GetThreads() const
{
    return m_threads;
}

void CEffectEngine::SetStripWidth(int columns)
{
    CatchUp();
    m_strip = columns > 0 ? columns : 0;
    if (!m_water.SetChunkWidth(m_strip > 0 ? m_strip : ripple::Water::DefaultChunk(m_width)) && !m_water.Allocated())
        Release();
}
