#include "tools/ripple-render/BmpFile.h"

#include <cstdio>

namespace {

uint32_t U16(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

uint32_t U32(const uint8_t* p)
{
    return U16(p) | (U16(p + 2) << 16);
}

int32_t S32(const uint8_t* p)
{
    return static_cast<int32_t>(U32(p));
}

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v)
{
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

constexpr size_t kFileHeader = 14;
constexpr uint32_t kRgb = 0;
constexpr uint32_t kBitFields = 3;

} // namespace

bool ParseBmp32(const uint8_t* data, size_t size, BmpImage& image, std::string& error)
{
    if (size < kFileHeader + 40 || data[0] != 'B' || data[1] != 'M') {
        error = "not a BMP file";
        return false;
    }
    const uint32_t offBits = U32(data + 10);
    const uint32_t infoSize = U32(data + 14);
    if (infoSize != 40 && infoSize != 52 && infoSize != 56 && infoSize != 108 && infoSize != 124) {
        error = "unsupported BMP header size " + std::to_string(infoSize);
        return false;
    }
    if (size < kFileHeader + infoSize) {
        error = "truncated BMP header";
        return false;
    }
    const int32_t width = S32(data + 18);
    const int32_t height = S32(data + 22);
    const uint32_t planes = U16(data + 26);
    const uint32_t bits = U16(data + 28);
    const uint32_t compression = U32(data + 30);
    if (planes != 1) {
        error = "BMP plane count " + std::to_string(planes) + " (must be 1)";
        return false;
    }
    if (bits != 32) {
        error = "BMP has " + std::to_string(bits) + " bits per pixel (need 32)";
        return false;
    }
    size_t headersEnd = kFileHeader + infoSize;
    if (compression == kBitFields) {
        // The masks follow a 40-byte header and sit inside the larger ones.
        if (infoSize == 40)
            headersEnd += 12;
        if (size < kFileHeader + 52) {
            error = "truncated BMP colour masks";
            return false;
        }
        if (U32(data + 54) != 0x00FF0000 || U32(data + 58) != 0x0000FF00 || U32(data + 62) != 0x000000FF) {
            error = "BMP colour masks are not 8-bit red, green, blue";
            return false;
        }
    } else if (compression != kRgb) {
        error = "compressed BMP (compression " + std::to_string(compression) + ")";
        return false;
    }
    if (width <= 0 || height == 0) {
        error = "BMP has no pixels";
        return false;
    }
    if (height < 0) {
        error = "top-down BMP files are not supported";
        return false;
    }
    const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 4;
    if (bytes > kMaxBmpFileBytes) {
        error = "BMP too large";
        return false;
    }
    if (offBits < headersEnd || offBits > size || bytes > size - offBits) {
        error = "BMP pixel array lies outside the file";
        return false;
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(bytes / 4));
    const uint8_t* p = data + offBits;
    for (size_t i = 0; i < image.pixels.size(); ++i, p += 4)
        image.pixels[i] = U32(p);
    return true;
}

bool ReadBmp32(const std::string& path, BmpImage& image, std::string& error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = "cannot open " + path;
        return false;
    }
    std::vector<uint8_t> data;
    uint8_t chunk[65536];
    size_t got;
    bool tooLarge = false;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (data.size() + got > kMaxBmpFileBytes) {
            tooLarge = true;
            break;
        }
        data.insert(data.end(), chunk, chunk + got);
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (tooLarge) {
        error = path + ": file too large";
        return false;
    }
    if (failed) {
        error = "cannot read " + path;
        return false;
    }
    if (!ParseBmp32(data.data(), data.size(), image, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

std::vector<uint8_t> EncodeBmp32(const BmpImage& image)
{
    const uint32_t pixelBytes = static_cast<uint32_t>(image.pixels.size() * 4);
    std::vector<uint8_t> out;
    out.reserve(54 + pixelBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + pixelBytes);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(image.width));
    Put32(out, static_cast<uint32_t>(image.height));
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, kRgb);
    Put32(out, pixelBytes);
    Put32(out, 2835); // 72 dots per inch
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (uint32_t p : image.pixels)
        Put32(out, p);
    return out;
}

bool WriteBmp32(const std::string& path, const BmpImage& image, std::string& error)
{
    const std::vector<uint8_t> bytes = EncodeBmp32(image);
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot create " + path;
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        std::remove(path.c_str());
        error = "cannot write " + path;
        return false;
    }
    return true;
}
