// The BMP reader of ripple-render, from any bytes: it either refuses with a
// reason or returns an image whose pixels are the file's own, and that image
// written and read again is the same.
#include "tools/ripple-render/BmpFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "bmp: %s\n", what);
        std::abort();
    }
}

uint32_t U32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    BmpImage image;
    std::string error;
    if (!ParseBmp32(data, size, image, error)) {
        Check(!error.empty(), "refused without a reason");
        return 0;
    }
    Check(image.width > 0 && image.height > 0, "an image without pixels");
    Check(image.pixels.size() == static_cast<size_t>(image.width) * static_cast<size_t>(image.height),
        "pixel count is not width x height");
    const uint32_t offBits = U32(data + 10);
    Check(offBits + image.pixels.size() * 4 <= size, "pixels from beyond the file");
    for (size_t i = 0; i < image.pixels.size(); ++i)
        Check(image.pixels[i] == U32(data + offBits + 4 * i), "a pixel differs from the file's");

    const std::vector<uint8_t> encoded = EncodeBmp32(image);
    BmpImage again;
    Check(ParseBmp32(encoded.data(), encoded.size(), again, error), "its own encoding was refused");
    Check(again.width == image.width && again.height == image.height && again.pixels == image.pixels,
        "the round trip changed the image");
    return 0;
}
