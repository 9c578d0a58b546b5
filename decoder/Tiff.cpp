// TIFF with libtiff: strips or rows of tiles in turn, each converted to RGBA
// by libtiff as stored (the orientation is the sink's to apply). libtiff
// moves about the file: a regular file is read where it asks, anything else
// (a FIFO) is read whole into memory first, within the budget.
#include "decoder/Decode.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kChunkBytes = 64 * 1024;

struct Data {
    CInput* input = nullptr;
    std::vector<uint8_t> bytes; // all of it, when the input cannot be read at an offset
    bool inMemory = false;
    uint64_t size = 0;
    uint64_t offset = 0;
    std::string message;
};

Data& DataOf(thandle_t handle)
{
    return *static_cast<Data*>(handle);
}

tmsize_t OnRead(thandle_t handle, void* to, tmsize_t size)
{
    Data& data = DataOf(handle);
    if (size <= 0 || data.offset >= data.size)
        return 0;
    const size_t want = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(size), data.size - data.offset));
    ssize_t got = 0;
    if (data.inMemory) {
        std::memcpy(to, data.bytes.data() + data.offset, want);
        got = static_cast<ssize_t>(want);
    } else {
        got = data.input->ReadAt(to, want, data.offset);
    }
    if (got > 0)
        data.offset += static_cast<uint64_t>(got);
    return got;
}

tmsize_t OnWrite(thandle_t, void*, tmsize_t)
{
    return -1;
}

toff_t OnSeek(thandle_t handle, toff_t offset, int whence)
{
    Data& data = DataOf(handle);
    const uint64_t base = whence == SEEK_CUR ? data.offset : whence == SEEK_END ? data.size : 0;
    data.offset = base + offset;
    return data.offset;
}

int OnClose(thandle_t)
{
    return 0;
}

toff_t OnSize(thandle_t handle)
{
    return DataOf(handle).size;
}

int OnMap(thandle_t, void**, toff_t*)
{
    return 0;
}

void OnUnmap(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char*, const char* format, va_list arguments)
{
    Data& data = *static_cast<Data*>(user);
    if (data.message.empty()) {
        char text[256];
        std::vsnprintf(text, sizeof text, format, arguments);
        data.message = text;
    }
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

// The whole input in memory, at most `most` bytes.
bool ReadWhole(CInput& input, Data& data, uint64_t most, std::string& reason)
{
    std::vector<uint8_t>& bytes = data.bytes;
    for (;;) {
        const size_t had = bytes.size();
        if (had >= most) {
            reason = "a TIFF that does not come from a regular file is read whole, and this one is larger than "
                     + Megabytes(most);
            return false;
        }
        bytes.resize(had + kChunkBytes);
        const ssize_t got = input.Read(bytes.data() + had, kChunkBytes);
        bytes.resize(had + static_cast<size_t>(std::max<ssize_t>(got, 0)));
        if (got < 0) {
            reason = std::strerror(input.Error());
            return false;
        }
        if (got == 0)
            break;
    }
    data.inMemory = true;
    data.size = bytes.size();
    return true;
}

bool Decode(TIFF* tiff, Data& data, CPictureSink& sink, uint64_t budget, std::string& reason)
{
    uint32_t width = 0, height = 0;
    uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
    if (!CheckClaim(static_cast<int>(std::min<uint32_t>(width, 0x7FFFFFFF)),
                    static_cast<int>(std::min<uint32_t>(height, 0x7FFFFFFF)), reason))
        return false;
    // Rows are read a strip, or a row of tiles, at a time.
    uint32_t band = 0;
    if (TIFFIsTiled(tiff))
        TIFFGetField(tiff, TIFFTAG_TILELENGTH, &band);
    else
        TIFFGetFieldDefaulted(tiff, TIFFTAG_ROWSPERSTRIP, &band);
    band = std::clamp<uint32_t>(band, 1, height);
    const uint64_t bandBytes = static_cast<uint64_t>(width) * band * 4;
    if (bandBytes > budget / 2) {
        reason = "its strips of " + std::to_string(band) + " rows need " + Megabytes(bandBytes) + ", more than the "
                 + Megabytes(budget / 2) + " its decoder may take for them";
        return false;
    }
    char message[1024] = {};
    TIFFRGBAImage image;
    if (!TIFFRGBAImageOK(tiff, message) || !TIFFRGBAImageBegin(&image, tiff, 0, message)) {
        reason = message;
        return false;
    }
    // Rows as stored, not turned: the sink turns them.
    image.req_orientation = orientation;
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    bool decoded = sink.Begin(w, h, w, h, orientation >= 1 && orientation <= 8 ? orientation : 1, true, reason);
    std::vector<uint32_t> raster(decoded ? static_cast<size_t>(width) * band : 0);
    std::vector<uint8_t> row(decoded ? static_cast<size_t>(width) * 4 : 0);
    int rows = 0;
    for (uint32_t top = 0; decoded && top < height; top += band) {
        const uint32_t count = std::min(band, height - top);
        image.row_offset = static_cast<int>(top);
        image.col_offset = 0;
        if (!TIFFRGBAImageGet(&image, raster.data(), width, count)) {
            if (rows == 0) {
                reason = data.message.empty() ? "its data ends before its first row" : data.message;
                decoded = false;
            } else {
                sink.SetIncomplete();
            }
            break;
        }
        for (uint32_t i = 0; i < count; ++i, ++rows) {
            const uint32_t* from = raster.data() + static_cast<size_t>(i) * width;
            for (uint32_t x = 0; x < width; ++x) {
                uint8_t* p = row.data() + static_cast<size_t>(x) * 4;
                p[0] = static_cast<uint8_t>(TIFFGetR(from[x]));
                p[1] = static_cast<uint8_t>(TIFFGetG(from[x]));
                p[2] = static_cast<uint8_t>(TIFFGetB(from[x]));
                p[3] = static_cast<uint8_t>(TIFFGetA(from[x]));
            }
            sink.Row(static_cast<int>(top + i), row.data(), PixelLayout::RgbaPremultiplied);
        }
    }
    TIFFRGBAImageEnd(&image);
    return decoded;
}

} // namespace

bool DecodeTiff(CInput& input, CPictureSink& sink, uint64_t budget, std::string& reason)
{
    Data data;
    data.input = &input;
    if (input.Seekable()) {
        data.size = input.FileSize();
    } else if (!ReadWhole(input, data, budget / 2, reason)) {
        return false;
    }
    // Nothing of libtiff's goes to stderr.
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, static_cast<tmsize_t>(budget / 2));
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnError, &data);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnWarning, &data);
    // "m": read through the procedures, never mapped.
    TIFF* tiff = TIFFClientOpenExt("picture", "rm", &data, OnRead, OnWrite, OnSeek, OnClose, OnSize, OnMap, OnUnmap,
                                   options);
    TIFFOpenOptionsFree(options);
    if (!tiff) {
        reason = data.message.empty() ? "not a TIFF picture" : data.message;
        return false;
    }
    const bool decoded = Decode(tiff, data, sink, budget, reason);
    TIFFClose(tiff);
    return decoded;
}
