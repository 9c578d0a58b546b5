#include "ripple/RippleDrops.h"

#include "ripple/RippleMath.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace ripple {
namespace fast {

int64_t CeilSqrt(int64_t t)
{
    if (t <= 0)
        return 0;
    const uint64_t ut = static_cast<uint64_t>(t);
    uint64_t u = static_cast<uint64_t>(std::sqrt(static_cast<double>(t)));
    while (u * u < ut)
        ++u;
    while (u > 0 && (u - 1) * (u - 1) >= ut)
        --u;
    return static_cast<int64_t>(u);
}

bool SpanBuffer::Allocate(int32_t width)
{
    m_spans.reset(new (std::nothrow) DropSpan[RowDrop::kMaxSpans]);
    m_rings.reset(new (std::nothrow) DropSpan[RowDrop::kMaxSpans / 2]);
    m_values.reset(new (std::nothrow) int32_t[static_cast<size_t>(std::max(width, 1))]);
    return m_spans && m_rings && m_values;
}

namespace {

int64_t Square(int64_t v)
{
    return v * v;
}

// The most cone increments a table keeps (4 MB).
constexpr int64_t kMaxTable = int64_t(1) << 20;

// Smallest d2 in [0, limit] whose distance is at least k; CosineDistance(limit)
// must be at least k.
int64_t RingStart(int32_t k, int64_t limit, float scale)
{
    int64_t lo = 0, hi = limit;
    while (lo < hi) {
        const int64_t mid = lo + (hi - lo) / 2;
        if (CosineDistance(mid, scale) >= k)
            hi = mid;
        else
            lo = mid + 1;
    }
    return lo;
}

} // namespace

bool ConeTable::Prepare(int32_t radius, int32_t q)
{
    if (radius != m_radius || q != m_q) {
        // Worth a table only when the same cone comes again.
        m_radius = radius;
        m_q = q;
        m_built = false;
        return false;
    }
    if (m_built)
        return true;
    // A quarter disc holds about 0.79 r^2 increments.
    if (radius <= 0 || Square(radius) > kMaxTable)
        return false;
    const int64_t r2 = Square(radius);
    try {
        m_starts.assign(static_cast<size_t>(radius) + 1, 0);
        for (int64_t ay = 0; ay < radius; ++ay)
            m_starts[ay + 1] = m_starts[ay] + CeilSqrt(r2 - ay * ay);
        m_values.resize(static_cast<size_t>(m_starts[radius]));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (int64_t ay = 0; ay < radius; ++ay) {
        int32_t* row = m_values.data() + m_starts[ay];
        const int64_t count = m_starts[ay + 1] - m_starts[ay];
        for (int64_t ax = 0; ax < count; ++ax)
            row[ax] = ConeIncrement(ax * ax + ay * ay, radius, q);
    }
    m_built = true;
    return true;
}

const int32_t* ConeTable::Row(int64_t ay, int64_t& count) const
{
    count = m_starts[ay + 1] - m_starts[ay];
    return m_values.data() + m_starts[ay];
}

RowDrop::RowDrop()
    : m_ringStarts(kMaxDistance + 2)
    , m_ringValues(kMaxDistance + 2)
{
}

DropPreparation RowDrop::PrepareCosine(int32_t width, int32_t height, int x, int y, int radius, int dropHeight)
{
    // The show drops the same disc at every step of its drop phase: its
    // rings (a cosine for every distance) are found once.
    const int32_t key[6] = { width, height, x, y, radius, dropHeight };
    if (m_keyed && !m_cone && std::equal(key, key + 6, m_key))
        return DropPreparation::Ready;
    m_keyed = false;
    const DropBox b = ClipDrop(x, y, radius, width, height);
    if (b.left >= b.right || b.top >= b.bottom)
        return DropPreparation::Empty;
    const int64_t r2 = Square(radius);
    const int64_t boxMax = std::max(Square(b.left), Square(b.right - 1))
        + std::max(Square(b.top), Square(b.bottom - 1));
    const int64_t limit = std::min(r2 - 1, boxMax);
    const float scale = CosineScale(radius);
    const int32_t maxDistance = CosineDistance(limit, scale);
    if (maxDistance < 0 || maxDistance > kMaxDistance)
        return DropPreparation::ReferenceOnly;

    int32_t rings = 0;
    int32_t previous = CosineIncrement(0, dropHeight);
    m_ringStarts[rings] = 0;
    m_ringValues[rings++] = previous;
    for (int32_t d = 1; d <= maxDistance; ++d) {
        const int32_t inc = CosineIncrement(d, dropHeight);
        if (inc != previous) {
            m_ringStarts[rings] = RingStart(d, limit, scale);
            m_ringValues[rings++] = inc;
            previous = inc;
        }
    }
    m_ringStarts[rings] = r2;
    m_rings = rings;
    m_cone = false;
    std::copy(key, key + 6, m_key);
    m_keyed = true;
    m_x = x;
    m_y = y;
    m_box = b;
    m_top = static_cast<int32_t>(y + b.top);
    m_bottom = static_cast<int32_t>(y + b.bottom);
    m_maxAbsX = std::max(-b.left, b.right - 1);
    return DropPreparation::Ready;
}

DropPreparation RowDrop::PrepareCone(int32_t width, int32_t height, int x, int y, int radius, int dropHeight)
{
    const DropBox b = ClipDrop(x, y, radius, width, height);
    const int32_t q = dropHeight / 64;
    // (R - root) * 0 is a signed zero: nothing changes.
    if (b.left >= b.right || b.top >= b.bottom || q == 0)
        return DropPreparation::Empty;
    m_cone = true;
    m_x = x;
    m_y = y;
    m_box = b;
    m_top = static_cast<int32_t>(y + b.top);
    m_bottom = static_cast<int32_t>(y + b.bottom);
    m_radius = radius;
    m_q = q;
    m_tabled = m_table.Prepare(radius, q);
    return DropPreparation::Ready;
}

int RowDrop::Spans(int32_t row, SpanBuffer& buffer) const
{
    if (row < m_top || row >= m_bottom)
        return 0;
    const int64_t oy = static_cast<int64_t>(row) - m_y;
    return m_cone ? ConeSpans(oy, buffer) : CosineSpans(oy, buffer);
}

int RowDrop::CosineSpans(int64_t oy, SpanBuffer& buffer) const
{
    // The rings crossing this row, as ranges [first, end) of |ox|.
    const int64_t oy2 = oy * oy;
    DropSpan* rings = buffer.Rings();
    int count = 0;
    int64_t inner = CeilSqrt(m_ringStarts[0] - oy2);
    for (int32_t k = 0; k < m_rings && inner <= m_maxAbsX; ++k) {
        const int64_t outer = std::min(CeilSqrt(m_ringStarts[k + 1] - oy2), m_maxAbsX + 1);
        if (inner < outer) {
            rings[count].first = static_cast<int32_t>(inner);
            rings[count].end = static_cast<int32_t>(outer);
            rings[count].value = m_ringValues[k];
            ++count;
        }
        inner = outer;
    }
    // Left of the centre from the outer rings in, then right of it outwards;
    // each clipped to the box.
    DropSpan* spans = buffer.Spans();
    int n = 0;
    auto emit = [&](int64_t from, int64_t to, int32_t value) {
        from = std::max(from, m_box.left);
        to = std::min(to, m_box.right);
        if (from >= to)
            return;
        // The two halves of a ring meet at the centre.
        if (n > 0 && spans[n - 1].end == m_x + from && spans[n - 1].value == value) {
            spans[n - 1].end = static_cast<int32_t>(m_x + to);
            return;
        }
        spans[n].first = static_cast<int32_t>(m_x + from);
        spans[n].end = static_cast<int32_t>(m_x + to);
        spans[n].value = value;
        spans[n].values = nullptr;
        ++n;
    };
    for (int k = count - 1; k >= 0; --k)
        emit(1 - int64_t(rings[k].end), 1 - std::max<int64_t>(rings[k].first, 1), rings[k].value);
    for (int k = 0; k < count; ++k)
        emit(rings[k].first, rings[k].end, rings[k].value);
    return n;
}

int RowDrop::ConeSpans(int64_t oy, SpanBuffer& buffer) const
{
    const int64_t ay = oy < 0 ? -oy : oy;
    const int64_t rest = Square(m_radius) - ay * ay;
    if (rest <= 0)
        return 0;
    const int64_t extent = CeilSqrt(rest);
    const int64_t from = std::max(m_box.left, 1 - extent);
    const int64_t to = std::min(m_box.right, extent);
    if (from >= to)
        return 0;
    int32_t* values = buffer.Values();
    if (m_tabled) {
        int64_t count = 0;
        const int32_t* row = m_table.Row(ay, count);
        for (int64_t ox = from; ox < to; ++ox)
            values[ox - from] = row[ox < 0 ? -ox : ox];
    } else {
        for (int64_t ox = from; ox < to; ++ox)
            values[ox - from] = ConeIncrement(ox * ox + ay * ay, m_radius, m_q);
    }
    DropSpan& span = buffer.Spans()[0];
    span.first = static_cast<int32_t>(m_x + from);
    span.end = static_cast<int32_t>(m_x + to);
    span.value = 0;
    span.values = values;
    return 1;
}

} // namespace fast
} // namespace ripple
