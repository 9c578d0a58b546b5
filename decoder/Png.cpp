// PNG with libpng, fed the data as it comes, each row handed on as it is
// decoded; the passes of an interlaced picture go to the sink pixel by
// pixel, where they belong. Data that ends early leaves the rows it reached.
#include "decoder/Decode.h"

#include <png.h>

#include <memory>
#include <vector>

namespace {

constexpr size_t kChunkBytes = 64 * 1024;

struct Run {
    png_structp png = nullptr;
    png_infop info = nullptr;
    CPictureSink* sink = nullptr;
    std::string message;
    std::string refused; // why the header is not decoded
    PixelLayout layout = PixelLayout::Rgb;
    bool interlaced = false;
    bool started = false;
    bool ended = false; // its last row came
    int rows = 0;
    std::vector<png_byte> chunk;
};

Run& RunOf(png_structp png)
{
    return *static_cast<Run*>(png_get_progressive_ptr(png));
}

void OnError(png_structp png, png_const_charp message)
{
    static_cast<Run*>(png_get_error_ptr(png))->message = message;
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnHeader(png_structp png, png_infop info)
{
    Run& run = RunOf(png);
    png_uint_32 width = 0, height = 0;
    int depth = 0, colours = 0, interlace = 0;
    png_get_IHDR(png, info, &width, &height, &depth, &colours, &interlace, nullptr, nullptr);
    const int w = static_cast<int>(std::min<png_uint_32>(width, 0x7FFFFFFF));
    const int h = static_cast<int>(std::min<png_uint_32>(height, 0x7FFFFFFF));
    // Palettes, transparency and small greys to 8 bits a channel.
    png_set_expand(png);
    png_set_scale_16(png);
    png_read_update_info(png, info);
    static const PixelLayout kLayouts[] = {PixelLayout::Grey, PixelLayout::GreyAlpha, PixelLayout::Rgb, PixelLayout::Rgba};
    const int channels = png_get_channels(png, info);
    run.interlaced = interlace == PNG_INTERLACE_ADAM7;
    if (channels < 1 || channels > 4)
        run.refused = "its pixels have " + std::to_string(channels) + " channels";
    else if (run.sink->Begin(w, h, w, h, 1, !run.interlaced, run.refused))
        run.started = true;
    if (!run.started)
        png_error(png, "refused");
    run.layout = kLayouts[channels - 1];
}

// Without libpng's own interlace handling, a row of a pass is that pass's
// pixels only, and its number counts that pass's rows.
void OnRow(png_structp png, png_bytep row, png_uint_32 number, int pass)
{
    Run& run = RunOf(png);
    if (!row)
        return;
    const png_uint_32 width = png_get_image_width(png, run.info);
    if (!run.interlaced) {
        run.sink->Row(static_cast<int>(number), row, run.layout);
    } else {
        run.sink->Pixels(static_cast<int>(PNG_ROW_FROM_PASS_ROW(number, pass)), static_cast<int>(PNG_PASS_START_COL(pass)),
                         1 << PNG_PASS_COL_SHIFT(pass), row, static_cast<int>(PNG_PASS_COLS(width, pass)), run.layout);
    }
    ++run.rows;
}

void OnEnd(png_structp png, png_infop)
{
    RunOf(png).ended = true;
}

bool Decode(Run& run, CInput& input, CPictureSink& sink, std::string& reason)
{
    if (setjmp(png_jmpbuf(run.png))) {
        if (!run.refused.empty()) {
            reason = run.refused;
            return false;
        }
        // After rows came, what came is shown.
        if (run.rows > 0) {
            sink.SetIncomplete();
            return true;
        }
        reason = run.message;
        return false;
    }
    png_set_progressive_read_fn(run.png, &run, OnHeader, OnRow, OnEnd);
    // The picture is only shown: the checksum of its compressed data is a
    // fifth of the time of a large one, and not worth it.
    png_set_option(run.png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
    for (;;) {
        const ssize_t got = input.Read(run.chunk.data(), run.chunk.size());
        if (got <= 0)
            break;
        png_process_data(run.png, run.info, run.chunk.data(), static_cast<size_t>(got));
        if (run.ended)
            return true;
    }
    if (run.rows > 0) {
        sink.SetIncomplete();
        return true;
    }
    reason = "its data ends before its first row";
    return false;
}

} // namespace

bool DecodePng(CInput& input, CPictureSink& sink, uint64_t, std::string& reason)
{
    auto run = std::make_unique<Run>();
    run->sink = &sink;
    run->chunk.resize(kChunkBytes);
    run->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, run.get(), OnError, OnWarning);
    if (run->png)
        run->info = png_create_info_struct(run->png);
    if (!run->png || !run->info) {
        png_destroy_read_struct(run->png ? &run->png : nullptr, nullptr, nullptr);
        reason = "not enough memory to decode it";
        return false;
    }
    const bool decoded = Decode(*run, input, sink, reason);
    png_destroy_read_struct(&run->png, &run->info, nullptr);
    return decoded;
}
