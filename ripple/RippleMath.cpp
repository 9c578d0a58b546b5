#include "ripple/RippleMath.h"

#include <cmath>

namespace ripple {

#if defined(__GNUC__)
#define RIPPLE_NOINLINE __attribute__((noinline))
#else
#define RIPPLE_NOINLINE
#endif

RIPPLE_NOINLINE float CosineScale(int32_t radius)
{
    volatile double s = 1024.0 / static_cast<double>(radius);
    double sq = s * s;
    volatile double rounded = sq;
    return static_cast<float>(rounded);
}

RIPPLE_NOINLINE int32_t CosineDistance(int64_t d2, float scale)
{
    // volatile stores round x87 intermediates to double, as the SSE unit does.
    volatile double product = static_cast<double>(d2) * static_cast<double>(scale);
    volatile double root = std::sqrt(product);
    return TruncToInt32(root);
}

RIPPLE_NOINLINE int32_t CosineIncrement(int32_t d, int32_t height)
{
    volatile double c = std::cos(static_cast<double>(d)) + 65535.0;
    volatile double a = c * static_cast<double>(height);
    return TruncToInt32(a) >> 19;
}

RIPPLE_NOINLINE int32_t ConeIncrement(int64_t d2, int32_t radius, int32_t q)
{
    volatile double root = std::sqrt(static_cast<double>(d2));
    volatile double diff = static_cast<double>(radius) - root;
    volatile double inc = diff * static_cast<double>(q);
    return TruncToInt32(inc);
}

DropBox ClipDrop(int32_t x, int32_t y, int32_t radius, int32_t width, int32_t height)
{
    const int64_t r = radius, cx = x, cy = y, w = width, h = height;
    DropBox b;
    b.left = (cx - r < 1) ? 1 - cx : -r;
    b.right = (cx + r > w - 1) ? w - cx - 1 : r;
    b.top = (cy - r < 1) ? 1 - cy : -r;
    b.bottom = (cy + r > h - 1) ? h - cy - 1 : r;
    return b;
}

} // namespace ripple
