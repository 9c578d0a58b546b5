#include "decoder/Decode.h"

#include <cstring>

int ExifOrientation(const uint8_t* data, size_t size)
{
    // "Exif\0\0", then a TIFF header: byte order, 42, the first folder's
    // offset; the folder: a count, then entries of 12 bytes (tag, type,
    // count, value).
    if (size < 14 || std::memcmp(data, "Exif\0\0", 6) != 0)
        return 1;
    const uint8_t* tiff = data + 6;
    const size_t length = size - 6;
    const bool little = tiff[0] == 'I' && tiff[1] == 'I';
    if (!little && !(tiff[0] == 'M' && tiff[1] == 'M'))
        return 1;
    auto u16 = [&](size_t at) -> uint32_t {
        return little ? tiff[at] | tiff[at + 1] << 8 : tiff[at] << 8 | tiff[at + 1];
    };
    auto u32 = [&](size_t at) -> uint32_t { return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); };
    if (u16(2) != 42)
        return 1;
    const uint32_t folder = u32(4);
    if (folder > length - 2 || folder < 8)
        return 1;
    const uint32_t entries = u16(folder);
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t at = folder + 2 + static_cast<size_t>(i) * 12;
        if (at + 12 > length)
            break;
        if (u16(at) == 0x0112 && u16(at + 2) == 3) {
            const uint32_t value = u16(at + 8);
            return value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
        }
    }
    return 1;
}

std::string Megabytes(uint64_t bytes)
{
    return std::to_string((bytes + (uint64_t(1) << 20) - 1) >> 20) + " MB";
}
