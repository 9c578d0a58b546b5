// The fast step: refraction fused with propagation in one pass over the
// fields, in SSE2 and AVX2 versions chosen at run time; without either, the
// scalar path runs the two plain passes. All give the reference's results bit
// for bit.
//
// Fusing is exact because, row by row and left to right, the refraction of
// position i reads field 1 only at i, i + 1 and i + W, and the propagation
// writes only position i of its field: nothing the refraction still needs has
// been overwritten when it runs.
#pragma once

#include "ripple/RippleReference.h"

#include <cstdint>

namespace ripple {

enum class RipplePath { Reference, Scalar, Sse2, Avx2 };

bool IsPathSupported(RipplePath path);
RipplePath BestPath();
const char* PathName(RipplePath path);

namespace fast {

// One step: refraction into `target` (skipped when source or target is null),
// then the propagation of `page`. Source and target must not overlap.
void Step(RipplePath path, const FieldPair& f, const uint32_t* source, uint32_t* target,
    int page, int damping);

// Adds `value` (wrapping) to `count` consecutive heights.
void AddRun(RipplePath path, int32_t* heights, int64_t count, int32_t value);

void AddRunScalar(int32_t* heights, int64_t count, int32_t value);
#if defined(__i386__) || defined(__x86_64__)
void StepSse2(const FieldPair& f, const uint32_t* source, uint32_t* target, int page, int damping);
void StepAvx2(const FieldPair& f, const uint32_t* source, uint32_t* target, int page, int damping);
void AddRunSse2(int32_t* heights, int64_t count, int32_t value);
void AddRunAvx2(int32_t* heights, int64_t count, int32_t value);
#endif

} // namespace fast
} // namespace ripple
