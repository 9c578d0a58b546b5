#include "ripple/RippleDrops.h"

#include "ripple/RippleMath.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace ripple {
namespace fast {

bool DropScratch::Allocate(int32_t width)
{
    Release();
    const size_t row = static_cast<size_t>(std::max(width, 1));
    rowIncrements = new (std::nothrow) int32_t[row];
    distanceIncrements = new (std::nothrow) int32_t[kMaxDistance + 1];
    ringStarts = new (std::nothrow) int64_t[kMaxDistance + 2];
    ringValues = new (std::nothrow) int32_t[kMaxDistance + 2];
    if (!rowIncrements || !distanceIncrements || !ringStarts || !ringValues) {
        Release();
        return false;
    }
    m_width = width;
    return true;
}

void DropScratch::Release()
{
    delete[] rowIncrements;
    delete[] distanceIncrements;
    delete[] ringStarts;
    delete[] ringValues;
    rowIncrements = nullptr;
    distanceIncrements = nullptr;
    ringStarts = nullptr;
    ringValues = nullptr;
    m_width = -1;
}

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

namespace {

bool IsEmpty(const DropBox& b)
{
    return b.left >= b.right || b.top >= b.bottom;
}

int64_t Square(int64_t v)
{
    return v * v;
}

// Adds `value` to the column offsets [from, to) from x of `row`, after
// intersecting with the box's columns.
void AddSpan(RipplePath path, int32_t* row, int64_t x, const DropBox& b, int64_t from, int64_t to, int32_t value)
{
    from = std::max(from, b.left);
    to = std::min(to, b.right);
    if (from < to)
        AddRun(path, row + (x + from), to - from, value);
}

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

DropPreparation PrepareCosineDrop(const FieldPair& f, DropScratch& scratch, int x, int y, int radius,
    int height, int page, CosineDropPlan& plan)
{
    if (!f.heights1)
        return DropPreparation::Empty;
    const DropBox b = ClipDrop(x, y, radius, f.width, f.height);
    if (IsEmpty(b))
        return DropPreparation::Empty;
    const int64_t r2 = Square(radius);
    const int64_t boxMax = std::max(Square(b.left), Square(b.right - 1))
        + std::max(Square(b.top), Square(b.bottom - 1));
    const int64_t limit = std::min(r2 - 1, boxMax);
    const float scale = CosineScale(radius);
    const int32_t maxDistance = CosineDistance(limit, scale);
    if (maxDistance < 0 || maxDistance > DropScratch::kMaxDistance)
        return DropPreparation::ReferenceOnly;

    int32_t* inc = scratch.distanceIncrements;
    for (int32_t d = 0; d <= maxDistance; ++d)
        inc[d] = CosineIncrement(d, height);
    int32_t rings = 0;
    scratch.ringStarts[rings] = 0;
    scratch.ringValues[rings++] = inc[0];
    for (int32_t d = 1; d <= maxDistance; ++d) {
        if (inc[d] != inc[d - 1]) {
            scratch.ringStarts[rings] = RingStart(d, limit, scale);
            scratch.ringValues[rings++] = inc[d];
        }
    }
    scratch.ringStarts[rings] = r2;

    plan.x = x;
    plan.y = y;
    plan.box = b;
    plan.rings = rings;
    plan.maxAbsX = std::max(-b.left, b.right - 1);
    plan.field = f.ForPage(page);
    plan.width = f.width;
    return DropPreparation::Ready;
}

void AddCosineDropRow(RipplePath path, const CosineDropPlan& plan, const DropScratch& scratch, int32_t row)
{
    const int64_t oy = static_cast<int64_t>(row) - plan.y;
    if (oy < plan.box.top || oy >= plan.box.bottom)
        return;
    const int64_t oy2 = oy * oy;
    int32_t* line = plan.field + static_cast<int64_t>(row) * plan.width;
    int64_t inner = CeilSqrt(scratch.ringStarts[0] - oy2);
    for (int32_t k = 0; k < plan.rings && inner <= plan.maxAbsX; ++k) {
        // |ox| in [inner, outer) lies in ring k on this row.
        const int64_t outer = CeilSqrt(scratch.ringStarts[k + 1] - oy2);
        if (inner < outer) {
            const int32_t v = scratch.ringValues[k];
            AddSpan(path, line, plan.x, plan.box, inner, outer, v);
            AddSpan(path, line, plan.x, plan.box, 1 - outer, 1 - std::max<int64_t>(inner, 1), v);
        }
        inner = outer;
    }
}

void AddCosineDrop(RipplePath path, const FieldPair& f, DropScratch& scratch, int x, int y, int radius,
    int height, int page)
{
    CosineDropPlan plan;
    switch (PrepareCosineDrop(f, scratch, x, y, radius, height, page, plan)) {
    case DropPreparation::Empty:
        return;
    case DropPreparation::ReferenceOnly:
        reference::AddCosineDrop(f, x, y, radius, height, page);
        return;
    case DropPreparation::Ready:
        break;
    }
    for (int64_t oy = plan.box.top; oy < plan.box.bottom; ++oy)
        AddCosineDropRow(path, plan, scratch, static_cast<int32_t>(y + oy));
}

void AddConeDrop(RipplePath path, const FieldPair& f, DropScratch& scratch, int x, int y, int radius,
    int height, int page)
{
    (void)path;
    if (!f.heights1)
        return;
    const DropBox b = ClipDrop(x, y, radius, f.width, f.height);
    const int32_t q = height / 64;
    // (R - root) * 0 is a signed zero: nothing changes.
    if (IsEmpty(b) || q == 0)
        return;
    const int64_t r2 = Square(radius);
    const int64_t maxAbsX = std::max(-b.left, b.right - 1);
    const int64_t minAbsX = (b.left <= 0 && b.right > 0) ? 0 : std::min(std::abs(b.left), std::abs(b.right - 1));
    const int64_t maxAbsY = std::max(-b.top, b.bottom - 1);
    const int64_t minAbsY = (b.top <= 0 && b.bottom > 0) ? 0 : std::min(std::abs(b.top), std::abs(b.bottom - 1));
    int32_t* field = f.ForPage(page);
    // Indexed by |ox| - minAbsX: the box is at most W - 2 columns wide, but a
    // centre outside the field puts it far from ox = 0.
    int32_t* inc = scratch.rowIncrements;

    for (int64_t ay = minAbsY; ay <= maxAbsY; ++ay) {
        const int64_t ay2 = ay * ay;
        const int64_t extent = std::min(CeilSqrt(r2 - ay2), maxAbsX + 1);
        if (extent <= minAbsX)
            continue;
        for (int64_t ax = minAbsX; ax < extent; ++ax)
            inc[ax - minAbsX] = ConeIncrement(ax * ax + ay2, radius, q);
        for (int side = 0; side < 2; ++side) {
            const int64_t oy = side == 0 ? ay : -ay;
            if (oy < b.top || oy >= b.bottom || (side == 1 && ay == 0))
                continue;
            int32_t* row = field + (y + oy) * f.width;
            const int64_t right = std::min(b.right, extent);
            for (int64_t ox = std::max<int64_t>(b.left, 0); ox < right; ++ox)
                row[x + ox] = WrapAdd(row[x + ox], inc[ox - minAbsX]);
            const int64_t left = std::max(b.left, 1 - extent);
            for (int64_t ox = std::min<int64_t>(b.right, 0); ox-- > left;)
                row[x + ox] = WrapAdd(row[x + ox], inc[-ox - minAbsX]);
        }
    }
}

} // namespace fast
} // namespace ripple
