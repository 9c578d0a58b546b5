#include "ripple/EffectEngine.h"

#include "ripple/RippleMath.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>
#include <thread>

using ripple::RipplePath;

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
    , m_heights1(nullptr)
    , m_heights2(nullptr)
    , m_dropPending(false)
    , m_path(ripple::BestPath())
    , m_threads(ProcessorCount())
    , m_strip(0)
    , m_asideRows(0)
{
}

CEffectEngine::~CEffectEngine()
{
    Release();
}

void CEffectEngine::Release()
{
    delete[] m_heights1;
    delete[] m_heights2;
    m_heights1 = nullptr;
    m_heights2 = nullptr;
    m_scratch.Release();
    m_aside.reset();
    m_asideRows = 0;
    m_dropPending = false;
    m_width = 0;
    m_height = 0;
}

bool CEffectEngine::Create(int width, int height)
{
    m_page = 0;
    if (m_heights1 && width == m_width && height == m_height) {
        // Flat water again at the same size: the fields are kept, so that a
        // cycle's start neither frees nor asks for two screen-sized blocks
        // (which a fragmented 32-bit address space may refuse).
        m_dropPending = false;
        const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
        std::fill(m_heights1, m_heights1 + count, 0);
        std::fill(m_heights2, m_heights2 + count, 0);
        return true;
    }
    Release();
    if (width < 0 || height < 0)
        return false;
    // Indices and the refraction's bounds test are 32-bit: every byte offset
    // of a field must fit in an int.
    if (width != 0 && static_cast<int64_t>(height) > INT_MAX / 4 / width)
        return false;
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (count == 0)
        return true;
    m_heights1 = new (std::nothrow) int32_t[count]();
    m_heights2 = new (std::nothrow) int32_t[count]();
    m_width = width;
    m_height = height;
    if (!m_heights1 || !m_heights2 || !m_scratch.Allocate(width) || !ReserveAside(GetThreads())) {
        Release();
        return false;
    }
    return true;
}

ripple::FieldPair CEffectEngine::Fields() const
{
    ripple::FieldPair f;
    f.width = m_width;
    f.height = m_height;
    f.heights1 = m_heights1;
    f.heights2 = m_heights2;
    return f;
}

int32_t* CEffectEngine::GetHeights(int field)
{
    AddPendingDrop();
    return field == 1 ? m_heights1 : m_heights2;
}

const int32_t* CEffectEngine::GetHeights(int field) const
{
    AddPendingDrop();
    return field == 1 ? m_heights1 : m_heights2;
}

void CEffectEngine::AddPendingDrop() const
{
    if (!m_dropPending)
        return;
    m_dropPending = false;
    const ripple::fast::CosineDropPlan& p = m_pendingDrop;
    for (int64_t oy = p.box.top; oy < p.box.bottom; ++oy)
        ripple::fast::AddCosineDropRow(m_path, p, m_scratch, static_cast<int32_t>(p.y + oy));
}

void CEffectEngine::AddPendingDropRow(const void* engine, int32_t row)
{
    const CEffectEngine* e = static_cast<const CEffectEngine*>(engine);
    ripple::fast::AddCosineDropRow(e->m_path, e->m_pendingDrop, e->m_scratch, row);
}

void CEffectEngine::Step(const uint32_t* source, uint32_t* target)
{
    if (!m_heights1)
        return;
    const ripple::FieldPair f = Fields();
    const size_t bytes = static_cast<size_t>(m_width) * static_cast<size_t>(m_height) * 4;
    const uintptr_t s = reinterpret_cast<uintptr_t>(source);
    const uintptr_t t = reinterpret_cast<uintptr_t>(target);
    if (source && target && s < t + bytes && t < s + bytes) {
        // Drawing into the picture being read: the result depends on the
        // visiting order, which only the reference keeps.
        AddPendingDrop();
        ripple::reference::Refract(f, source, target);
        StepFast(nullptr, nullptr, m_page, m_damping, nullptr);
    } else if (m_dropPending) {
        ripple::fast::RowAdder rows;
        rows.add = &CEffectEngine::AddPendingDropRow;
        rows.context = this;
        StepFast(source, target, m_page, m_damping, &rows);
        m_dropPending = false;
    } else {
        StepFast(source, target, m_page, m_damping, nullptr);
    }
    m_page = 1 - m_page;
}

void CEffectEngine::AddCosineDrop(int x, int y, int radius, int height, int page)
{
    AddPendingDrop();
    if (m_path == RipplePath::Reference) {
        ripple::reference::AddCosineDrop(Fields(), x, y, radius, height, page);
        return;
    }
    if ((page == 0) != (m_page == 0)) {
        ripple::fast::AddCosineDrop(m_path, Fields(), m_scratch, x, y, radius, height, page);
        return;
    }
    switch (ripple::fast::PrepareCosineDrop(Fields(), m_scratch, x, y, radius, height, page, m_pendingDrop)) {
    case ripple::fast::DropPreparation::Empty:
        return;
    case ripple::fast::DropPreparation::ReferenceOnly:
        ripple::reference::AddCosineDrop(Fields(), x, y, radius, height, page);
        return;
    case ripple::fast::DropPreparation::Ready:
        m_dropPending = true;
        return;
    }
}

void CEffectEngine::AddConeDrop(int x, int y, int radius, int height, int page)
{
    AddPendingDrop();
    if (m_path == RipplePath::Reference)
        ripple::reference::AddConeDrop(Fields(), x, y, radius, height, page);
    else
        ripple::fast::AddConeDrop(m_path, Fields(), m_scratch, x, y, radius, height, page);
}

void CEffectEngine::Propagate(int page, int damping)
{
    AddPendingDrop();
    if (m_heights1)
        StepFast(nullptr, nullptr, page, damping, nullptr);
}

uint32_t CEffectEngine::ShadeColor(uint32_t color, int amount)
{
    return ripple::ShadeColor(color, amount);
}

bool CEffectEngine::SetPath(RipplePath path)
{
    if (!ripple::IsPathSupported(path))
        return false;
    AddPendingDrop();
    m_path = path;
    return true;
}

void CEffectEngine::SetThreads(int threads)
{
    m_threads = threads > 0 ? threads : ProcessorCount();
    // Without the memory for the set-aside rows, fewer bands.
    if (m_heights1)
        ReserveAside(GetThreads());
}

int CEffectEngine::GetThreads() const
{
    return m_threads;
}

void CEffectEngine::SetStripWidth(int columns)
{
    m_strip = columns > 0 ? columns : 0;
}

bool CEffectEngine::ReserveAside(int bands)
{
    const int rows = std::max(0, std::min(bands, m_height) - 1);
    if (rows <= m_asideRows)
        return true;
    const size_t count = static_cast<size_t>(rows) * static_cast<size_t>(std::max(m_width, 1));
    int32_t* aside = new (std::nothrow) int32_t[count];
    if (!aside)
        return false;
    m_aside.reset(aside);
    m_asideRows = rows;
    return true;
}

int CEffectEngine::BandCount() const
{
    if (!ripple::fast::IsBanded(m_path))
        return 1;
    return std::max(1, std::min({ GetThreads(), m_height - 2, m_asideRows + 1 }));
}

namespace {

struct BandJob {
    ripple::RipplePath path;
    ripple::FieldPair fields;
    const uint32_t* source;
    uint32_t* target;
    int page;
    int damping;
    const ripple::fast::RowAdder* rows;
    int bands;
    int strip;
    int32_t* aside;

    int32_t Begin(int band) const
    {
        return 1 + static_cast<int32_t>(static_cast<int64_t>(fields.height - 2) * band / bands);
    }
};

} // namespace

void CEffectEngine::StepBandPart(void* context, int band)
{
    const BandJob& job = *static_cast<const BandJob*>(context);
    ripple::fast::Band b;
    b.begin = job.Begin(band);
    b.end = job.Begin(band + 1);
    b.strip = job.strip;
    if (job.page == 0 && band > 0)
        b.aside = job.aside + static_cast<size_t>(band - 1) * static_cast<size_t>(job.fields.width);
    ripple::fast::StepBand(job.path, job.fields, job.source, job.target, job.page, job.damping, job.rows, b);
}

void CEffectEngine::StepFast(const uint32_t* source, uint32_t* target, int page, int damping,
    const ripple::fast::RowAdder* rows)
{
    const int bands = BandCount();
    if (bands <= 1 && m_strip == 0) {
        ripple::fast::Step(m_path, Fields(), source, target, page, damping, rows);
        return;
    }
    BandJob job;
    job.path = m_path;
    job.fields = Fields();
    job.source = source;
    job.target = target;
    job.page = page;
    job.damping = damping;
    job.rows = rows;
    job.bands = bands;
    job.strip = m_strip;
    job.aside = m_aside.get();
    if (rows && page == 0 && m_height > 2) {
        for (int band = 0; band < bands; ++band)
            rows->Add(job.Begin(band));
    }
    if (!m_workers.Run(bands, &CEffectEngine::StepBandPart, &job)) {
        // No threads to be had: the same bands one after the other.
        for (int band = 0; band < bands; ++band)
            StepBandPart(&job, band);
    }
    // Fields of one or two columns have no interior values to put back.
    if (page == 0 && m_width > 2) {
        int32_t* field = job.fields.ForPage(page);
        for (int band = 1; band < bands; ++band) {
            const int32_t* row = job.aside + static_cast<size_t>(band - 1) * static_cast<size_t>(m_width);
            std::copy(row + 1, row + m_width - 1, field + static_cast<size_t>(job.Begin(band)) * m_width + 1);
        }
    }
}
