#include "ripple/RippleKernels.h"
#include "ripple/RippleMath.h"

namespace ripple {
namespace fast {

void AddRunScalar(int32_t* heights, int64_t count, int32_t value)
{
    for (int64_t k = 0; k < count; ++k)
        heights[k] = WrapAdd(heights[k], value);
}

bool IsBanded(RipplePath path)
{
    return path == RipplePath::Sse2 || path == RipplePath::Avx2;
}

namespace {

#if defined(__i386__) || defined(__x86_64__)
bool HasAvx()
{
    static const bool avx = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return avx;
}
#endif

} // namespace

void StepBand(RipplePath path, const FieldPair& f, const uint32_t* source, uint32_t* target,
    int page, int damping, const RowAdder* rows, const Band& band)
{
#if defined(__i386__) || defined(__x86_64__)
    // SSE code runs several times slower while the upper halves of the AVX
    // registers hold anything, whoever left it there (the C library, the
    // system); on a processor without AVX there is nothing to clear.
    if (path == RipplePath::Sse2 && HasAvx())
        ClearUpperHalves();
#endif
    const int32_t w = f.width;
    int32_t* nf = f.ForPage(page);
    const int32_t last = w - 1;
    const int32_t strip = band.strip > 0 ? band.strip : last;
    for (int32_t first = 1; first < last; first += strip) {
        Piece piece;
        piece.first = first;
        piece.end = last - first > strip ? first + strip : last;
        for (int32_t r = band.begin; r < band.end; ++r) {
            // The first strip meets every row first.
            if (rows && first == 1) {
                if (page != 0)
                    rows->Add(r);
                else if (r + 1 < band.end)
                    rows->Add(r + 1);
            }
            piece.row = r;
            piece.out = r == band.begin && band.aside ? band.aside : nf + static_cast<int64_t>(r) * w;
            switch (path) {
#if defined(__i386__) || defined(__x86_64__)
            case RipplePath::Avx2:
                StepPieceAvx2(f, source, target, page, damping, piece);
                break;
            case RipplePath::Sse2:
                StepPieceSse2(f, source, target, page, damping, piece);
                break;
#endif
            default:
                return;
            }
        }
    }
}

void Step(RipplePath path, const FieldPair& f, const uint32_t* source, uint32_t* target,
    int page, int damping, const RowAdder* rows)
{
    if (IsBanded(path)) {
        if (f.height <= 2)
            return;
        if (rows && page == 0)
            rows->Add(1);
        Band band;
        band.begin = 1;
        band.end = f.height - 1;
        StepBand(path, f, source, target, page, damping, rows, band);
        return;
    }
    // Without SIMD the two plain passes beat a fused scalar loop, which
    // runs out of registers on i686.
    if (rows) {
        for (int32_t r = 1; r < f.height - 1; ++r)
            rows->Add(r);
    }
    if (source && target)
        reference::Refract(f, source, target);
    reference::Propagate(f, page, damping);
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
