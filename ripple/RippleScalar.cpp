// The scalar row kernels, which any processor runs, and the choice of path.
#include "ripple/RippleKernelPixel.h"
#include "ripple/RippleKernels.h"
#include "ripple/RippleMath.h"

#include <algorithm>

namespace ripple {
namespace fast {

namespace {

void Propagate(const PropagateRow& p, int32_t first, int32_t end)
{
    for (int32_t c = first; c < end; ++c)
        PropagatePixel(p, c);
}

void Refract(const RefractRow& q, int32_t first, int32_t end)
{
    for (int32_t c = first; c < end; ++c)
        RefractPixel(q, c);
}

void Step(const RefractRow& q, const PropagateRow& p, int32_t first, int32_t end)
{
    for (int32_t c = first; c < end; ++c) {
        RefractPixel(q, c);
        PropagatePixel(p, c);
    }
}

void Copy(const uint32_t* from, uint32_t* to, uint32_t fill, int32_t column, int32_t count)
{
    for (int32_t k = 0; k < count; ++k)
        to[k] = FlatPixel(from[k], fill, column + k);
}

bool AllEqual(const int32_t* values, int32_t count)
{
    for (int32_t k = 1; k < count; ++k) {
        if (values[k] != values[0])
            return false;
    }
    return true;
}

void AddRun(int32_t* heights, int32_t count, int32_t value)
{
    for (int32_t k = 0; k < count; ++k)
        heights[k] = WrapAdd(heights[k], value);
}

void Fill(int32_t* heights, int32_t count, int32_t value)
{
    std::fill(heights, heights + count, value);
}

} // namespace

const Kernels& ScalarKernels()
{
    static const Kernels kernels = { &Propagate, &Refract, &Step, &Copy, &AllEqual, &AddRun, &Fill };
    return kernels;
}

const Kernels& KernelsFor(RipplePath path)
{
    switch (path) {
#if defined(__i386__) || defined(__x86_64__)
    case RipplePath::Avx2:
        return Avx2Kernels();
    case RipplePath::Sse2:
        return Sse2Kernels();
#endif
    default:
        return ScalarKernels();
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
