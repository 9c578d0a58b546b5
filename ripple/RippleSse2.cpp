// SSE2 row kernels: four positions per vector. SSE2 has no gather, no 32-bit
// multiply-low, min/max or blend, so those are built from what it has; the
// source pixels are fetched one by one, unless the four move alike.
#if defined(__i386__) || defined(__x86_64__)

#define RIPPLE_VECTOR_TARGET "sse2"
#include "ripple/RippleVectorKernels.h"

#include <emmintrin.h>

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

struct Sse2 {
    using Reg = __m128i;
    static constexpr int kLanes = 4;

    // SSE code runs several times slower while the upper halves of the AVX
    // registers hold anything, whoever left it there (the C library, the
    // system); on a processor without AVX there is nothing to clear.
    static void Enter()
    {
        if (HasAvx())
            ClearUpperHalves();
    }
    static void Leave() {}

    static RIPPLE_VECTOR_INLINE Reg Load(const int32_t* p) { return _mm_loadu_si128(reinterpret_cast<const Reg*>(p)); }
    static RIPPLE_VECTOR_INLINE void Store(int32_t* p, Reg v) { _mm_storeu_si128(reinterpret_cast<Reg*>(p), v); }
    static RIPPLE_VECTOR_INLINE Reg Zero() { return _mm_setzero_si128(); }
    static RIPPLE_VECTOR_INLINE Reg Set1(int32_t v) { return _mm_set1_epi32(v); }
    static RIPPLE_VECTOR_INLINE Reg Lanes() { return _mm_setr_epi32(0, 1, 2, 3); }
    // Lanes of even columns, which are shaded, when the first lane's column
    // is `c`.
    static RIPPLE_VECTOR_INLINE Reg EvenLanes(int32_t c)
    {
        return (c & 1) ? _mm_setr_epi32(0, -1, 0, -1) : _mm_setr_epi32(-1, 0, -1, 0);
    }
    static RIPPLE_VECTOR_INLINE int32_t First(Reg v) { return _mm_cvtsi128_si32(v); }

    static RIPPLE_VECTOR_INLINE Reg Add(Reg a, Reg b) { return _mm_add_epi32(a, b); }
    static RIPPLE_VECTOR_INLINE Reg Sub(Reg a, Reg b) { return _mm_sub_epi32(a, b); }
    static RIPPLE_VECTOR_INLINE Reg And(Reg a, Reg b) { return _mm_and_si128(a, b); }
    static RIPPLE_VECTOR_INLINE Reg AndNot(Reg a, Reg b) { return _mm_andnot_si128(a, b); }
    static RIPPLE_VECTOR_INLINE Reg Or(Reg a, Reg b) { return _mm_or_si128(a, b); }
    static RIPPLE_VECTOR_INLINE Reg Xor(Reg a, Reg b) { return _mm_xor_si128(a, b); }
    static RIPPLE_VECTOR_INLINE Reg Sar(Reg v, int bits) { return _mm_srai_epi32(v, bits); }
    static RIPPLE_VECTOR_INLINE Reg SarBy(Reg v, __m128i bits) { return _mm_sra_epi32(v, bits); }
    // Low 32 bits of each lane's product.
    static RIPPLE_VECTOR_INLINE Reg MulLo(Reg a, Reg b)
    {
        const Reg even = _mm_mul_epu32(a, b);
        const Reg odd = _mm_mul_epu32(_mm_srli_epi64(a, 32), _mm_srli_epi64(b, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
            _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    }
    // Signed comparison of the values shifted by 2^31.
    static RIPPLE_VECTOR_INLINE Reg MinUnsigned(Reg a, Reg b)
    {
        const Reg bias = _mm_set1_epi32(INT32_MIN);
        return Select(_mm_cmpgt_epi32(_mm_xor_si128(a, bias), _mm_xor_si128(b, bias)), b, a);
    }

    static RIPPLE_VECTOR_INLINE Reg Greater(Reg a, Reg b) { return _mm_cmpgt_epi32(a, b); }
    static RIPPLE_VECTOR_INLINE Reg Select(Reg mask, Reg yes, Reg no)
    {
        return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
    }
    // A bit per lane of a mask.
    static RIPPLE_VECTOR_INLINE int Mask(Reg mask) { return _mm_movemask_ps(_mm_castsi128_ps(mask)); }
    static RIPPLE_VECTOR_INLINE bool AllZero(Reg v)
    {
        return _mm_movemask_epi8(_mm_cmpeq_epi32(v, _mm_setzero_si128())) == 0xFFFF;
    }
    static RIPPLE_VECTOR_INLINE bool SameAsFirst(Reg v)
    {
        return _mm_movemask_epi8(_mm_cmpeq_epi32(v, _mm_shuffle_epi32(v, 0))) == 0xFFFF;
    }

    // Four source pixels fetched one by one into a register: building the
    // vector in memory instead stalls on the wide reload of narrow stores.
    static RIPPLE_VECTOR_INLINE Reg Gather(const int32_t* src, Reg at)
    {
        const Reg p0 = _mm_cvtsi32_si128(src[_mm_cvtsi128_si32(at)]);
        const Reg p1 = _mm_cvtsi32_si128(src[_mm_cvtsi128_si32(_mm_shuffle_epi32(at, 1))]);
        const Reg p2 = _mm_cvtsi32_si128(src[_mm_cvtsi128_si32(_mm_shuffle_epi32(at, 2))]);
        const Reg p3 = _mm_cvtsi32_si128(src[_mm_cvtsi128_si32(_mm_shuffle_epi32(at, 3))]);
        return _mm_unpacklo_epi64(_mm_unpacklo_epi32(p0, p1), _mm_unpacklo_epi32(p2, p3));
    }
    // Lanes outside `valid` read the picture's first pixel instead, which is
    // always there.
    static RIPPLE_VECTOR_INLINE Reg GatherWhere(const int32_t* src, Reg at, Reg valid)
    {
        return Gather(src, _mm_and_si128(valid, at));
    }

    // The pixels as drawn: even lanes (`even`) shaded by the slope `amount`
    // (ShadeColor, which clears the top byte), odd lanes as they are, then
    // the fill or-ed in.
    static RIPPLE_VECTOR_INLINE Reg Draw(Reg pixels, Reg amount, Reg even, Reg fill)
    {
        const Reg limit = _mm_set1_epi32(255);
        const Reg zero = _mm_setzero_si128();
        const Reg negLimit = _mm_set1_epi32(-255);
        Reg a = Select(_mm_cmpgt_epi32(amount, limit), limit, amount);
        a = Select(_mm_cmplt_epi32(a, negLimit), negLimit, a);
        const Reg negative = _mm_cmplt_epi32(a, zero);
        const Reg down = Spread(_mm_andnot_si128(negative, a));
        const Reg up = Spread(_mm_and_si128(negative, _mm_sub_epi32(zero, a)));
        const Reg shaded = _mm_and_si128(_mm_subs_epu8(_mm_adds_epu8(pixels, up), down), _mm_set1_epi32(0x00FFFFFF));
        return _mm_or_si128(Select(even, shaded, pixels), fill);
    }
    // Byte 0 of each lane copied to bytes 1 and 2.
    static RIPPLE_VECTOR_INLINE Reg Spread(Reg bytes)
    {
        return _mm_or_si128(bytes, _mm_or_si128(_mm_slli_epi32(bytes, 8), _mm_slli_epi32(bytes, 16)));
    }
};

} // namespace

const Kernels& Sse2Kernels()
{
    return vector::KernelsOf<Sse2>();
}

} // namespace fast
} // namespace ripple

#endif
