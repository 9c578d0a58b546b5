// The fast step: refraction fused with propagation in one pass over the
// fields, in SSE2 and AVX2 versions chosen at run time; without either, the
// scalar path runs the two plain passes. All give the reference's results bit
// for bit.
//
// Fusing is exact because, row by row and left to right, the refraction of
// position i reads field 1 only at i, i + 1 and i + W, and the propagation
// writes only position i of its field: nothing the refraction still needs has
// been overwritten when it runs. The same holds when the rows are walked in
// column strips, left strip first: a strip reads only its own columns and the
// first column of the next strip, which nothing has written yet.
//
// A step can also add a pending drop to the field it writes, row by row, in
// the same pass. On page 0 that field is field 1, which the refraction of row
// r reads in rows r and r + 1: row r + 1 gets its drop before row r is
// visited (row 1 before the first). On page 1 it is field 2, read only as the
// propagation's own old value: row r gets its drop just before it is visited.
// Either way each row has its drop before anything reads it, and the
// propagation writes only rows already visited, so the result is that of the
// drop added first.
//
// A step can be split into bands of rows done at the same time. On page 1
// the bands share nothing they write. On page 0 the last row of a band reads
// field 1 in the first row of the next band, which that band overwrites: the
// next band keeps its first row's new heights aside, to be copied into the
// field once every band is done, and the first rows of all bands get their
// drop before any band starts.
#pragma once

#include "ripple/RippleReference.h"

#include <cstdint>

namespace ripple {

enum class RipplePath { Reference, Scalar, Sse2, Avx2 };

bool IsPathSupported(RipplePath path);
RipplePath BestPath();
const char* PathName(RipplePath path);

namespace fast {

// Adds a pending drop's part of one memory row to the field it belongs to.
struct RowAdder {
    void (*add)(const void* context, int32_t row) = nullptr;
    const void* context = nullptr;
    void Add(int32_t row) const { add(context, row); }
};

// One step: refraction into `target` (skipped when source or target is null),
// then the propagation of `page`, with the pending drop `rows` (when not
// null) added to the field the page writes. Source and target must not overlap.
void Step(RipplePath path, const FieldPair& f, const uint32_t* source, uint32_t* target,
    int page, int damping, const RowAdder* rows = nullptr);

// Rows [begin, end) of a step on an SSE2 or AVX2 path, in column strips of
// `strip` columns (0: whole rows). When `aside` is not null, the new heights
// of row `begin` go there, indexed by column, instead of into the field. The
// pending drop is added to the rows the band reads and writes, except on page
// 0 to row `begin` and row `end`, which belong to the caller.
struct Band {
    int32_t begin = 0;
    int32_t end = 0;
    int32_t strip = 0;
    int32_t* aside = nullptr;
};
void StepBand(RipplePath path, const FieldPair& f, const uint32_t* source, uint32_t* target,
    int page, int damping, const RowAdder* rows, const Band& band);
bool IsBanded(RipplePath path);

// Columns [first, end) of interior row `row`; new heights go to out[column].
struct Piece {
    int32_t row = 0;
    int32_t first = 0;
    int32_t end = 0;
    int32_t* out = nullptr;
};

// Adds `value` (wrapping) to `count` consecutive heights.
void AddRun(RipplePath path, int32_t* heights, int64_t count, int32_t value);

void AddRunScalar(int32_t* heights, int64_t count, int32_t value);
#if defined(__i386__) || defined(__x86_64__)
void StepPieceSse2(const FieldPair& f, const uint32_t* source, uint32_t* target, int page, int damping,
    const Piece& piece);
void StepPieceAvx2(const FieldPair& f, const uint32_t* source, uint32_t* target, int page, int damping,
    const Piece& piece);
void AddRunSse2(int32_t* heights, int64_t count, int32_t value);
// vzeroupper, for processors with AVX only.
void ClearUpperHalves();
void AddRunAvx2(int32_t* heights, int64_t count, int32_t value);
#endif

} // namespace fast
} // namespace ripple
