// Arithmetic shared by the reference and the fast ripple code. Everything the
// 32-bit original did with wrapping int arithmetic is done here on unsigned
// values (defined to wrap modulo 2^32), and the float-to-int truncations give
// what the x86 conversion instructions give for out-of-range values.
#pragma once

#include <cstdint>

namespace ripple {

inline int32_t WrapAdd(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

inline int32_t WrapSub(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

inline int32_t WrapMul(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// x86 SAR uses the count modulo 32; so does every caller here.
inline int32_t Sar(int32_t v, int count)
{
    return v >> (count & 31);
}

// The refraction source index: i + (dy >> 3) * W + (dx >> 3), in 32 bits.
inline int32_t RefractIndex(int32_t i, int32_t dx, int32_t dy, int32_t width)
{
    return WrapAdd(WrapAdd(i, WrapMul(dy >> 3, width)), dx >> 3);
}

// Subtracts `amount` from each colour byte, clamped to 0..255; top byte 0.
inline uint32_t ShadeColor(uint32_t color, int32_t amount)
{
    auto channel = [amount](uint32_t byte) -> uint32_t {
        // Clamping the amount first keeps the subtraction inside int range.
        int32_t a = amount < -255 ? -255 : (amount > 255 ? 255 : amount);
        int32_t v = static_cast<int32_t>(byte) - a;
        return static_cast<uint32_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    };
    return (channel((color >> 16) & 0xFF) << 16) | (channel((color >> 8) & 0xFF) << 8)
        | channel(color & 0xFF);
}

// Truncation toward zero to 32 bits; NaN and out-of-range values give
// INT32_MIN, the "integer indefinite" of the x86 conversions.
inline int32_t TruncToInt32(double v)
{
    if (!(v > -2147483649.0 && v < 2147483648.0))
        return INT32_MIN;
    return static_cast<int32_t>(v);
}

// The per-point drop formulas. They are out of line on purpose: the reference
// and the fast drops call the very same machine code, so the two agree bit for
// bit even where the x87 unit keeps excess precision (the i686 build).

// (1024 / R)^2 in double, stored as float.
float CosineScale(int32_t radius);
// trunc(sqrt(d2 * scale)) with the product and root in double precision.
int32_t CosineDistance(int64_t d2, float scale);
// trunc((cos(d) + 65535) * height) >> 19.
int32_t CosineIncrement(int32_t d, int32_t height);
// trunc((R - sqrt(d2)) * q).
int32_t ConeIncrement(int64_t d2, int32_t radius, int32_t q);

// The clipped half-open offset box of a drop (column offsets [left, right),
// row offsets [top, bottom)), computed in 64 bits so that no centre or radius
// can make it reach outside the interior. Empty when left >= right or
// top >= bottom.
struct DropBox {
    int64_t left, right, top, bottom;
};
DropBox ClipDrop(int32_t x, int32_t y, int32_t radius, int32_t width, int32_t height);

} // namespace ripple
