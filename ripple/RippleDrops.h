// Drops prepared to be added row by row, with the reference's results bit
// for bit. A row of a drop is a few spans of columns: the engine adds a span
// whose increment is one value to a quiet stretch of water by changing that
// stretch's value alone, and adds a row just before a step first reads it.
//
// Cosine drop: the increment depends only on the integer distance d, and d
// never decreases as d2 grows, so the disc splits into rings of equal
// increment. A table of increments per d (at most 1025 entries) finds the
// ring edges in d; a binary search over d2, evaluating the reference's own
// formula, turns each edge into the exact first d2 of its ring; and on each
// row an exact integer square root turns ring edges into column spans. At
// the show's sizes the increment takes one or two values, so a row is a few
// spans.
//
// Cone drop: the increment depends on d2 only. A row is one span of
// increments that vary column by column; those of the show's radius are kept
// in a table of a quarter disc, since the show drops the same cone at every
// step of its drop phase.
#pragma once

#include "ripple/RippleMath.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ripple {
namespace fast {

// Columns [first, end) of one row rise by `value`, or, when `values` is not
// null, by values[column - first].
struct DropSpan {
    int32_t first;
    int32_t end;
    int32_t value;
    const int32_t* values;
};

// Where a worker puts the spans of one row.
class SpanBuffer {
public:
    bool Allocate(int32_t width);
    DropSpan* Spans() { return m_spans.get(); }
    DropSpan* Rings() { return m_rings.get(); }
    int32_t* Values() { return m_values.get(); }

private:
    // Left uninitialised: a row's spans are written before they are read.
    std::unique_ptr<DropSpan[]> m_spans;
    std::unique_ptr<DropSpan[]> m_rings;
    std::unique_ptr<int32_t[]> m_values;
};

// The cone's increments for every (|ox|, |oy|) of a quarter disc, for the
// last radius and height asked for twice in a row while they are small
// enough to keep.
class ConeTable {
public:
    // False when the table describes nothing (a first cone of its kind, or
    // one too large).
    bool Prepare(int32_t radius, int32_t q);
    // Increments for |ox| from 0 on of row |oy| = ay (< radius), and their count.
    const int32_t* Row(int64_t ay, int64_t& count) const;

private:
    int32_t m_radius = -1;
    int32_t m_q = 0;
    bool m_built = false;
    std::vector<int32_t> m_values;
    std::vector<int64_t> m_starts; // per ay; m_starts[ay + 1] - m_starts[ay] entries
};

enum class DropPreparation { Empty, Ready, ReferenceOnly };

class RowDrop {
public:
    RowDrop();
    RowDrop(const RowDrop&) = delete;
    RowDrop& operator=(const RowDrop&) = delete;

    // Ready: the drop is described. Empty: it changes nothing. ReferenceOnly:
    // a cosine drop whose distances exceed the table; only the plain
    // computation adds it.
    DropPreparation PrepareCosine(int32_t width, int32_t height, int x, int y, int radius, int dropHeight);
    DropPreparation PrepareCone(int32_t width, int32_t height, int x, int y, int radius, int dropHeight);

    // The memory rows [Top(), Bottom()) hold the drop; every other row none.
    int32_t Top() const { return m_top; }
    int32_t Bottom() const { return m_bottom; }
    // The spans of memory row `row` in column order, into the buffer; their count.
    int Spans(int32_t row, SpanBuffer& buffer) const;

    static constexpr int kMaxDistance = 1024;
    // The most spans a row can have.
    static constexpr int kMaxSpans = 2 * (kMaxDistance + 2);

private:
    int CosineSpans(int64_t oy, SpanBuffer& buffer) const;
    int ConeSpans(int64_t oy, SpanBuffer& buffer) const;

    bool m_cone = false;
    int32_t m_x = 0, m_y = 0;
    DropBox m_box = {};
    int32_t m_top = 0, m_bottom = 0;
    int64_t m_maxAbsX = 0;
    // Cosine: the rings, and the drop they were found for.
    int32_t m_rings = 0;
    int32_t m_key[6] = { 0, 0, 0, 0, 0, 0 };
    bool m_keyed = false;
    std::vector<int64_t> m_ringStarts; // first d2 of each ring; then r^2
    std::vector<int32_t> m_ringValues;
    // Cone.
    int32_t m_radius = 0;
    int32_t m_q = 0;
    bool m_tabled = false;
    ConeTable m_table;
};

// Smallest u >= 0 with u * u >= t (0 for t <= 0); t below 2^62.
int64_t CeilSqrt(int64_t t);

} // namespace fast
} // namespace ripple
