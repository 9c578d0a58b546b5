// Fast drops with the reference's results bit for bit.
//
// Cosine drop: the increment depends only on the integer distance d, and d
// never decreases as d2 grows, so the disc splits into rings of equal
// increment. A table of increments per d (at most 1025 entries) finds the
// ring edges in d; a binary search over d2, evaluating the reference's own
// formula, turns each edge into the exact first d2 of its ring; and on each
// row an exact integer square root turns ring edges into column runs, which
// are added as constant runs. At the show's sizes the increment takes one or
// two values, so a drop is a few runs per row.
//
// A cosine drop can also be prepared once and added row by row, which lets a
// step add it to each row just before it needs that row instead of making a
// pass of its own over the field.
//
// Cone drop: the increment depends on d2 only, so each row's increments are
// computed once for |ox| and used for both halves of the row and for the rows
// at +oy and -oy.
#pragma once

#include "ripple/RippleKernels.h"
#include "ripple/RippleMath.h"
#include "ripple/RippleReference.h"

#include <cstdint>

namespace ripple {
namespace fast {

// Buffers the fast drops work in, sized once for a field width.
class DropScratch {
public:
    static constexpr int kMaxDistance = 1024;

    bool Allocate(int32_t width);
    void Release();

    int32_t* rowIncrements = nullptr;   // one per |ox|
    int32_t* distanceIncrements = nullptr; // one per d
    int64_t* ringStarts = nullptr;      // first d2 of each ring
    int32_t* ringValues = nullptr;      // increment of each ring

    DropScratch() = default;
    DropScratch(const DropScratch&) = delete;
    DropScratch& operator=(const DropScratch&) = delete;
    ~DropScratch() { Release(); }

private:
    int32_t m_width = -1;
};

// A cosine drop whose rings are in a DropScratch, ready to be added row by row.
struct CosineDropPlan {
    int32_t x = 0, y = 0;
    DropBox box = {};
    int32_t rings = 0;
    int64_t maxAbsX = 0;
    int32_t* field = nullptr;
    int32_t width = 0;
};

enum class DropPreparation { Empty, Ready, ReferenceOnly };

// Ready: `plan` and the scratch's rings describe the drop. Empty: it changes
// nothing. ReferenceOnly: its distances exceed the table; only the plain
// computation adds it.
DropPreparation PrepareCosineDrop(const FieldPair& f, DropScratch& scratch, int x, int y, int radius,
    int height, int page, CosineDropPlan& plan);
// Adds the prepared drop's part of memory row `row` (nothing outside its box).
void AddCosineDropRow(RipplePath path, const CosineDropPlan& plan, const DropScratch& scratch, int32_t row);

void AddCosineDrop(RipplePath path, const FieldPair& f, DropScratch& scratch, int x, int y, int radius,
    int height, int page);
void AddConeDrop(RipplePath path, const FieldPair& f, DropScratch& scratch, int x, int y, int radius,
    int height, int page);

// Smallest u >= 0 with u * u >= t (0 for t <= 0); t below 2^62.
int64_t CeilSqrt(int64_t t);

} // namespace fast
} // namespace ripple
