// AVX2 row kernels: eight positions per vector; the refraction's reads of the
// source picture are hardware gathers. Only the functions marked with the
// target attribute use AVX2, so nothing here runs on a processor without it
// unless the dispatcher picked this path.
#if defined(__i386__) || defined(__x86_64__)

#include "ripple/RippleKernelPixel.h"
#include "ripple/RippleKernels.h"

#include <immintrin.h>

// 32-bit Windows keeps the stack only 4-byte aligned; realign on entry.
#if defined(__i386__)
#define RIPPLE_AVX2 __attribute__((target("avx2"), force_align_arg_pointer))
#else
#define RIPPLE_AVX2 __attribute__((target("avx2")))
#endif
#define RIPPLE_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

namespace ripple {
namespace fast {

namespace {

RIPPLE_AVX2_INLINE __m256i Load(const int32_t* p)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

RIPPLE_AVX2_INLINE void Store(int32_t* p, __m256i v)
{
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// The pixels as drawn: even lanes (`even`) shaded by the slope `amount`
// (ShadeColor, which clears the top byte), odd lanes as they are, then the
// fill or-ed in. `keep` is 0x00FFFFFF in even lanes and all ones in odd ones.
RIPPLE_AVX2_INLINE __m256i Draw(__m256i pixels, __m256i amount, __m256i even, __m256i keep, __m256i fill)
{
    const __m256i limit = _mm256_set1_epi32(255);
    const __m256i zero = _mm256_setzero_si256();
    // Odd lanes get an amount of 0, which leaves their pixels alone.
    const __m256i a = _mm256_and_si256(amount, even);
    const __m256i darken = _mm256_min_epi32(_mm256_max_epi32(a, zero), limit);
    const __m256i brighten = _mm256_min_epi32(_mm256_max_epi32(_mm256_sub_epi32(zero, a), zero), limit);
    // Byte 0 of each lane copied to bytes 0..2; byte 3 becomes 0.
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128,
        0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128);
    const __m256i down = _mm256_shuffle_epi8(darken, spread);
    const __m256i up = _mm256_shuffle_epi8(brighten, spread);
    // At most one of up and down is non-zero in a lane, so this is one clamp.
    const __m256i shaded = _mm256_subs_epu8(_mm256_adds_epu8(pixels, up), down);
    return _mm256_or_si256(_mm256_and_si256(shaded, keep), fill);
}

// Lanes of even columns, which are shaded, when the first lane's column is `c`.
RIPPLE_AVX2_INLINE __m256i EvenLanes(int32_t c)
{
    return (c & 1) ? _mm256_setr_epi32(0, -1, 0, -1, 0, -1, 0, -1) : _mm256_setr_epi32(-1, 0, -1, 0, -1, 0, -1, 0);
}

// What of each lane's pixel survives the shading: the colour bytes of even
// columns, all of odd ones.
RIPPLE_AVX2_INLINE __m256i Keep(__m256i even)
{
    return _mm256_or_si256(_mm256_set1_epi32(0x00FFFFFF), _mm256_andnot_si256(even, _mm256_set1_epi32(-1)));
}

// The next values of 8 cells from column c on: the sum of their eight
// neighbours over four, less the old values `was`, damped by `shift`.
// `midRight` and `downMid` are the loads of mid + c + 1 and down + c, which a
// caller may have made already.
RIPPLE_AVX2_INLINE __m256i Propagated(const int32_t* up, const int32_t* mid, const int32_t* down, int32_t c, __m256i midRight,
    __m256i downMid, __m256i was, __m128i shift)
{
    __m256i s = _mm256_add_epi32(Load(up + c - 1), Load(up + c));
    s = _mm256_add_epi32(s, Load(up + c + 1));
    s = _mm256_add_epi32(s, Load(mid + c - 1));
    s = _mm256_add_epi32(s, midRight);
    s = _mm256_add_epi32(s, Load(down + c - 1));
    s = _mm256_add_epi32(s, downMid);
    s = _mm256_add_epi32(s, Load(down + c + 1));
    const __m256i v = _mm256_sub_epi32(_mm256_srai_epi32(s, 2), was);
    return _mm256_sub_epi32(v, _mm256_sra_epi32(v, shift));
}

template <bool kSave>
RIPPLE_AVX2 void PropagateRun(const PropagateRow& p, int32_t first, int32_t end)
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
    for (; c + 8 <= end; c += 8) {
        const __m256i was = Load(old + c);
        if (kSave)
            Store(save + c, was);
        Store(out + c, Propagated(up, mid, down, c, Load(mid + c + 1), Load(down + c), was, shift));
    }
    for (; c < end; ++c)
        PropagatePixel(p, c);
}

RIPPLE_AVX2 void Propagate(const PropagateRow& p, int32_t first, int32_t end)
{
    if (p.save)
        PropagateRun<true>(p, first, end);
    else
        PropagateRun<false>(p, first, end);
    // SSE code run after this (other paths, the C library) would pay for
    // every instruction until the upper halves are clear.
    _mm256_zeroupper();
}

// Source indices of eight positions from `i` on, from field-1 values there
// (hc), one column right (hr) and one row down (hd); and the horizontal slopes.
RIPPLE_AVX2_INLINE __m256i Indices(__m256i hc, __m256i hr, __m256i hd, int32_t i, __m256i widths, __m256i& dx)
{
    dx = _mm256_sub_epi32(hc, hr);
    const __m256i dy = _mm256_sub_epi32(hc, hd);
    const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srai_epi32(dy, 3), widths),
        _mm256_srai_epi32(dx, 3));
    return _mm256_add_epi32(_mm256_add_epi32(_mm256_set1_epi32(i), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)),
        offset);
}

RIPPLE_AVX2_INLINE __m256i Indices(const int32_t* h, const int32_t* below, int32_t c, int32_t i, __m256i widths,
    __m256i& dx)
{
    return Indices(Load(h + c), Load(h + c + 1), Load(below + c), i, widths, dx);
}

RIPPLE_AVX2_INLINE __m256i InPicture(__m256i j, __m256i counts)
{
    return _mm256_and_si256(_mm256_cmpgt_epi32(j, _mm256_setzero_si256()), _mm256_cmpgt_epi32(counts, j));
}

// The refraction's invariants, in locals: the stores may alias anything, so
// fields of the row descriptor would be loaded again at every vector.
struct Refraction {
    __m256i widths, counts, fill;
    // Whether a fill is or-ed in at all.
    bool filled;
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
    __m256i last;
};

RIPPLE_AVX2_INLINE Refraction Prepare(const RefractRow& q)
{
    Refraction f;
    f.widths = _mm256_set1_epi32(q.width);
    f.counts = _mm256_set1_epi32(q.count);
    f.fill = _mm256_set1_epi32(static_cast<int32_t>(q.fill));
    f.filled = q.fill != 0;
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
    f.last = _mm256_set1_epi32(q.count - 1);
    return f;
}

// The source lines that eight pixels of the row ahead, from column c on,
// would read now. Every other pixel's is enough: neighbours mostly share a
// line, and the fetches cost a load each.
RIPPLE_AVX2_INLINE void FetchAhead(const Refraction& f, int32_t c)
{
    __m256i dx;
    const __m256i j = Indices(f.ahead, f.aheadBelow, c, f.aheadBase + c, f.widths, dx);
    // Indices outside the picture (negative ones too, unsigned) fetch its
    // last pixel instead.
    alignas(32) int32_t at[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(at), _mm256_min_epu32(j, f.last));
    for (int k = 0; k < 8; k += 2)
        _mm_prefetch(reinterpret_cast<const char*>(f.src + at[k]), _MM_HINT_T0);
}

// Eight pixels from column c on, from the field-1 values loaded (as for
// Indices); `even` marks the lanes of even columns. kUnseen: with the rows
// of an unseen step before for where the index is outside the picture.
template <bool kUnseen, bool kFill>
RIPPLE_AVX2_INLINE void RefractLoaded(const Refraction& f, int32_t c, __m256i even, __m256i hc, __m256i hr, __m256i hd)
{
    const __m256i fill = kFill ? f.fill : _mm256_setzero_si256();
    const __m256i zero = _mm256_setzero_si256();
    __m256i dx;
    const __m256i j = Indices(hc, hr, hd, f.base + c, f.widths, dx);
    const __m256i valid = InPicture(j, f.counts);
    const int mask = _mm256_movemask_ps(_mm256_castsi256_ps(valid));
    if (mask == 0xFF) {
        // Calm water moves whole runs of pixels alike: one load instead of
        // a gather.
        const __m256i step = _mm256_sub_epi32(j, _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
        const __m256i lead = _mm256_permutevar8x32_epi32(step, zero);
        const bool uniform = _mm256_movemask_epi8(_mm256_cmpeq_epi32(step, lead)) == -1;
        const __m256i pix = uniform ? Load(f.src + _mm256_cvtsi256_si32(j)) : _mm256_i32gather_epi32(f.src, j, 4);
        Store(f.target + c, Draw(pix, dx, even, Keep(even), fill));
        return;
    }
    const __m256i old = Load(f.target + c + f.behind);
    __m256i result = old;
    if (mask != 0) {
        const __m256i pix = _mm256_mask_i32gather_epi32(zero, f.src, j, valid, 4);
        const __m256i drawn = Draw(pix, dx, even, Keep(even), fill);
        result = _mm256_blendv_epi8(old, drawn, valid);
    }
    if (kUnseen) {
        __m256i dx2;
        const __m256i j2 = Indices(f.h2, f.below2, c, f.base + c, f.widths, dx2);
        const __m256i valid2 = _mm256_andnot_si256(valid, InPicture(j2, f.counts));
        if (!_mm256_testz_si256(valid2, valid2)) {
            const __m256i pix = _mm256_mask_i32gather_epi32(zero, f.src, j2, valid2, 4);
            const __m256i drawn = Draw(pix, dx2, even, Keep(even), fill);
            result = _mm256_blendv_epi8(result, drawn, valid2);
        }
    }
    Store(f.target + c, result);
}

template <bool kUnseen, bool kFill>
RIPPLE_AVX2_INLINE void RefractVector(const Refraction& f, int32_t c, __m256i even)
{
    RefractLoaded<kUnseen, kFill>(f, c, even, Load(f.h + c), Load(f.h + c + 1), Load(f.below + c));
}

template <bool kUnseen, bool kFill>
RIPPLE_AVX2 void RefractRun(const RefractRow& q, int32_t first, int32_t end)
{
    const Refraction f = Prepare(q);
    __m256i even = EvenLanes(first);
    int32_t c = first;
    // One vector where the run starts, then on from the first column whose
    // pixel starts a 32-byte boundary of the target (pixels drawn twice come
    // out the same).
    if (end - first >= 8 && (reinterpret_cast<uintptr_t>(q.target + c) & 31) != 0) {
        RefractVector<kUnseen, kFill>(f, c, even);
        do
            ++c;
        while ((reinterpret_cast<uintptr_t>(q.target + c) & 31) != 0);
        even = EvenLanes(c);
    }
    while (c < end) {
        // The last columns: once more over the last 8 when there are as
        // many (a pixel comes out the same however often it is drawn).
        if (c + 8 > end) {
            if (end - first < 8)
                break;
            c = end - 8;
            even = EvenLanes(c);
        }
        if (f.ahead)
            FetchAhead(f, c);
        RefractVector<kUnseen, kFill>(f, c, even);
        c += 8;
    }
    for (; c < end; ++c)
        RefractPixel(q, c);
    _mm256_zeroupper();
}

RIPPLE_AVX2 void Refract(const RefractRow& q, int32_t first, int32_t end)
{
    if (q.fill)
        q.h2 ? RefractRun<true, true>(q, first, end) : RefractRun<false, true>(q, first, end);
    else
        q.h2 ? RefractRun<true, false>(q, first, end) : RefractRun<false, false>(q, first, end);
}

// The refraction and then the propagation of each eight columns. The
// field-1 rows the refraction loads are often rows the propagation reads
// too: kShare 1, its old values (page 0); 2, its middle row and the one
// below (page 1 and the second of two steps).
template <int kShare, bool kUnseen, bool kFill>
RIPPLE_AVX2 void StepRun(const RefractRow& q, const PropagateRow& p, int32_t first, int32_t end)
{
    const Refraction f = Prepare(q);
    const __m128i shift = _mm_cvtsi32_si128(p.damping & 31);
    const int32_t* up = p.up;
    const int32_t* mid = p.mid;
    const int32_t* down = p.down;
    const int32_t* old = p.old;
    int32_t* out = p.out;
    // The refraction of the columns after the last whole vector first, over
    // the last 8 columns: nothing has overwritten them yet, and the loop
    // draws the pixels they share the same again.
    const bool tail = end - first >= 8;
    if (tail)
        RefractVector<kUnseen, kFill>(f, end - 8, EvenLanes(end - 8));
    int32_t c = first;
    const __m256i even = EvenLanes(c);
    for (; c + 8 <= end; c += 8) {
        if (f.ahead)
            FetchAhead(f, c);
        const __m256i hc = Load(f.h + c);
        const __m256i hr = Load(f.h + c + 1);
        const __m256i hd = Load(f.below + c);
        RefractLoaded<kUnseen, kFill>(f, c, even, hc, hr, hd);
        Store(out + c, Propagated(up, mid, down, c, kShare == 2 ? hr : Load(mid + c + 1),
                                  kShare == 2 ? hd : Load(down + c), kShare == 1 ? hc : Load(old + c), shift));
    }
    for (; c < end; ++c) {
        if (!tail)
            RefractPixel(q, c);
        PropagatePixel(p, c);
    }
    _mm256_zeroupper();
}

RIPPLE_AVX2 void Step(const RefractRow& q, const PropagateRow& p, int32_t first, int32_t end)
{
    // The display images of the programs have no fill; a fill costs a
    // register and an instruction a vector.
    const bool share = p.mid == q.h && p.down == q.below;
    if (q.fill)
        q.h2 ? StepRun<0, true, true>(q, p, first, end) : StepRun<0, false, true>(q, p, first, end);
    else if (q.h2)
        share ? StepRun<2, true, false>(q, p, first, end) : StepRun<0, true, false>(q, p, first, end);
    else if (p.old == q.h)
        StepRun<1, false, false>(q, p, first, end);
    else if (share)
        StepRun<2, false, false>(q, p, first, end);
    else
        StepRun<0, false, false>(q, p, first, end);
}

RIPPLE_AVX2 void Copy(const uint32_t* from, uint32_t* to, uint32_t fill, int32_t column, int32_t count)
{
    const __m256i keep = _mm256_or_si256(_mm256_set1_epi32(0x00FFFFFF), _mm256_andnot_si256(EvenLanes(column),
        _mm256_set1_epi32(-1)));
    const __m256i ones = _mm256_set1_epi32(static_cast<int32_t>(fill));
    const int32_t* f = reinterpret_cast<const int32_t*>(from);
    int32_t* t = reinterpret_cast<int32_t*>(to);
    int32_t k = 0;
    for (; k + 8 <= count; k += 8)
        Store(t + k, _mm256_or_si256(_mm256_and_si256(Load(f + k), keep), ones));
    for (; k < count; ++k)
        to[k] = FlatPixel(from[k], fill, column + k);
    _mm256_zeroupper();
}

RIPPLE_AVX2 bool AllEqual(const int32_t* values, int32_t count)
{
    const __m256i lead = _mm256_set1_epi32(values[0]);
    int32_t k = 0;
    bool equal = true;
    for (; equal && k + 16 <= count; k += 16) {
        const __m256i differ = _mm256_or_si256(_mm256_xor_si256(Load(values + k), lead),
            _mm256_xor_si256(Load(values + k + 8), lead));
        equal = _mm256_testz_si256(differ, differ) != 0;
    }
    for (; equal && k < count; ++k)
        equal = values[k] == values[0];
    _mm256_zeroupper();
    return equal;
}

RIPPLE_AVX2 void AddRun(int32_t* heights, int32_t count, int32_t value)
{
    const __m256i v = _mm256_set1_epi32(value);
    int32_t k = 0;
    for (; k + 8 <= count; k += 8)
        Store(heights + k, _mm256_add_epi32(Load(heights + k), v));
    for (; k < count; ++k)
        heights[k] = WrapAdd(heights[k], value);
    _mm256_zeroupper();
}

RIPPLE_AVX2 void Fill(int32_t* heights, int32_t count, int32_t value)
{
    const __m256i v = _mm256_set1_epi32(value);
    int32_t k = 0;
    for (; k + 8 <= count; k += 8)
        Store(heights + k, v);
    for (; k < count; ++k)
        heights[k] = value;
    _mm256_zeroupper();
}

} // namespace

__attribute__((target("avx"))) void ClearUpperHalves()
{
    _mm256_zeroupper();
}

const Kernels& Avx2Kernels()
{
    static const Kernels kernels = { &Propagate, &Refract, &Step, &Copy, &AllEqual, &AddRun, &Fill };
    return kernels;
}

} // namespace fast
} // namespace ripple

#endif
