#include "image/DibGeometry.h"

#include <cstddef>
#include <cstdint>

int ColorTableSize(int bitCount)
{
    switch (bitCount) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

int DeclaredColorCount(int bitCount, std::uint32_t clrUsed)
{
    const int full = ColorTableSize(bitCount);
    return clrUsed != 0 && clrUsed <= static_cast<std::uint32_t>(full) ? static_cast<int>(clrUsed) : full;
}

int RowBytes(int width, int bitCount)
{
    const std::int64_t bits = (static_cast<std::int64_t>(width) * bitCount + 31) & ~std::int64_t{31};
    const std::int64_t bytes = bits / 8;
    return bytes > INT32_MAX ? -1 : static_cast<int>(bytes);
}

std::vector<PaletteColor> DefaultPaletteColors(int count)
{
    if (count <= 0 || count > 256)
        count = 256;
    static const PaletteColor kFixed[16] = {
        {0, 0, 0, 0},     {255, 255, 255, 0}, {0, 0, 255, 0},   {0, 255, 0, 0},
        {0, 255, 255, 0}, {255, 0, 0, 0},     {255, 0, 255, 0}, {255, 255, 0, 0},
        {0, 0, 128, 0},   {0, 128, 0, 0},     {0, 128, 128, 0}, {128, 0, 0, 0},
        {128, 0, 128, 0}, {128, 128, 0, 0},   {128, 128, 128, 0}, {192, 192, 192, 0},
    };
    std::vector<PaletteColor> colors;
    colors.reserve(static_cast<std::size_t>(count));
    for (const PaletteColor& c : kFixed) {
        if (static_cast<int>(colors.size()) == count)
            return colors;
        colors.push_back(c);
    }
    for (int b = 0; b < 6; ++b)
        for (int g = 0; g < 6; ++g)
            for (int r = 0; r < 6; ++r) {
                if (static_cast<int>(colors.size()) == count)
                    return colors;
                colors.push_back({static_cast<std::uint8_t>(51 * r), static_cast<std::uint8_t>(51 * g),
                                  static_cast<std::uint8_t>(51 * b), 0});
            }
    for (int k = 0; k < 24 && static_cast<int>(colors.size()) < count; ++k) {
        const auto grey = static_cast<std::uint8_t>(k * 255 / 23);
        colors.push_back({grey, grey, grey, 0});
    }
    return colors;
}

bool ComputeCaptureLayout(int width, int height, int bitCount, CaptureLayout& layout)
{
    if (width <= 0 || height <= 0 || (bitCount != 16 && bitCount != 24 && bitCount != 32))
        return false;
    const int row = RowBytes(width, bitCount);
    if (row <= 0)
        return false;
    const std::uint64_t image = static_cast<std::uint64_t>(row) * static_cast<std::uint64_t>(height);
    if (image + kCaptureHeaderBytes > UINT32_MAX)
        return false;
    layout.rowBytes = static_cast<std::uint32_t>(row);
    layout.imageBytes = static_cast<std::uint32_t>(image);
    layout.fileBytes = layout.imageBytes + kCaptureHeaderBytes;
    return true;
}

namespace {

void Put16(std::uint8_t* p, std::uint32_t v)
{
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::uint8_t* p, std::uint32_t v)
{
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

} // namespace

std::array<std::uint8_t, kCaptureHeaderBytes> MakeCaptureHeader(int width, int height, int bitCount,
                                                                const CaptureLayout& layout)
{
    std::array<std::uint8_t, kCaptureHeaderBytes> h{};
    Put16(&h[0], 0x4D42);
    Put32(&h[2], layout.fileBytes);
    Put32(&h[10], kCaptureHeaderBytes);
    Put32(&h[14], 40);
    Put32(&h[18], static_cast<std::uint32_t>(width));
    Put32(&h[22], static_cast<std::uint32_t>(height));
    Put16(&h[26], 1);
    Put16(&h[28], static_cast<std::uint32_t>(bitCount));
    Put32(&h[34], layout.imageBytes);
    return h;
}

int CaptureBitCount(int screenBitCount)
{
    if (screenBitCount <= 8)
        return 32;
    return screenBitCount == 15 ? 16 : screenBitCount;
}
