// The vector row kernels, written once over a vector type V: the loops of
// the propagation, the refraction and the small helpers of the fast engine,
// built from V's operations on V::kLanes 32-bit lanes, which are all that
// differs between instruction sets. A file of one instruction set defines
// RIPPLE_VECTOR_TARGET (its target attribute, such as "avx2"), includes this
// header and instantiates KernelsOf<V> with a V of its own in an unnamed
// namespace. Every instantiation is then that file's alone: code compiled
// for one instruction set can never stand in for another's.
#pragma once

#if defined(__i386__) || defined(__x86_64__)

#include "ripple/RippleKernelPixel.h"
#include "ripple/RippleKernels.h"

#include <cstddef>
#include <cstdint>
#include <emmintrin.h>

#ifndef RIPPLE_VECTOR_TARGET
#error "RIPPLE_VECTOR_TARGET names the instruction set of the file including this one"
#endif

// 32-bit Windows keeps the stack only 4-byte aligned; kernels realign it on
// entry.
#if defined(__i386__)
#define RIPPLE_VECTOR_KERNEL __attribute__((target(RIPPLE_VECTOR_TARGET), force_align_arg_pointer))
#else
#define RIPPLE_VECTOR_KERNEL __attribute__((target(RIPPLE_VECTOR_TARGET)))
#endif
#define RIPPLE_VECTOR_INLINE __attribute__((target(RIPPLE_VECTOR_TARGET), always_inline)) inline

namespace ripple {
namespace fast {
namespace vector {

template <class V>
using Vec = typename V::Reg;

// The next values of the cells from column c on: the sum of their eight
// neighbours over four, less the old values `was`, damped by `shift`.
// `midRight` and `downMid` are the loads of mid + c + 1 and down + c, which a
// caller may have made already.
template <class V>
RIPPLE_VECTOR_INLINE Vec<V> Propagated(const int32_t* up, const int32_t* mid, const int32_t* down, int32_t c,
    Vec<V> midRight, Vec<V> downMid, Vec<V> was, __m128i shift)
{
    Vec<V> s = V::Add(V::Load(up + c - 1), V::Load(up + c));
    s = V::Add(s, V::Load(up + c + 1));
    s = V::Add(s, V::Load(mid + c - 1));
    s = V::Add(s, midRight);
    s = V::Add(s, V::Load(down + c - 1));
    s = V::Add(s, downMid);
    s = V::Add(s, V::Load(down + c + 1));
    const Vec<V> v = V::Sub(V::Sar(s, 2), was);
    return V::Sub(v, V::SarBy(v, shift));
}

template <class V, bool kSave>
RIPPLE_VECTOR_KERNEL void PropagateRun(const PropagateRow& p, int32_t first, int32_t end)
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
    for (; c + V::kLanes <= end; c += V::kLanes) {
        const Vec<V> was = V::Load(old + c);
        if (kSave)
            V::Store(save + c, was);
        V::Store(out + c, Propagated<V>(up, mid, down, c, V::Load(mid + c + 1), V::Load(down + c), was, shift));
    }
    for (; c < end; ++c)
        PropagatePixel(p, c);
}

template <class V>
RIPPLE_VECTOR_KERNEL void Propagate(const PropagateRow& p, int32_t first, int32_t end)
{
    V::Enter();
    if (p.save)
        PropagateRun<V, true>(p, first, end);
    else
        PropagateRun<V, false>(p, first, end);
    V::Leave();
}

// Source indices of the positions from `i` on, from field-1 values there
// (hc), one column right (hr) and one row down (hd); and the horizontal
// slopes.
template <class V>
RIPPLE_VECTOR_INLINE Vec<V> Indices(Vec<V> hc, Vec<V> hr, Vec<V> hd, int32_t i, Vec<V> widths, Vec<V>& dx)
{
    dx = V::Sub(hc, hr);
    const Vec<V> dy = V::Sub(hc, hd);
    const Vec<V> offset = V::Add(V::MulLo(V::Sar(dy, 3), widths), V::Sar(dx, 3));
    return V::Add(V::Add(V::Set1(i), V::Lanes()), offset);
}

template <class V>
RIPPLE_VECTOR_INLINE Vec<V> Indices(const int32_t* h, const int32_t* below, int32_t c, int32_t i, Vec<V> widths,
    Vec<V>& dx)
{
    return Indices<V>(V::Load(h + c), V::Load(h + c + 1), V::Load(below + c), i, widths, dx);
}

template <class V>
RIPPLE_VECTOR_INLINE Vec<V> Inside(Vec<V> j, Vec<V> counts)
{
    return V::And(V::Greater(j, V::Zero()), V::Greater(counts, j));
}

// The refraction's invariants, in locals: the stores may alias anything, so
// fields of the row descriptor would be loaded again at every vector.
template <class V>
struct Refraction {
    Vec<V> widths, counts, fill;
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
    Vec<V> last;
};

template <class V>
RIPPLE_VECTOR_INLINE Refraction<V> Prepare(const RefractRow& q)
{
    Refraction<V> f;
    f.widths = V::Set1(q.width);
    f.counts = V::Set1(q.count);
    f.fill = V::Set1(static_cast<int32_t>(q.fill));
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
    f.last = V::Set1(q.count - 1);
    return f;
}

// The source lines that the pixels of the row ahead, from column c on, would
// read now. Every other pixel's is enough: neighbours mostly share a line,
// and the fetches cost a load each.
template <class V>
RIPPLE_VECTOR_INLINE void FetchAhead(const Refraction<V>& f, int32_t c)
{
    Vec<V> dx;
    const Vec<V> j = Indices<V>(f.ahead, f.aheadBelow, c, f.aheadBase + c, f.widths, dx);
    // Indices outside the picture (negative ones too, unsigned) fetch its
    // last pixel instead.
    alignas(32) int32_t at[V::kLanes];
    V::Store(at, V::MinUnsigned(j, f.last));
    for (int k = 0; k < V::kLanes; k += 2)
        _mm_prefetch(reinterpret_cast<const char*>(f.src + at[k]), _MM_HINT_T0);
}

// The pixels from column c on, from the field-1 values loaded (as for
// Indices); `even` marks the lanes of even columns. kUnseen: with the rows
// of an unseen step before for where the index is outside the picture;
// kFill: with a fill to or in.
template <class V, bool kUnseen, bool kFill>
RIPPLE_VECTOR_INLINE void RefractLoaded(const Refraction<V>& f, int32_t c, Vec<V> even, Vec<V> hc, Vec<V> hr,
    Vec<V> hd)
{
    const Vec<V> fill = kFill ? f.fill : V::Zero();
    Vec<V> dx;
    const Vec<V> j = Indices<V>(hc, hr, hd, f.base + c, f.widths, dx);
    const Vec<V> valid = Inside<V>(j, f.counts);
    const int mask = V::Mask(valid);
    if (mask == (1 << V::kLanes) - 1) {
        // Calm water moves whole runs of pixels alike: one load instead of
        // a gather.
        const Vec<V> pix = V::SameAsFirst(V::Sub(j, V::Lanes())) ? V::Load(f.src + V::First(j)) : V::Gather(f.src, j);
        V::Store(f.target + c, V::Draw(pix, dx, even, fill));
        return;
    }
    const Vec<V> old = V::Load(f.target + c + f.behind);
    Vec<V> result = old;
    if (mask != 0)
        result = V::Select(valid, V::Draw(V::GatherWhere(f.src, j, valid), dx, even, fill), old);
    if (kUnseen) {
        Vec<V> dx2;
        const Vec<V> j2 = Indices<V>(f.h2, f.below2, c, f.base + c, f.widths, dx2);
        const Vec<V> valid2 = V::AndNot(valid, Inside<V>(j2, f.counts));
        if (V::Mask(valid2) != 0)
            result = V::Select(valid2, V::Draw(V::GatherWhere(f.src, j2, valid2), dx2, even, fill), result);
    }
    V::Store(f.target + c, result);
}

template <class V, bool kUnseen, bool kFill>
RIPPLE_VECTOR_INLINE void RefractVector(const Refraction<V>& f, int32_t c, Vec<V> even)
{
    RefractLoaded<V, kUnseen, kFill>(f, c, even, V::Load(f.h + c), V::Load(f.h + c + 1), V::Load(f.below + c));
}

template <class V, bool kUnseen, bool kFill>
RIPPLE_VECTOR_KERNEL void RefractRun(const RefractRow& q, int32_t first, int32_t end)
{
    constexpr int32_t n = V::kLanes;
    constexpr uintptr_t misaligned = n * 4 - 1;
    const Refraction<V> f = Prepare<V>(q);
    Vec<V> even = V::EvenLanes(first);
    int32_t c = first;
    // One vector where the run starts, then on from the first column whose
    // pixel starts a vector's boundary of the target (pixels drawn twice
    // come out the same).
    if (end - first >= n && (reinterpret_cast<uintptr_t>(q.target + c) & misaligned) != 0) {
        RefractVector<V, kUnseen, kFill>(f, c, even);
        do
            ++c;
        while ((reinterpret_cast<uintptr_t>(q.target + c) & misaligned) != 0);
        even = V::EvenLanes(c);
    }
    while (c < end) {
        // The last columns: once more over the last vector's worth when
        // there are as many (a pixel comes out the same however often it is
        // drawn).
        if (c + n > end) {
            if (end - first < n)
                break;
            c = end - n;
            even = V::EvenLanes(c);
        }
        if (f.ahead)
            FetchAhead<V>(f, c);
        RefractVector<V, kUnseen, kFill>(f, c, even);
        c += n;
    }
    for (; c < end; ++c)
        RefractPixel(q, c);
}

template <class V>
RIPPLE_VECTOR_KERNEL void Refract(const RefractRow& q, int32_t first, int32_t end)
{
    V::Enter();
    if (q.fill)
        q.h2 ? RefractRun<V, true, true>(q, first, end) : RefractRun<V, false, true>(q, first, end);
    else
        q.h2 ? RefractRun<V, true, false>(q, first, end) : RefractRun<V, false, false>(q, first, end);
    V::Leave();
}

// The refraction and then the propagation of each vector of columns. The
// field-1 rows the refraction loads are often rows the propagation reads
// too: kShare 1, its old values (page 0); 2, its middle row and the one
// below (page 1 and the second of two steps).
template <class V, int kShare, bool kUnseen, bool kFill>
RIPPLE_VECTOR_KERNEL void StepRun(const RefractRow& q, const PropagateRow& p, int32_t first, int32_t end)
{
    constexpr int32_t n = V::kLanes;
    const Refraction<V> f = Prepare<V>(q);
    const __m128i shift = _mm_cvtsi32_si128(p.damping & 31);
    const int32_t* up = p.up;
    const int32_t* mid = p.mid;
    const int32_t* down = p.down;
    const int32_t* old = p.old;
    int32_t* out = p.out;
    // The refraction of the columns after the last whole vector first, over
    // the last vector's worth of columns: nothing has overwritten them yet,
    // and the loop draws the pixels they share the same again.
    const bool tail = end - first >= n;
    if (tail)
        RefractVector<V, kUnseen, kFill>(f, end - n, V::EvenLanes(end - n));
    int32_t c = first;
    const Vec<V> even = V::EvenLanes(c);
    for (; c + n <= end; c += n) {
        if (f.ahead)
            FetchAhead<V>(f, c);
        const Vec<V> hc = V::Load(f.h + c);
        const Vec<V> hr = V::Load(f.h + c + 1);
        const Vec<V> hd = V::Load(f.below + c);
        RefractLoaded<V, kUnseen, kFill>(f, c, even, hc, hr, hd);
        V::Store(out + c, Propagated<V>(up, mid, down, c, kShare == 2 ? hr : V::Load(mid + c + 1),
                              kShare == 2 ? hd : V::Load(down + c), kShare == 1 ? hc : V::Load(old + c), shift));
    }
    for (; c < end; ++c) {
        if (!tail)
            RefractPixel(q, c);
        PropagatePixel(p, c);
    }
}

template <class V>
RIPPLE_VECTOR_KERNEL void Step(const RefractRow& q, const PropagateRow& p, int32_t first, int32_t end)
{
    V::Enter();
    // The display images of the programs have no fill; a fill costs a
    // register and an instruction a vector.
    const bool share = p.mid == q.h && p.down == q.below;
    if (q.fill)
        q.h2 ? StepRun<V, 0, true, true>(q, p, first, end) : StepRun<V, 0, false, true>(q, p, first, end);
    else if (q.h2)
        share ? StepRun<V, 2, true, false>(q, p, first, end) : StepRun<V, 0, true, false>(q, p, first, end);
    else if (p.old == q.h)
        StepRun<V, 1, false, false>(q, p, first, end);
    else if (share)
        StepRun<V, 2, false, false>(q, p, first, end);
    else
        StepRun<V, 0, false, false>(q, p, first, end);
    V::Leave();
}

template <class V>
RIPPLE_VECTOR_KERNEL void Copy(const uint32_t* from, uint32_t* to, uint32_t fill, int32_t column, int32_t count)
{
    V::Enter();
    const Vec<V> keep = V::Or(V::Set1(0x00FFFFFF), V::AndNot(V::EvenLanes(column), V::Set1(-1)));
    const Vec<V> ones = V::Set1(static_cast<int32_t>(fill));
    const int32_t* f = reinterpret_cast<const int32_t*>(from);
    int32_t* t = reinterpret_cast<int32_t*>(to);
    int32_t k = 0;
    for (; k + V::kLanes <= count; k += V::kLanes)
        V::Store(t + k, V::Or(V::And(V::Load(f + k), keep), ones));
    for (; k < count; ++k)
        to[k] = FlatPixel(from[k], fill, column + k);
    V::Leave();
}

template <class V>
RIPPLE_VECTOR_KERNEL bool AllEqual(const int32_t* values, int32_t count)
{
    V::Enter();
    const Vec<V> lead = V::Set1(values[0]);
    int32_t k = 0;
    bool equal = true;
    for (; equal && k + 2 * V::kLanes <= count; k += 2 * V::kLanes) {
        const Vec<V> differ = V::Or(V::Xor(V::Load(values + k), lead), V::Xor(V::Load(values + k + V::kLanes), lead));
        equal = V::AllZero(differ);
    }
    for (; equal && k < count; ++k)
        equal = values[k] == values[0];
    V::Leave();
    return equal;
}

template <class V>
RIPPLE_VECTOR_KERNEL void AddRun(int32_t* heights, int32_t count, int32_t value)
{
    V::Enter();
    const Vec<V> v = V::Set1(value);
    int32_t k = 0;
    for (; k + V::kLanes <= count; k += V::kLanes)
        V::Store(heights + k, V::Add(V::Load(heights + k), v));
    for (; k < count; ++k)
        heights[k] = WrapAdd(heights[k], value);
    V::Leave();
}

template <class V>
RIPPLE_VECTOR_KERNEL void Fill(int32_t* heights, int32_t count, int32_t value)
{
    V::Enter();
    const Vec<V> v = V::Set1(value);
    int32_t k = 0;
    for (; k + V::kLanes <= count; k += V::kLanes)
        V::Store(heights + k, v);
    for (; k < count; ++k)
        heights[k] = value;
    V::Leave();
}

template <class V>
const Kernels& KernelsOf()
{
    static const Kernels kernels = { &Propagate<V>, &Refract<V>, &Step<V>, &Copy<V>, &AllEqual<V>, &AddRun<V>,
        &Fill<V> };
    return kernels;
}

} // namespace vector
} // namespace fast
} // namespace ripple

#endif
