// GIF with giflib: the first picture of the file, line by line, over its
// logical screen, which is transparent (black) where the picture does not
// cover it. Interlaced lines come in four passes.
#include "decoder/Decode.h"

#include <gif_lib.h>

#include <algorithm>
#include <vector>

namespace {

int OnRead(GifFileType* gif, GifByteType* to, int size)
{
    CInput& input = *static_cast<CInput*>(gif->UserData);
    int done = 0;
    while (done < size) {
        const ssize_t got = input.Read(to + done, static_cast<size_t>(size - done));
        if (got <= 0)
            break;
        done += static_cast<int>(got);
    }
    return done;
}

std::string GifReason(int error, const char* otherwise)
{
    const char* text = GifErrorString(error);
    return error == D_GIF_ERR_READ_FAILED ? "its data ends before its first row" : text ? text : otherwise;
}

// Up to the first picture: its transparent colour, -1 for none.
bool SkipToPicture(GifFileType* gif, int& transparent, std::string& reason)
{
    transparent = -1;
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
            reason = GifReason(gif->Error, "its data ends before its first picture");
            return false;
        }
        if (type == IMAGE_DESC_RECORD_TYPE)
            return true;
        if (type == TERMINATE_RECORD_TYPE) {
            reason = "it holds no picture";
            return false;
        }
        if (type != EXTENSION_RECORD_TYPE)
            continue;
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
            reason = GifReason(gif->Error, "its data ends before its first picture");
            return false;
        }
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4) {
            GraphicsControlBlock control;
            if (DGifExtensionToGCB(block[0], block + 1, &control) == GIF_OK)
                transparent = control.TransparentColor;
        }
        while (block) {
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
                reason = GifReason(gif->Error, "its data ends before its first picture");
                return false;
            }
        }
    }
}

bool Decode(GifFileType* gif, CPictureSink& sink, std::string& reason)
{
    int transparent = -1;
    if (!SkipToPicture(gif, transparent, reason))
        return false;
    if (DGifGetImageDesc(gif) == GIF_ERROR) {
        reason = GifReason(gif->Error, "its data ends before its first picture");
        return false;
    }
    const GifImageDesc& picture = gif->Image;
    const ColorMapObject* colours = picture.ColorMap ? picture.ColorMap : gif->SColorMap;
    if (!colours || colours->ColorCount <= 0) {
        reason = "it has no colour table";
        return false;
    }
    // A screen of no size is the picture's.
    const int width = gif->SWidth > 0 ? gif->SWidth : picture.Left + picture.Width;
    const int height = gif->SHeight > 0 ? gif->SHeight : picture.Top + picture.Height;
    if (!sink.Begin(width, height, width, height, 1, !picture.Interlace, reason))
        return false;

    // One line of the screen: transparent but where the picture lies.
    std::vector<GifPixelType> line(static_cast<size_t>(std::max(picture.Width, 1)));
    std::vector<uint8_t> row(static_cast<size_t>(width) * 4, 0);
    const int from = std::clamp(picture.Left, 0, width), to = std::clamp(picture.Left + picture.Width, 0, width);
    const std::vector<uint8_t> clear(row);
    if (!picture.Interlace) {
        for (int y = 0; y < std::min(picture.Top, height); ++y)
            sink.Row(y, clear.data(), PixelLayout::Rgba);
    }
    static const int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    const int passes = picture.Interlace ? 4 : 1;
    int lines = 0;
    for (int pass = 0; pass < passes; ++pass) {
        const int start = picture.Interlace ? kStart[pass] : 0, step = picture.Interlace ? kStep[pass] : 1;
        for (int i = start; i < picture.Height; i += step) {
            if (DGifGetLine(gif, line.data(), picture.Width) == GIF_ERROR) {
                if (lines == 0) {
                    reason = GifReason(gif->Error, "its data ends before its first row");
                    return false;
                }
                sink.SetIncomplete();
                return true;
            }
            ++lines;
            for (int x = from; x < to; ++x) {
                const int index = line[static_cast<size_t>(x - picture.Left)];
                uint8_t* p = row.data() + static_cast<size_t>(x) * 4;
                if (index == transparent || index >= colours->ColorCount) {
                    p[0] = p[1] = p[2] = p[3] = 0;
                } else {
                    const GifColorType& c = colours->Colors[index];
                    p[0] = c.Red;
                    p[1] = c.Green;
                    p[2] = c.Blue;
                    p[3] = 0xFF;
                }
            }
            sink.Row(picture.Top + i, row.data(), PixelLayout::Rgba);
        }
    }
    // Rows of the screen the picture leaves; interlaced, those above too.
    for (int y = 0; y < height; ++y) {
        if (y >= picture.Top + picture.Height || (picture.Interlace && y < picture.Top))
            sink.Row(y, clear.data(), PixelLayout::Rgba);
    }
    return true;
}

} // namespace

bool DecodeGif(CInput& input, CPictureSink& sink, uint64_t, std::string& reason)
{
    int error = 0;
    GifFileType* gif = DGifOpen(&input, OnRead, &error);
    if (!gif) {
        reason = GifReason(error, "not a GIF picture");
        return false;
    }
    const bool decoded = Decode(gif, sink, reason);
    DGifCloseFile(gif, &error);
    return decoded;
}
