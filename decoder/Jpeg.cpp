// JPEG with libjpeg: decoded at the smallest of its scales (n/8) that still
// covers the size shown, row by row. A progressive picture is held whole as
// coefficients until its last scan: one whose coefficients do not fit the
// budget is refused from its header.
#include "decoder/Decode.h"

#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr size_t kBufferBytes = 64 * 1024;
// Of each APP1 segment, what the EXIF orientation needs: the first folder.
constexpr unsigned kExifBytes = 4096;

struct Source {
    jpeg_source_mgr manager;
    CInput* input = nullptr;
    bool ended = false;
    JOCTET buffer[kBufferBytes];
};

struct Errors {
    jpeg_error_mgr manager;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX] = {};
};

// Everything the decode changes, where a jump back from an error finds it.
struct Run {
    jpeg_decompress_struct info = {};
    Errors errors;
    Source source;
    bool started = false;
    int rows = 0;
    std::vector<JSAMPLE> row;
    std::vector<uint8_t> rgb;
};

Source& SourceOf(j_decompress_ptr info)
{
    return *reinterpret_cast<Source*>(info->src);
}

void OnInitSource(j_decompress_ptr) {}

boolean OnFill(j_decompress_ptr info)
{
    Source& source = SourceOf(info);
    const ssize_t got = source.ended ? 0 : source.input->Read(source.buffer, sizeof source.buffer);
    if (got <= 0) {
        // The data ended early: an end of image makes the decoder give the
        // rest of the rows, grey.
        if (!source.ended)
            WARNMS(info, JWRN_JPEG_EOF);
        source.ended = true;
        source.buffer[0] = 0xFF;
        source.buffer[1] = JPEG_EOI;
        source.manager.next_input_byte = source.buffer;
        source.manager.bytes_in_buffer = 2;
        return TRUE;
    }
    source.manager.next_input_byte = source.buffer;
    source.manager.bytes_in_buffer = static_cast<size_t>(got);
    return TRUE;
}

void OnSkip(j_decompress_ptr info, long count)
{
    Source& source = SourceOf(info);
    if (count <= 0)
        return;
    while (static_cast<size_t>(count) > source.manager.bytes_in_buffer) {
        count -= static_cast<long>(source.manager.bytes_in_buffer);
        source.manager.bytes_in_buffer = 0;
        if (source.ended)
            return;
        OnFill(info);
    }
    source.manager.next_input_byte += count;
    source.manager.bytes_in_buffer -= static_cast<size_t>(count);
}

void OnError(j_common_ptr info)
{
    Errors& errors = *reinterpret_cast<Errors*>(info->err);
    (*info->err->format_message)(info, errors.message);
    std::longjmp(errors.jump, 1);
}

// Warnings (corrupt data the decoder gets over) are not printed.
void OnOutputMessage(j_common_ptr) {}

// The smallest scale n/8 whose picture covers `width` x `height`.
int ScaleFor(const jpeg_decompress_struct& info, int width, int height)
{
    for (int n = 1; n < 8; ++n) {
        const uint64_t w = (static_cast<uint64_t>(info.image_width) * n + 7) / 8;
        const uint64_t h = (static_cast<uint64_t>(info.image_height) * n + 7) / 8;
        if (w >= static_cast<uint64_t>(width) && h >= static_cast<uint64_t>(height))
            return n;
    }
    return 8;
}

// What a progressive picture's coefficients take: every block of every
// component, held until the last scan.
uint64_t CoefficientBytes(const jpeg_decompress_struct& info)
{
    uint64_t bytes = 0;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        const uint64_t across = (component.width_in_blocks + component.h_samp_factor - 1) / component.h_samp_factor
                                * component.h_samp_factor;
        const uint64_t down = (component.height_in_blocks + component.v_samp_factor - 1) / component.v_samp_factor
                              * component.v_samp_factor;
        bytes += across * down * DCTSIZE2 * sizeof(JCOEF);
    }
    return bytes;
}

// CMYK as Adobe's programs write it (inverted) or plain, to RGB.
void CmykToRgb(const JSAMPLE* from, uint8_t* to, int width, bool inverted)
{
    for (int x = 0; x < width; ++x, from += 4, to += 3) {
        const uint32_t k = inverted ? from[3] : 255u - from[3];
        for (int c = 0; c < 3; ++c) {
            const uint32_t v = inverted ? from[c] : 255u - from[c];
            to[c] = static_cast<uint8_t>((v * k + 127) / 255);
        }
    }
}

bool Decode(Run& run, CInput& input, CPictureSink& sink, uint64_t budget, std::string& reason)
{
    jpeg_decompress_struct& info = run.info;
    if (setjmp(run.errors.jump)) {
        // After rows came, what came is shown.
        if (run.started && run.rows > 0) {
            sink.SetIncomplete();
            return true;
        }
        reason = run.errors.manager.msg_code == JERR_NO_BACKING_STORE
                     ? "it needs more memory than the " + Megabytes(budget) + " its decoder may take"
                     : run.errors.message;
        return false;
    }
    run.source.input = &input;
    run.source.manager.init_source = OnInitSource;
    run.source.manager.fill_input_buffer = OnFill;
    run.source.manager.skip_input_data = OnSkip;
    run.source.manager.resync_to_restart = jpeg_resync_to_restart;
    run.source.manager.term_source = OnInitSource;
    info.src = &run.source.manager;
    // Beyond it the decoder fails instead of asking for more.
    info.mem->max_memory_to_use = static_cast<long>(std::min<uint64_t>(budget, 0x7FFFFFFF));
    jpeg_save_markers(&info, JPEG_APP0 + 1, kExifBytes);
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        reason = "it holds no picture";
        return false;
    }
    const int width = static_cast<int>(info.image_width), height = static_cast<int>(info.image_height);
    if (!CheckClaim(width, height, reason))
        return false;
    int orientation = 1;
    for (jpeg_saved_marker_ptr marker = info.marker_list; marker && orientation == 1; marker = marker->next) {
        if (marker->marker == JPEG_APP0 + 1)
            orientation = ExifOrientation(marker->data, marker->data_length);
    }
    if (info.progressive_mode && CoefficientBytes(info) > budget) {
        char text[200];
        std::snprintf(text, sizeof text,
                      "it is a progressive JPEG of %dx%d, whose coefficients need %s, more than the %s its decoder "
                      "may take",
                      width, height, Megabytes(CoefficientBytes(info)).c_str(), Megabytes(budget).c_str());
        reason = text;
        return false;
    }

    int needWidth = 0, needHeight = 0;
    sink.Needed(orientation, needWidth, needHeight);
    info.scale_num = static_cast<unsigned>(ScaleFor(info, needWidth, needHeight));
    info.scale_denom = 8;
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = info.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_calc_output_dimensions(&info);
    if (!sink.Begin(width, height, static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                    orientation, true, reason))
        return false;

    jpeg_start_decompress(&info);
    run.started = true;
    // Buffers that a jump back from an error leaves behind are the run's.
    std::vector<JSAMPLE>& row = run.row;
    row.resize(static_cast<size_t>(info.output_width) * static_cast<size_t>(info.output_components));
    std::vector<uint8_t>& rgb = run.rgb;
    rgb.resize(cmyk ? static_cast<size_t>(info.output_width) * 3 : 0);
    const PixelLayout layout = info.out_color_space == JCS_GRAYSCALE ? PixelLayout::Grey : PixelLayout::Rgb;
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[1] = {row.data()};
        const int y = static_cast<int>(info.output_scanline);
        if (jpeg_read_scanlines(&info, rows, 1) != 1)
            break;
        if (cmyk) {
            CmykToRgb(row.data(), rgb.data(), static_cast<int>(info.output_width), info.saw_Adobe_marker);
            sink.Row(y, rgb.data(), PixelLayout::Rgb);
        } else {
            sink.Row(y, row.data(), layout);
        }
        ++run.rows;
    }
    if (run.source.ended)
        sink.SetIncomplete();
    return true;
}

} // namespace

bool DecodeJpeg(CInput& input, CPictureSink& sink, uint64_t budget, std::string& reason)
{
    auto run = std::make_unique<Run>();
    run->info.err = jpeg_std_error(&run->errors.manager);
    run->errors.manager.error_exit = OnError;
    run->errors.manager.output_message = OnOutputMessage;
    jpeg_create_decompress(&run->info);
    const bool decoded = Decode(*run, input, sink, budget, reason);
    jpeg_destroy_decompress(&run->info);
    return decoded;
}
