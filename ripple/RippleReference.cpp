#include "ripple/RippleReference.h"

#include "ripple/RippleMath.h"

namespace ripple {
namespace reference {

void Refract(const FieldPair& f, const uint32_t* source, uint32_t* target)
{
    Refract(f, source, Target::BottomUp(target, f.width, f.height));
}

void Refract(const FieldPair& f, const uint32_t* source, const Target& target)
{
    const int32_t w = f.width;
    const int32_t n = w * f.height;
    const int32_t* h = f.heights1;
    for (int32_t r = 1; r < f.height - 1; ++r) {
        uint32_t* row = target.Row(r);
        for (int32_t c = 1; c < w - 1; ++c) {
            const int32_t i = r * w + c;
            const int32_t dx = WrapSub(h[i], h[i + 1]);
            const int32_t dy = WrapSub(h[i], h[i + w]);
            const int32_t j = RefractIndex(i, dx, dy, w);
            if (j > 0 && j < n)
                row[c] = ((c & 1) ? source[j] : ShadeColor(source[j], dx)) | target.fill;
        }
    }
}

void Propagate(const FieldPair& f, int page, int damping)
{
    const int32_t w = f.width;
    int32_t* nf = f.ForPage(page);
    const int32_t* of = f.OtherOfPage(page);
    for (int32_t r = 1; r < f.height - 1; ++r) {
        for (int32_t c = 1; c < w - 1; ++c) {
            const int32_t i = r * w + c;
            int32_t s = of[i - w - 1];
            s = WrapAdd(s, of[i - w]);
            s = WrapAdd(s, of[i - w + 1]);
            s = WrapAdd(s, of[i - 1]);
            s = WrapAdd(s, of[i + 1]);
            s = WrapAdd(s, of[i + w - 1]);
            s = WrapAdd(s, of[i + w]);
            s = WrapAdd(s, of[i + w + 1]);
            const int32_t v = WrapSub(s >> 2, nf[i]);
            nf[i] = WrapSub(v, Sar(v, damping));
        }
    }
}

namespace {

template <class Increment>
void ForEachDiscPoint(const FieldPair& f, int x, int y, int radius, int page, Increment inc)
{
    if (!f.heights1)
        return;
    const DropBox b = ClipDrop(x, y, radius, f.width, f.height);
    const int64_t r2 = static_cast<int64_t>(radius) * radius;
    int32_t* field = f.ForPage(page);
    for (int64_t oy = b.top; oy < b.bottom; ++oy) {
        for (int64_t ox = b.left; ox < b.right; ++ox) {
            const int64_t d2 = ox * ox + oy * oy;
            if (d2 < r2) {
                int32_t& v = field[(y + oy) * f.width + x + ox];
                v = WrapAdd(v, inc(d2));
            }
        }
    }
}

} // namespace

void AddCosineDrop(const FieldPair& f, int x, int y, int radius, int height, int page)
{
    const float scale = CosineScale(radius);
    ForEachDiscPoint(f, x, y, radius, page, [&](int64_t d2) {
        return CosineIncrement(CosineDistance(d2, scale), height);
    });
}

void AddConeDrop(const FieldPair& f, int x, int y, int radius, int height, int page)
{
    const int32_t q = height / 64;
    ForEachDiscPoint(f, x, y, radius, page, [&](int64_t d2) {
        return ConeIncrement(d2, radius, q);
    });
}

} // namespace reference
} // namespace ripple
