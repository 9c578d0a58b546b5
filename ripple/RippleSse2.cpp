// SSE2 row kernels: four positions per vector. SSE2 has no gather, no 32-bit
// multiply-low, min/max or blend, so those are built from what it has; the
// source pixels are fetched one by one, unless the four move alike.
#if defined(__i386__) || defined(__x86_64__)

#include "ripple/RippleKernelPixel.h"
#include "ripple/RippleKernels.h"

#include <emmintrin.h>

#if defined(__i386__)
#define RIPPLE_SSE2 __attribute__((target("sse2"), force_align_arg_pointer))
#else
#define RIPPLE_SSE2 __attribute__((target("sse2")))
#endif
#define RIPPLE_SSE2_INLINE __attribute__((target("sse2"), always_inline)) inline

namespace ripple {
namespace fast {

// vzeroupper, for processors with AVX only (in the AVX2 file).
void ClearUpperHalves();

namespace {

bool HasAvx()
{
    static const bool avx = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx") != 0;
    }();
    return avx;
}

// SSE code runs several times slower while the upper halves of the AVX
// registers hold anything, whoever left it there (the C library, the
// system); on a processor without AVX there is nothing to clear.
void Clean()
{
    if (HasAvx())
        ClearUpperHalves();
}

RIPPLE_SSE2_INLINE __m128i Load(const int32_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

RIPPLE_SSE2_INLINE void Store(int32_t* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

RIPPLE_SSE2_INLINE __m128i Select(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

// Low 32 bits of each lane's product.
RIPPLE_SSE2_INLINE __m128i MulLo(__m128i a, __m128i b)
{
    const __m128i even = _mm_mul_epu32(a, b);
    const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
    return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
        _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
}

// Four source pixels fetched one by one into a register: building the vector
// in memory instead stalls on the wide reload of narrow stores.
RIPPLE_SSE2_INLINE __m128i Gather(const int32_t* src, __m128i at)
{
    const __m128i p0 = _mm_cvtsi32_si128(src[_mm_cvtsi128_si32(at)]);
    const __m128i p1 = _mm_cvtsi32_si128(src[_mm_cvtsi128_si32(_mm_shuffle_epi32(at, 1))]);
    const __m128i p2 = _mm_cvtsi32_si128(src[_mm_cvtsi128_si32(_mm_shuffle_epi32(at, 2))]);
    const __m128i p3 = _mm_cvtsi32_si128(src[_mm_cvtsi128_si32(_mm_shuffle_epi32(at, 3))]);
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(p0, p1), _mm_unpacklo_epi32(p2, p3));
}

RIPPLE_SSE2_INLINE __m128i Spread(__m128i bytes)
{
    return _mm_or_si128(bytes, _mm_or_si128(_mm_slli_epi32(bytes, 8), _mm_slli_epi32(bytes, 16)));
}

RIPPLE_SSE2_INLINE __m128i Shade(__m128i pixels, __m128i amount)
{
    const __m128i limit = _mm_set1_epi32(255);
    const __m128i zero = _mm_setzero_si128();
    const __m128i negLimit = _mm_set1_epi32(-255);
    __m128i a = Select(_mm_cmpgt_epi32(amount, limit), limit, amount);
    a = Select(_mm_cmplt_epi32(a, negLimit), negLimit, a);
    const __m128i negative = _mm_cmplt_epi32(a, zero);
    const __m128i down = Spread(_mm_andnot_si128(negative, a));
    const __m128i up = Spread(_mm_and_si128(negative, _mm_sub_epi32(zero, a)));
    const __m128i shaded = _mm_subs_epu8(_mm_adds_epu8(pixels, up), down);
    return _mm_and_si128(shaded, _mm_set1_epi32(0x00FFFFFF));
}

RIPPLE_SSE2_INLINE __m128i EvenLanes(int32_t c)
{
    return (c & 1) ? _mm_setr_epi32(0, -1, 0, -1) : _mm_setr_epi32(-1, 0, -1, 0);
}

// The next values of 4 cells from column c on: the sum of their eight
// neighbours over four, less the old values `was`, damped by `shift`.
// `midRight` and `downMid` are the loads of mid + c + 1 and down + c, which a
// caller may have made already.
RIPPLE_SSE2_INLINE __m128i Propagated(const int32_t* up, const int32_t* mid, const int32_t* down, int32_t c, __m128i midRight,
    __m128i downMid, __m128i was, __m128i shift)
{
    __m128i s = _mm_add_epi32(Load(up + c - 1), Load(up + c));
    s = _mm_add_epi32(s, Load(up + c + 1));
    s = _mm_add_epi32(s, Load(mid + c - 1));
    s = _mm_add_epi32(s, midRight);
    s = _mm_add_epi32(s, Load(down + c - 1));
    s = _mm_add_epi32(s, downMid);
    s = _mm_add_epi32(s, Load(down + c + 1));
    const __m128i v = _mm_sub_epi32(_mm_srai_epi32(s, 2), was);
    return _mm_sub_epi32(v, _mm_sra_epi32(v, shift));
}

template <bool kSave>
RIPPLE_SSE2 void PropagateRun(const PropagateRow& p, int32_t first, int32_t end)
{
    const __m128i shift = _mm_cvtsi32_si128(p.damping & 31);
    // Locals: the stores may alias anything, so fields of `p` would be
    // loaded again at every vector.
    const int32_t* up = p.up;
    const int32_t* mid = p.mid;
    const int32_t* down = p.down;
    const int32_t* old = p.old;
    int32_t* out = p.out;
    int32_t* save = p.save;
    int32_t c = first;
    for (; c + 4 <= end; c += 4) {
        const __m128i was = Load(old + c);
        if (kSave)
            Store(save + c, was);
        Store(out + c, Propagated(up, mid, down, c, Load(mid + c + 1), Load(down + c), was, shift));
    }
    for (; c < end; ++c)
        PropagatePixel(p, c);
}

RIPPLE_SSE2 void Propagate(const PropagateRow& p, int32_t first, int32_t end)
{
    Clean();
    if (p.save)
        PropagateRun<true>(p, first, end);
    else
        PropagateRun<false>(p, first, end);
}

RIPPLE_SSE2_INLINE __m128i Indices(const int32_t* h, const int32_t* below, int32_t c, int32_t i, __m128i widths,
    __m128i& dx)
{
    const __m128i hc = Load(h + c);
    dx = _mm_sub_epi32(hc, Load(h + c + 1));
    const __m128i dy = _mm_sub_epi32(hc, Load(below + c));
    const __m128i offset = _mm_add_epi32(MulLo(_mm_srai_epi32(dy, 3), widths), _mm_srai_epi32(dx, 3));
    return _mm_add_epi32(_mm_add_epi32(_mm_set1_epi32(i), _mm_setr_epi32(0, 1, 2, 3)), offset);
}

RIPPLE_SSE2_INLINE __m128i InPicture(__m128i j, __m128i counts)
{
    return _mm_and_si128(_mm_cmpgt_epi32(j, _mm_setzero_si128()), _mm_cmplt_epi32(j, counts));
}

// The refraction's invariants, in locals: the stores may alias anything, so
// fields of the row descriptor would be loaded again at every vector.
struct Refraction {
    __m128i widths, counts, fill;
    const int32_t* src;
    int32_t* target;
    const int32_t* h;
    const int32_t* below;
    const int32_t* h2;
    const int32_t* below2;
    int32_t base;
    const int32_t* ahead;
    const int32_t* aheadBelow;
    int32_t aheadBase;
    ptrdiff_t behind;
    uint32_t last;
};

RIPPLE_SSE2_INLINE Refraction Prepare(const RefractRow& q)
{
    Refraction f;
    f.widths = _mm_set1_epi32(q.width);
    f.counts = _mm_set1_epi32(q.count);
    f.fill = _mm_set1_epi32(static_cast<int32_t>(q.fill));
    f.src = reinterpret_cast<const int32_t*>(q.source);
    f.target = reinterpret_cast<int32_t*>(q.target);
    f.h = q.h;
    f.below = q.below;
    f.h2 = q.h2;
    f.below2 = q.below2;
    f.base = q.row * q.width;
    f.ahead = q.ahead;
    f.aheadBelow = q.aheadBelow;
    f.aheadBase = q.aheadRow * q.width;
    f.behind = q.behind;
    f.last = static_cast<uint32_t>(q.count - 1);
    return f;
}

// The source lines that four pixels of the row ahead, from column c on,
// would read now; every other pixel's, as neighbours mostly share a line.
RIPPLE_SSE2_INLINE void FetchAhead(const Refraction& f, int32_t c)
{
    __m128i dx;
    const __m128i j = Indices(f.ahead, f.aheadBelow, c, f.aheadBase + c, f.widths, dx);
    alignas(16) uint32_t at[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(at), j);
    for (int k = 0; k < 4; k += 2)
        _mm_prefetch(reinterpret_cast<const char*>(f.src + (at[k] < f.last ? at[k] : f.last)), _MM_HINT_T0);
}

// Four pixels from column c on; `even` marks the lanes of even columns.
RIPPLE_SSE2_INLINE void RefractVector(const Refraction& f, int32_t c, __m128i even)
{
    const __m128i lanes = _mm_setr_epi32(0, 1, 2, 3);
    __m128i dx;
    const __m128i j = Indices(f.h, f.below, c, f.base + c, f.widths, dx);
    const __m128i valid = InPicture(j, f.counts);
    const int mask = _mm_movemask_ps(_mm_castsi128_ps(valid));
    if (mask == 0xF) {
        // Calm water moves whole runs of pixels alike: one load.
        const __m128i step = _mm_sub_epi32(j, lanes);
        const bool uniform = _mm_movemask_epi8(_mm_cmpeq_epi32(step, _mm_shuffle_epi32(step, 0))) == 0xFFFF;
        const __m128i pix = uniform ? Load(f.src + _mm_cvtsi128_si32(j)) : Gather(f.src, j);
        Store(f.target + c, _mm_or_si128(Select(even, Shade(pix, dx), pix), f.fill));
        return;
    }
    // Lanes pointing outside the picture read their own position instead.
    const __m128i self = _mm_add_epi32(_mm_set1_epi32(f.base + c), lanes);
    const __m128i old = Load(f.target + c + f.behind);
    __m128i result = old;
    if (mask != 0) {
        const __m128i pix = Gather(f.src, Select(valid, j, self));
        const __m128i drawn = _mm_or_si128(Select(even, Shade(pix, dx), pix), f.fill);
        result = Select(valid, drawn, old);
    }
    if (f.h2) {
        __m128i dx2;
        const __m128i j2 = Indices(f.h2, f.below2, c, f.base + c, f.widths, dx2);
        const __m128i valid2 = _mm_andnot_si128(valid, InPicture(j2, f.counts));
        if (_mm_movemask_ps(_mm_castsi128_ps(valid2)) != 0) {
            const __m128i pix = Gather(f.src, Select(valid2, j2, self));
            const __m128i drawn = _mm_or_si128(Select(even, Shade(pix, dx2), pix), f.fill);
            result = Select(valid2, drawn, result);
        }
    }
    Store(f.target + c, result);
}

RIPPLE_SSE2 void Refract(const RefractRow& q, int32_t first, int32_t end)
{
    Clean();
    const Refraction f = Prepare(q);
    __m128i even = EvenLanes(first);
    int32_t c = first;
    // One vector where the run starts, then on from the first column whose
    // pixel starts a 16-byte boundary of the target (pixels drawn twice come
    // out the same).
    if (end - first >= 4 && (reinterpret_cast<uintptr_t>(q.target + c) & 15) != 0) {
        RefractVector(f, c, even);
        do
            ++c;
        while ((reinterpret_cast<uintptr_t>(q.target + c) & 15) != 0);
        even = EvenLanes(c);
    }
    while (c < end) {
        // The last columns: once more over the last 4 when there are as
        // many (a pixel comes out the same however often it is drawn).
        if (c + 4 > end) {
            if (end - first < 4)
                break;
            c = end - 4;
            even = EvenLanes(c);
        }
        if (f.ahead)
            FetchAhead(f, c);
        RefractVector(f, c, even);
        c += 4;
    }
    for (; c < end; ++c)
        RefractPixel(q, c);
}

// The refraction and then the propagation of each four columns.
RIPPLE_SSE2 void Step(const RefractRow& q, const PropagateRow& p, int32_t first, int32_t end)
{
    Clean();
    const Refraction f = Prepare(q);
    __m128i even;
    const __m128i shift = _mm_cvtsi32_si128(p.damping & 31);
    const int32_t* up = p.up;
    const int32_t* mid = p.mid;
    const int32_t* down = p.down;
    const int32_t* old = p.old;
    int32_t* out = p.out;
    // The refraction of the columns after the last whole vector first, over
    // the last 4 columns: nothing has overwritten them yet, and the loop
    // draws the pixels they share the same again.
    const bool tail = end - first >= 4;
    if (tail)
        RefractVector(f, end - 4, EvenLanes(end - 4));
    int32_t c = first;
    even = EvenLanes(c);
    for (; c + 4 <= end; c += 4) {
        if (f.ahead)
            FetchAhead(f, c);
        RefractVector(f, c, even);
        Store(out + c, Propagated(up, mid, down, c, Load(mid + c + 1), Load(down + c), Load(old + c), shift));
    }
    for (; c < end; ++c) {
        if (!tail)
            RefractPixel(q, c);
        PropagatePixel(p, c);
    }
}

RIPPLE_SSE2 void Copy(const uint32_t* from, uint32_t* to, uint32_t fill, int32_t column, int32_t count)
{
    Clean();
    const __m128i keep = _mm_or_si128(_mm_set1_epi32(0x00FFFFFF), _mm_andnot_si128(EvenLanes(column),
        _mm_set1_epi32(-1)));
    const __m128i ones = _mm_set1_epi32(static_cast<int32_t>(fill));
    const int32_t* f = reinterpret_cast<const int32_t*>(from);
    int32_t* t = reinterpret_cast<int32_t*>(to);
    int32_t k = 0;
    for (; k + 4 <= count; k += 4)
        Store(t + k, _mm_or_si128(_mm_and_si128(Load(f + k), keep), ones));
    for (; k < count; ++k)
        to[k] = FlatPixel(from[k], fill, column + k);
}

RIPPLE_SSE2 bool AllEqual(const int32_t* values, int32_t count)
{
    Clean();
    const __m128i lead = _mm_set1_epi32(values[0]);
    int32_t k = 0;
    bool equal = true;
    for (; equal && k + 8 <= count; k += 8) {
        const __m128i differ = _mm_or_si128(_mm_xor_si128(Load(values + k), lead),
            _mm_xor_si128(Load(values + k + 4), lead));
        equal = _mm_movemask_epi8(_mm_cmpeq_epi32(differ, _mm_setzero_si128())) == 0xFFFF;
    }
    for (; equal && k < count; ++k)
        equal = values[k] == values[0];
    return equal;
}

RIPPLE_SSE2 void AddRun(int32_t* heights, int32_t count, int32_t value)
{
    Clean();
    const __m128i v = _mm_set1_epi32(value);
    int32_t k = 0;
    for (; k + 4 <= count; k += 4)
        Store(heights + k, _mm_add_epi32(Load(heights + k), v));
    for (; k < count; ++k)
        heights[k] = WrapAdd(heights[k], value);
}

RIPPLE_SSE2 void Fill(int32_t* heights, int32_t count, int32_t value)
{
    Clean();
    const __m128i v = _mm_set1_epi32(value);
    int32_t k = 0;
    for (; k + 4 <= count; k += 4)
        Store(heights + k, v);
    for (; k < count; ++k)
        heights[k] = value;
}

} // namespace

const Kernels& Sse2Kernels()
{
    static const Kernels kernels = { &Propagate, &Refract, &Step, &Copy, &AllEqual, &AddRun, &Fill };
    return kernels;
}

} // namespace fast
} // namespace ripple

#endif
