// One position of each row kernel, the definition every kernel follows and
// the code the vector kernels use for the columns their vectors leave over.
#pragma once

#include "ripple/RippleKernels.h"
#include "ripple/RippleMath.h"

namespace ripple {
namespace fast {

inline void PropagatePixel(const PropagateRow& p, int32_t c)
{
    int32_t s = WrapAdd(WrapAdd(p.up[c - 1], p.up[c]), WrapAdd(p.up[c + 1], p.mid[c - 1]));
    s = WrapAdd(s, WrapAdd(WrapAdd(p.mid[c + 1], p.down[c - 1]), WrapAdd(p.down[c], p.down[c + 1])));
    const int32_t old = p.old[c];
    if (p.save)
        p.save[c] = old;
    const int32_t v = WrapSub(s >> 2, old);
    p.out[c] = WrapSub(v, Sar(v, p.damping));
}

inline bool InPicture(int32_t j, int32_t count)
{
    return j > 0 && j < count;
}

inline void RefractPixel(const RefractRow& q, int32_t c)
{
    const int32_t i = q.row * q.width + c;
    int32_t dx = WrapSub(q.h[c], q.h[c + 1]);
    int32_t j = RefractIndex(i, dx, WrapSub(q.h[c], q.below[c]), q.width);
    if (!InPicture(j, q.count)) {
        bool drawn = false;
        if (q.h2) {
            dx = WrapSub(q.h2[c], q.h2[c + 1]);
            j = RefractIndex(i, dx, WrapSub(q.h2[c], q.below2[c]), q.width);
            drawn = InPicture(j, q.count);
        }
        if (!drawn) {
            q.target[c] = q.target[c + q.behind];
            return;
        }
    }
    q.target[c] = ((c & 1) ? q.source[j] : ShadeColor(q.source[j], dx)) | q.fill;
}

inline uint32_t FlatPixel(uint32_t pixel, uint32_t fill, int32_t c)
{
    return ((c & 1) ? pixel : pixel & 0x00FFFFFFu) | fill;
}

} // namespace fast
} // namespace ripple
