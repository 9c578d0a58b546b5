// SSE2 step: four positions per vector. SSE2 has no gather, no 32-bit
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

namespace {

RIPPLE_SSE2_INLINE __m128i Load(const int32_t* p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
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

template <bool kRefract, bool kPageZero>
RIPPLE_SSE2 void StepPiece(const FieldPair& f, const uint32_t* source, uint32_t* target, int damping,
    const Piece& piece)
{
    const int32_t w = f.width;
    const int32_t n = w * f.height;
    const int32_t* h = f.heights1;
    const int32_t* nf = kPageZero ? f.heights1 : f.heights2;
    const int32_t* of = kPageZero ? f.heights2 : f.heights1;
    const __m128i shift = _mm_cvtsi32_si128(damping & 31);
    const __m128i lanes = _mm_setr_epi32(0, 1, 2, 3);
    const __m128i widths = _mm_set1_epi32(w);
    const __m128i counts = _mm_set1_epi32(n);
    const __m128i zero = _mm_setzero_si128();
    const int32_t* src = reinterpret_cast<const int32_t*>(source);

    const int32_t base = piece.row * w;
    const int32_t end = piece.end;
    int32_t* out = piece.out;
    int32_t c = piece.first;
    if (kRefract) {
        // Aligned stores of the display image. Not streaming ones: the
        // masked lanes read the line back, and a read of a line still in
        // a write-combining buffer waits for it to reach memory.
        for (; c < end && (reinterpret_cast<uintptr_t>(target + base + c) & 15) != 0; ++c)
            FusedPixel<kRefract>(f, source, target, nf, of, out, damping, base + c, c);
    }
    // Even columns are shaded: odd lanes when the run starts in an odd column.
    const __m128i shadedLanes = (c & 1) ? _mm_setr_epi32(0, -1, 0, -1) : _mm_setr_epi32(-1, 0, -1, 0);
    for (; c + 4 <= end; c += 4) {
        const int32_t i = base + c;
        const __m128i hc = Load(h + i);
        const __m128i hr = Load(h + i + 1);
        const __m128i hd = Load(h + i + w);
        if (kRefract) {
            const __m128i dx = _mm_sub_epi32(hc, hr);
            const __m128i dy = _mm_sub_epi32(hc, hd);
            const __m128i offset = _mm_add_epi32(MulLo(_mm_srai_epi32(dy, 3), widths), _mm_srai_epi32(dx, 3));
            const __m128i self = _mm_add_epi32(_mm_set1_epi32(i), lanes);
            const __m128i j = _mm_add_epi32(self, offset);
            const __m128i valid = _mm_and_si128(_mm_cmpgt_epi32(j, zero), _mm_cmplt_epi32(j, counts));
            __m128i* pixels = reinterpret_cast<__m128i*>(target + i);
            const __m128i first = _mm_shuffle_epi32(offset, 0);
            const int mask = _mm_movemask_ps(_mm_castsi128_ps(valid));
            // Calm water moves whole runs of pixels alike: one load. Lanes
            // pointing outside the picture read their own position instead
            // and keep the old pixel.
            const __m128i pix = mask == 0xF && _mm_movemask_epi8(_mm_cmpeq_epi32(offset, first)) == 0xFFFF
                ? Load(src + i + _mm_cvtsi128_si32(offset))
                : Gather(src, Select(valid, j, self));
            __m128i drawn = Select(shadedLanes, Shade(pix, dx), pix);
            if (mask != 0xF)
                drawn = Select(valid, drawn, _mm_load_si128(pixels));
            _mm_store_si128(pixels, drawn);
        }
        __m128i s = _mm_add_epi32(Load(of + i - w - 1), Load(of + i - w));
        s = _mm_add_epi32(s, Load(of + i - w + 1));
        s = _mm_add_epi32(s, Load(of + i - 1));
        s = _mm_add_epi32(s, kPageZero ? Load(of + i + 1) : hr);
        s = _mm_add_epi32(s, Load(of + i + w - 1));
        s = _mm_add_epi32(s, kPageZero ? Load(of + i + w) : hd);
        s = _mm_add_epi32(s, Load(of + i + w + 1));
        const __m128i old = kPageZero ? hc : Load(nf + i);
        const __m128i v = _mm_sub_epi32(_mm_srai_epi32(s, 2), old);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + c), _mm_sub_epi32(v, _mm_sra_epi32(v, shift)));
    }
    for (; c < end; ++c)
        FusedPixel<kRefract>(f, source, target, nf, of, out, damping, base + c, c);
}

} // namespace

RIPPLE_SSE2 void StepPieceSse2(const FieldPair& f, const uint32_t* source, uint32_t* target, int page, int damping,
    const Piece& piece)
{
    const bool refract = source && target;
    if (page == 0) {
        if (refract)
            StepPiece<true, true>(f, source, target, damping, piece);
        else
            StepPiece<false, true>(f, source, target, damping, piece);
    } else {
        if (refract)
            StepPiece<true, false>(f, source, target, damping, piece);
        else
            StepPiece<false, false>(f, source, target, damping, piece);
    }
}

RIPPLE_SSE2 void AddRunSse2(int32_t* heights, int64_t count, int32_t value)
{
    const __m128i v = _mm_set1_epi32(value);
    int64_t k = 0;
    for (; k + 4 <= count; k += 4) {
        __m128i* p = reinterpret_cast<__m128i*>(heights + k);
        _mm_storeu_si128(p, _mm_add_epi32(_mm_loadu_si128(p), v));
    }
    for (; k < count; ++k)
        heights[k] = WrapAdd(heights[k], value);
}

} // namespace fast
} // namespace ripple

#endif
