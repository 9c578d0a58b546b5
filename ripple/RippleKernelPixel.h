// One position of the fused step, used by every kernel for what its vectors
// leave over at the end of a row.
#pragma once

#include "ripple/RippleMath.h"
#include "ripple/RippleReference.h"

namespace ripple {
namespace fast {

// The new height goes to out[c], the written field's row or a row waiting to
// be copied there.
template <bool kRefract>
inline void FusedPixel(const FieldPair& f, const uint32_t* source, uint32_t* target,
    const int32_t* nf, const int32_t* of, int32_t* out, int damping, int32_t i, int32_t c)
{
    const int32_t w = f.width;
    if (kRefract) {
        const int32_t* h = f.heights1;
        const int32_t dx = WrapSub(h[i], h[i + 1]);
        const int32_t dy = WrapSub(h[i], h[i + w]);
        const int32_t j = RefractIndex(i, dx, dy, w);
        if (j > 0 && j < w * f.height)
            target[i] = (c & 1) ? source[j] : ShadeColor(source[j], dx);
    }
    int32_t s = WrapAdd(WrapAdd(of[i - w - 1], of[i - w]), WrapAdd(of[i - w + 1], of[i - 1]));
    s = WrapAdd(s, WrapAdd(WrapAdd(of[i + 1], of[i + w - 1]), WrapAdd(of[i + w], of[i + w + 1])));
    const int32_t v = WrapSub(s >> 2, nf[i]);
    out[c] = WrapSub(v, Sar(v, damping));
}

} // namespace fast
} // namespace ripple
