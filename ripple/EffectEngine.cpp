#include "ripple/EffectEngine.h"

#include "ripple/RippleMath.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>

using ripple::RipplePath;

CEffectEngine::CEffectEngine()
    : m_width(0)
    , m_height(0)
    , m_page(0)
    , m_damping(10)
    , m_heights1(nullptr)
    , m_heights2(nullptr)
    , m_dropPending(false)
    , m_path(ripple::BestPath())
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
    m_dropPending = false;
    m_width = 0;
    m_height = 0;
}

bool CEffectEngine::Create(int width, int height)
{
    Release();
    m_page = 0;
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
    if (!m_heights1 || !m_heights2 || !m_scratch.Allocate(width)) {
        Release();
        return false;
    }
    m_width = width;
    m_height = height;
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
        ripple::fast::Step(m_path, f, nullptr, nullptr, m_page, m_damping);
    } else if (m_dropPending) {
        ripple::fast::RowAdder rows;
        rows.add = &CEffectEngine::AddPendingDropRow;
        rows.context = this;
        ripple::fast::Step(m_path, f, source, target, m_page, m_damping, &rows);
        m_dropPending = false;
    } else {
        ripple::fast::Step(m_path, f, source, target, m_page, m_damping);
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
        ripple::fast::Step(m_path, Fields(), nullptr, nullptr, page, damping);
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
