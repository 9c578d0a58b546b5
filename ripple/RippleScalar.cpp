#include "ripple/RippleKernels.h"
#include "ripple/RippleMath.h"

namespace ripple {
namespace fast {

void AddRunScalar(int32_t* heights, int64_t count, int32_t value)
{
    for (int64_t k = 0; k < count; ++k)
        heights[k] = WrapAdd(heights[k], value);
}

void Step(RipplePath path, const FieldPair& f, const uint32_t* source, uint32_t* target,
    int page, int damping, const RowAdder* rows)
{
    switch (path) {
#if defined(__i386__) || defined(__x86_64__)
    case RipplePath::Avx2:
        StepAvx2(f, source, target, page, damping, rows);
        return;
    case RipplePath::Sse2:
        StepSse2(f, source, target, page, damping, rows);
        return;
#endif
    default:
        // Without SIMD the two plain passes beat a fused scalar loop, which
        // runs out of registers on i686.
        if (rows) {
            for (int32_t r = 1; r < f.height - 1; ++r)
                rows->Add(r);
        }
        if (source && target)
            reference::Refract(f, source, target);
        reference::Propagate(f, page, damping);
        return;
    }
}

void AddRun(RipplePath path, int32_t* heights, int64_t count, int32_t value)
{
    switch (path) {
#if defined(__i386__) || defined(__x86_64__)
    case RipplePath::Avx2:
        AddRunAvx2(heights, count, value);
        return;
    case RipplePath::Sse2:
        AddRunSse2(heights, count, value);
        return;
#endif
    default:
        AddRunScalar(heights, count, value);
        return;
    }
}

} // namespace fast

bool IsPathSupported(RipplePath path)
{
    switch (path) {
    case RipplePath::Reference:
    case RipplePath::Scalar:
        return true;
#if defined(__i386__) || defined(__x86_64__)
    case RipplePath::Sse2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("sse2");
    case RipplePath::Avx2:
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2");
#else
    default:
        return false;
#endif
    }
    return false;
}

RipplePath BestPath()
{
    if (IsPathSupported(RipplePath::Avx2))
        return RipplePath::Avx2;
    if (IsPathSupported(RipplePath::Sse2))
        return RipplePath::Sse2;
    return RipplePath::Scalar;
}

const char* PathName(RipplePath path)
{
    switch (path) {
    case RipplePath::Reference: return "reference";
    case RipplePath::Scalar: return "scalar";
    case RipplePath::Sse2: return "sse2";
    case RipplePath::Avx2: return "avx2";
    }
    return "?";
}

} // namespace ripple
