// AVX2 step: eight positions per vector; the refraction's reads of the source
// picture are hardware gathers. Only the functions marked with the target
// attribute use AVX2, so nothing here runs on a processor without it unless
// the dispatcher picked this path.
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

// ShadeColor on every lane, amounts in 32-bit lanes.
RIPPLE_AVX2_INLINE __m256i Shade(__m256i pixels, __m256i amount)
{
    const __m256i limit = _mm256_set1_epi32(255);
    const __m256i zero = _mm256_setzero_si256();
    const __m256i a = _mm256_min_epi32(_mm256_max_epi32(amount, _mm256_sub_epi32(zero, limit)), limit);
    const __m256i darken = _mm256_max_epi32(a, zero);
    const __m256i brighten = _mm256_max_epi32(_mm256_sub_epi32(zero, a), zero);
    // Byte 0 of each lane copied to bytes 0..2; byte 3 becomes 0.
    const __m256i spread = _mm256_setr_epi8(0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128,
        0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128);
    const __m256i down = _mm256_shuffle_epi8(darken, spread);
    const __m256i up = _mm256_shuffle_epi8(brighten, spread);
    // At most one of up and down is non-zero in a lane, so this is one clamp.
    const __m256i shaded = _mm256_subs_epu8(_mm256_adds_epu8(pixels, up), down);
    return _mm256_and_si256(shaded, _mm256_set1_epi32(0x00FFFFFF));
}

template <bool kRefract, bool kPageZero>
RIPPLE_AVX2 void StepPiece(const FieldPair& f, const uint32_t* source, uint32_t* target, int damping,
    const Piece& piece)
{
    const int32_t w = f.width;
    const int32_t n = w * f.height;
    const int32_t* h = f.heights1;
    const int32_t* nf = kPageZero ? f.heights1 : f.heights2;
    const int32_t* of = kPageZero ? f.heights2 : f.heights1;
    const __m128i shift = _mm_cvtsi32_si128(damping & 31);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i widths = _mm256_set1_epi32(w);
    const __m256i counts = _mm256_set1_epi32(n);
    const __m256i zero = _mm256_setzero_si256();
    const int32_t* src = reinterpret_cast<const int32_t*>(source);

    const int32_t base = piece.row * w;
    const int32_t end = piece.end;
    int32_t* out = piece.out;
    int32_t c = piece.first;
    if (kRefract) {
        // Aligned stores of the display image. Plain stores measured
        // faster than streaming ones at every screen size: the image
        // stays in the cache, where the window's paint reads it next.
        for (; c < end && (reinterpret_cast<uintptr_t>(target + base + c) & 31) != 0; ++c)
            FusedPixel<kRefract>(f, source, target, nf, of, out, damping, base + c, c);
    }
    // Even columns are shaded: odd lanes when the run starts in an odd column.
    const __m256i shadedLanes = (c & 1) ? _mm256_setr_epi32(0, -1, 0, -1, 0, -1, 0, -1)
                                        : _mm256_setr_epi32(-1, 0, -1, 0, -1, 0, -1, 0);
    for (; c + 8 <= end; c += 8) {
        const int32_t i = base + c;
        const __m256i hc = Load(h + i);
        const __m256i hr = Load(h + i + 1);
        const __m256i hd = Load(h + i + w);
        if (kRefract) {
            const __m256i dx = _mm256_sub_epi32(hc, hr);
            const __m256i dy = _mm256_sub_epi32(hc, hd);
            const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_srai_epi32(dy, 3), widths),
                _mm256_srai_epi32(dx, 3));
            const __m256i j = _mm256_add_epi32(_mm256_add_epi32(_mm256_set1_epi32(i), lanes), offset);
            const __m256i valid = _mm256_and_si256(_mm256_cmpgt_epi32(j, zero), _mm256_cmpgt_epi32(counts, j));
            const int mask = _mm256_movemask_ps(_mm256_castsi256_ps(valid));
            __m256i* pixels = reinterpret_cast<__m256i*>(target + i);
            if (mask == 0xFF) {
                // Calm water moves whole runs of pixels alike: one load
                // instead of a gather.
                const __m256i first = _mm256_permutevar8x32_epi32(offset, zero);
                const bool uniform = _mm256_movemask_epi8(_mm256_cmpeq_epi32(offset, first)) == -1;
                const __m256i pix = uniform ? Load(src + i + _mm256_cvtsi256_si32(offset))
                                            : _mm256_i32gather_epi32(src, j, 4);
                _mm256_store_si256(pixels, _mm256_blendv_epi8(pix, Shade(pix, dx), shadedLanes));
            } else {
                const __m256i old = _mm256_load_si256(pixels);
                const __m256i pix = _mm256_mask_i32gather_epi32(old, src, j, valid, 4);
                const __m256i drawn = _mm256_blendv_epi8(pix, Shade(pix, dx), shadedLanes);
                _mm256_store_si256(pixels, _mm256_blendv_epi8(old, drawn, valid));
            }
        }
        __m256i s = _mm256_add_epi32(Load(of + i - w - 1), Load(of + i - w));
        s = _mm256_add_epi32(s, Load(of + i - w + 1));
        s = _mm256_add_epi32(s, Load(of + i - 1));
        s = _mm256_add_epi32(s, kPageZero ? Load(of + i + 1) : hr);
        s = _mm256_add_epi32(s, Load(of + i + w - 1));
        s = _mm256_add_epi32(s, kPageZero ? Load(of + i + w) : hd);
        s = _mm256_add_epi32(s, Load(of + i + w + 1));
        const __m256i old = kPageZero ? hc : Load(nf + i);
        const __m256i v = _mm256_sub_epi32(_mm256_srai_epi32(s, 2), old);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + c), _mm256_sub_epi32(v, _mm256_sra_epi32(v, shift)));
    }
    for (; c < end; ++c)
        FusedPixel<kRefract>(f, source, target, nf, of, out, damping, base + c, c);
}

} // namespace

RIPPLE_AVX2 void StepPieceAvx2(const FieldPair& f, const uint32_t* source, uint32_t* target, int page, int damping,
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
    // Not every way out of the loops clears the upper halves, and SSE code
    // run after them (other paths, the C library) would pay for every
    // instruction until they are.
    _mm256_zeroupper();
}

__attribute__((target("avx"))) void ClearUpperHalves()
{
    _mm256_zeroupper();
}

RIPPLE_AVX2 void AddRunAvx2(int32_t* heights, int64_t count, int32_t value)
{
    const __m256i v = _mm256_set1_epi32(value);
    int64_t k = 0;
    for (; k + 8 <= count; k += 8) {
        __m256i* p = reinterpret_cast<__m256i*>(heights + k);
        _mm256_storeu_si256(p, _mm256_add_epi32(_mm256_loadu_si256(p), v));
    }
    for (; k < count; ++k)
        heights[k] = WrapAdd(heights[k], value);
    _mm256_zeroupper();
}

} // namespace fast
} // namespace ripple

#endif
