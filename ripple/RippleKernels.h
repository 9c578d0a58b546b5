// The row kernels of the fast engine: the propagation and the refraction of a
// run of columns of one row, in scalar, SSE2 and AVX2 versions chosen at run
// time, each giving the reference's results bit for bit. Rows are handed over
// as pointers indexed by column, so that a row may come from a field, from a
// row kept aside or from a copy of an older state of the field; the sweep
// (RippleWater) decides which runs need computing at all.
#pragma once

#include "ripple/RippleTarget.h"

#include <cstddef>
#include <cstdint>

namespace ripple {

enum class RipplePath { Reference, Scalar, Sse2, Avx2 };

bool IsPathSupported(RipplePath path);
RipplePath BestPath();
const char* PathName(RipplePath path);

namespace fast {

// The propagation of columns [first, end) of one row: the eight neighbours
// come from rows `up`, `mid` and `down` of the field read, the old value from
// `old` (the written field's row); the new values go to `out`, which may be
// `old` itself. When `save` is not null, it gets the old values too.
struct PropagateRow {
    const int32_t* up;
    const int32_t* mid;
    const int32_t* down;
    const int32_t* old;
    int32_t* out;
    int32_t* save;
    int damping;
};

// The refraction of columns [first, end) of row `row`: slopes from field-1
// rows `h` (row) and `below` (row + 1), source index row * width + column +
// the shift, pixels to `target` (the target's row, indexed by column). Where
// the index falls outside the picture and `h2` is not null, the pixel is the
// one the step before would have drawn from field-1 rows `h2` and `below2`;
// where that index is outside too, the pixel keeps its value: the one
// `behind` pixels away (the same pixel of the last frame, in other memory;
// 0: the target's own).
// When `ahead` is not null, it and `aheadBelow` are field-1 rows of row
// `aheadRow`, which a later call will refract: the source pixels their
// values point to now are fetched into the cache on the way (the waves move
// little until then, and a wrong guess costs only the fetch).
struct RefractRow {
    const int32_t* h;
    const int32_t* below;
    const int32_t* h2;
    const int32_t* below2;
    const uint32_t* source;
    uint32_t* target;
    int32_t row;
    int32_t width;
    int32_t count; // width * height
    uint32_t fill;
    ptrdiff_t behind = 0;
    const int32_t* ahead = nullptr;
    const int32_t* aheadBelow = nullptr;
    int32_t aheadRow = 0;
};

struct Kernels {
    void (*propagate)(const PropagateRow& row, int32_t first, int32_t end);
    void (*refract)(const RefractRow& row, int32_t first, int32_t end);
    // Column by column, the refraction and then the propagation (`p` never
    // saves): on page 0 the propagation overwrites the row the refraction
    // reads, one column behind it.
    void (*step)(const RefractRow& q, const PropagateRow& p, int32_t first, int32_t end);
    // to[k] = from[k] as the refraction draws it into column `column` + k
    // when the surface moves all of them alike and tilts nothing sideways.
    void (*copy)(const uint32_t* from, uint32_t* to, uint32_t fill, int32_t column, int32_t count);
    // Whether the `count` (> 0) values all equal the first.
    bool (*allEqual)(const int32_t* values, int32_t count);
    // Adds `value` (wrapping) to `count` consecutive heights.
    void (*addRun)(int32_t* heights, int32_t count, int32_t value);
    // Sets `count` consecutive heights to `value`.
    void (*fill)(int32_t* heights, int32_t count, int32_t value);
};

// The kernels of a path; the scalar ones for the reference path.
const Kernels& KernelsFor(RipplePath path);

const Kernels& ScalarKernels();
#if defined(__i386__) || defined(__x86_64__)
const Kernels& Sse2Kernels();
const Kernels& Avx2Kernels();
#endif

} // namespace fast
} // namespace ripple
