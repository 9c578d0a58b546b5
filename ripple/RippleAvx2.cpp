// AVX2 row kernels: eight positions per vector; the refraction's reads of the
// source picture are hardware gathers. Only the functions marked with the
// target attribute use AVX2, so nothing here runs on a processor without it
// unless the dispatcher picked this path.
#if defined(__i386__) || defined(__x86_64__)

#define RIPPLE_VECTOR_TARGET "avx2"
#include "ripple/RippleVectorKernels.h"

#include <immintrin.h>

namespace ripple {
namespace fast {

namespace {

struct Avx2 {
    using Reg = __m256i;
    static constexpr int kLanes = 8;

    static void Enter() {}
    // SSE code run after this (other paths, the C library) would pay for
    // every instruction until the upper halves are clear.
    static RIPPLE_VECTOR_INLINE void Leave() { _mm256_zeroupper(); }

    static RIPPLE_VECTOR_INLINE Reg Load(const int32_t* p) { return _mm256_loadu_si256(reinterpret_cast<const Reg*>(p)); }
    static RIPPLE_VECTOR_INLINE void Store(int32_t* p, Reg v) { _mm256_storeu_si256(reinterpret_cast<Reg*>(p), v); }
    static RIPPLE_VECTOR_INLINE Reg Zero() { return _mm256_setzero_si256(); }
    static RIPPLE_VECTOR_INLINE Reg Set1(int32_t v) { return _mm256_set1_epi32(v); }
    static RIPPLE_VECTOR_INLINE Reg Lanes() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
    // Lanes of even columns, which are shaded, when the first lane's column
    // is `c`.
    static RIPPLE_VECTOR_INLINE Reg EvenLanes(int32_t c)
    {
        return (c & 1) ? _mm256_setr_epi32(0, -1, 0, -1, 0, -1, 0, -1) : _mm256_setr_epi32(-1, 0, -1, 0, -1, 0, -1, 0);
    }
    static RIPPLE_VECTOR_INLINE int32_t First(Reg v) { return _mm256_cvtsi256_si32(v); }

    static RIPPLE_VECTOR_INLINE Reg Add(Reg a, Reg b) { return _mm256_add_epi32(a, b); }
    static RIPPLE_VECTOR_INLINE Reg Sub(Reg a, Reg b) { return _mm256_sub_epi32(a, b); }
    static RIPPLE_VECTOR_INLINE Reg And(Reg a, Reg b) { return _mm256_and_si256(a, b); }
    static RIPPLE_VECTOR_INLINE Reg AndNot(Reg a, Reg b) { return _mm256_andnot_si256(a, b); }
    static RIPPLE_VECTOR_INLINE Reg Or(Reg a, Reg b) { return _mm256_or_si256(a, b); }
    static RIPPLE_VECTOR_INLINE Reg Xor(Reg a, Reg b) { return _mm256_xor_si256(a, b); }
    static RIPPLE_VECTOR_INLINE Reg Sar(Reg v, int bits) { return _mm256_srai_epi32(v, bits); }
    static RIPPLE_VECTOR_INLINE Reg SarBy(Reg v, __m128i bits) { return _mm256_sra_epi32(v, bits); }
    static RIPPLE_VECTOR_INLINE Reg MulLo(Reg a, Reg b) { return _mm256_mullo_epi32(a, b); }
    static RIPPLE_VECTOR_INLINE Reg MinUnsigned(Reg a, Reg b) { return _mm256_min_epu32(a, b); }

    static RIPPLE_VECTOR_INLINE Reg Greater(Reg a, Reg b) { return _mm256_cmpgt_epi32(a, b); }
    static RIPPLE_VECTOR_INLINE Reg Select(Reg mask, Reg yes, Reg no) { return _mm256_blendv_epi8(no, yes, mask); }
    // A bit per lane of a mask.
    static RIPPLE_VECTOR_INLINE int Mask(Reg mask) { return _mm256_movemask_ps(_mm256_castsi256_ps(mask)); }
    static RIPPLE_VECTOR_INLINE bool AllZero(Reg v) { return _mm256_testz_si256(v, v) != 0; }
    static RIPPLE_VECTOR_INLINE bool SameAsFirst(Reg v)
    {
        return _mm256_movemask_epi8(_mm256_cmpeq_epi32(v, _mm256_permutevar8x32_epi32(v, _mm256_setzero_si256())))
            == -1;
    }

    static RIPPLE_VECTOR_INLINE Reg Gather(const int32_t* src, Reg at) { return _mm256_i32gather_epi32(src, at, 4); }
    static RIPPLE_VECTOR_INLINE Reg GatherWhere(const int32_t* src, Reg at, Reg valid)
    {
        return _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), src, at, valid, 4);
    }

    // The pixels as drawn: even lanes (`even`) shaded by the slope `amount`
    // (ShadeColor, which clears the top byte), odd lanes as they are, then
    // the fill or-ed in.
    static RIPPLE_VECTOR_INLINE Reg Draw(Reg pixels, Reg amount, Reg even, Reg fill)
    {
        const Reg limit = _mm256_set1_epi32(255);
        const Reg zero = _mm256_setzero_si256();
        // Odd lanes get an amount of 0, which leaves their pixels alone.
        const Reg a = _mm256_and_si256(amount, even);
        const Reg darken = _mm256_min_epi32(_mm256_max_epi32(a, zero), limit);
        const Reg brighten = _mm256_min_epi32(_mm256_max_epi32(_mm256_sub_epi32(zero, a), zero), limit);
        // Byte 0 of each lane copied to bytes 0..2; byte 3 becomes 0.
        const Reg spread = _mm256_setr_epi8(0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128,
            0, 0, 0, -128, 4, 4, 4, -128, 8, 8, 8, -128, 12, 12, 12, -128);
        const Reg down = _mm256_shuffle_epi8(darken, spread);
        const Reg up = _mm256_shuffle_epi8(brighten, spread);
        // At most one of up and down is non-zero in a lane, so this is one
        // clamp.
        const Reg shaded = _mm256_subs_epu8(_mm256_adds_epu8(pixels, up), down);
        // The colour bytes of even columns survive the shading, all of odd
        // ones.
        const Reg keep = _mm256_or_si256(_mm256_set1_epi32(0x00FFFFFF), _mm256_andnot_si256(even, _mm256_set1_epi32(-1)));
        return _mm256_or_si256(_mm256_and_si256(shaded, keep), fill);
    }
};

} // namespace

__attribute__((target("avx"))) void ClearUpperHalves()
{
    _mm256_zeroupper();
}

const Kernels& Avx2Kernels()
{
    return vector::KernelsOf<Avx2>();
}

} // namespace fast
} // namespace ripple

#endif
