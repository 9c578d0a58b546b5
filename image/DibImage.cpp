#include "image/DibImage.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// A LOGPALETTE with room for 256 entries.
struct LogPalette256 {
    WORD version;
    WORD count;
    PALETTEENTRY entries[256];
};

// The screen DC for one operation, released on every path.
class ScreenDC {
public:
    ScreenDC() : m_hDC(::GetDC(nullptr)) {}
    ~ScreenDC() { Release(); }
    ScreenDC(const ScreenDC&) = delete;
    ScreenDC& operator=(const ScreenDC&) = delete;
    HDC Get() const { return m_hDC; }
    void Release()
    {
        if (m_hDC)
            ::ReleaseDC(nullptr, m_hDC);
        m_hDC = nullptr;
    }

private:
    HDC m_hDC;
};

// COLORREF is 0x00BBGGRR; the DIB word is 0x00RRGGBB.
DWORD PixelWord(COLORREF color)
{
    return (static_cast<DWORD>(GetRValue(color)) << 16) | (static_cast<DWORD>(GetGValue(color)) << 8) |
           GetBValue(color);
}

// The header of 32-bit pixels, rows from the top.
BITMAPINFO TopDown32(int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

// A bitmap's pixels in one call as 0x00RRGGBB words, row y counted from the
// top at words[y * width]: the order in which the GetPixel loop stores them.
// The bitmap must not be selected into a DC.
bool ReadTopDown(HDC reference, HBITMAP bitmap, int width, int height, DWORD* words)
{
    BITMAPINFO info = TopDown32(width, height);
    if (::GetDIBits(reference, bitmap, 0, static_cast<UINT>(height), words, &info, DIB_RGB_COLORS) != height)
        return false;
    // The fourth byte is what the device keeps there (0xFF on a 24-bit X
    // screen); GetPixel never reports it.
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    for (size_t i = 0; i < count; ++i)
        words[i] &= 0x00FFFFFF;
    return true;
}

// Colours whose pixels on the screen's format take every value that format
// can hold: at 16 bits or fewer each 5-6-5 word widened to 8-bit channels
// (on a 5-5-5 screen they land on every word as well), above that every value
// of each channel, the three channels apart so that a swap shows.
std::vector<DWORD> ProbeColours(int bits)
{
    std::vector<DWORD> colours;
    if (bits > 16) {
        for (DWORD i = 0; i < 256; ++i)
            colours.push_back((i << 16) | ((255 - i) << 8) | ((i * 97) & 255));
        return colours;
    }
    colours.reserve(65536);
    for (DWORD word = 0; word < 65536; ++word) {
        const DWORD red = word >> 11, green = (word >> 5) & 63, blue = word & 31;
        colours.push_back((((red << 3) | (red >> 2)) << 16) | (((green << 2) | (green >> 4)) << 8) |
                          ((blue << 3) | (blue >> 2)));
    }
    return colours;
}

// GetPixel and GetDIBits each widen narrow channels, and map palette
// indices, in their own way, which differs between systems: whether they
// agree is tried on this system, on a bitmap in the screen's format holding
// every value it can.
bool ProbeBlockRead(HDC screen)
{
    const int bits = ::GetDeviceCaps(screen, BITSPIXEL) * ::GetDeviceCaps(screen, PLANES);
    const std::vector<DWORD> colours = ProbeColours(bits);
    const int width = 256;
    const int height = static_cast<int>(colours.size() / width);
    CDC memory;
    CBitmap bitmap;
    if (!memory.CreateCompatibleDC(screen) || !bitmap.CreateCompatibleBitmap(screen, width, height))
        return false;
    BITMAPINFO info = TopDown32(width, height);
    if (::SetDIBits(screen, bitmap, 0, static_cast<UINT>(height), colours.data(), &info, DIB_RGB_COLORS) != height)
        return false;
    std::vector<DWORD> block(colours.size());
    if (!ReadTopDown(screen, bitmap, width, height, block.data()))
        return false;
    CSelectGuard select(memory, bitmap.GetSafeHandle());
    if (!select.Selected())
        return false;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (PixelWord(::GetPixel(memory, x, y)) != block[static_cast<size_t>(y) * width + x])
                return false;
    return true;
}

} // namespace

bool BlockReadMatchesPixelRead(HDC screen)
{
    // One try per screen depth and process; the show runs on one thread.
    static int s_checkedBits = -1;
    static bool s_matches = false;
    if (!screen)
        return false;
    const int bits = ::GetDeviceCaps(screen, BITSPIXEL) * ::GetDeviceCaps(screen, PLANES);
    if (bits != s_checkedBits) {
        s_matches = ProbeBlockRead(screen);
        s_checkedBits = bits;
    }
    return s_matches;
}

BOOL MakeDefaultPalette(CPalette& palette, int count)
{
    palette.DeleteObject();
    const std::vector<PaletteColor> colors = DefaultPaletteColors(count);
    LogPalette256 log = {};
    log.version = 0x300;
    log.count = static_cast<WORD>(colors.size());
    for (size_t i = 0; i < colors.size(); ++i)
        log.entries[i] = {colors[i].red, colors[i].green, colors[i].blue, colors[i].flags};
    return palette.CreatePalette(reinterpret_cast<const LOGPALETTE*>(&log));
}

CDibImage::CDibImage()
{
    std::memset(&m_info, 0, sizeof m_info);
}

CDibImage::~CDibImage()
{
    Clear();
    m_palette.DeleteObject();
}

void CDibImage::Clear()
{
    if (m_hSection)
        ::DeleteObject(m_hSection);
    m_hSection = nullptr;
    m_pPixels = nullptr;
    std::memset(&m_info, 0, sizeof m_info);
    m_colorUse = DIB_RGB_COLORS;
    m_colorCount = 0;
}

BOOL CDibImage::CreateFromHeader(const BITMAPINFO* header, const void* pixels)
{
    Clear();
    if (!header || !pixels)
        return FALSE;
    ScreenDC screen;
    try {
        m_colorCount = ColorTableSize(header->bmiHeader.biBitCount);
        std::memcpy(&m_info.header, &header->bmiHeader, sizeof(BITMAPINFOHEADER));
        // A packed DIB may carry a shorter table than its depth allows; the
        // entries it lacks stay black.
        const int declared = DeclaredColorCount(header->bmiHeader.biBitCount, header->bmiHeader.biClrUsed);
        std::memcpy(m_info.colors, header->bmiColors, static_cast<size_t>(declared) * sizeof(RGBQUAD));
        m_info.header.biSize = sizeof(BITMAPINFOHEADER);
        // The section is made from m_info, which holds no more than the
        // entries copied.
        m_info.header.biClrUsed = declared < m_colorCount ? static_cast<DWORD>(declared) : 0;

        if (!screen.Get())
            AfxThrowResourceException();
        m_hSection = ::CreateDIBSection(screen.Get(), reinterpret_cast<BITMAPINFO*>(&m_info), m_colorUse,
                                        &m_pPixels, nullptr, 0);
        screen.Release();
        if (!m_hSection || !m_pPixels)
            AfxThrowResourceException();

        // The section holds RowBytes x |height|; a header claiming a larger
        // image must not make the copy run past it.
        const BITMAPINFOHEADER& h = m_info.header;
        const long long height = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
        const int row = RowBytes(h.biWidth, h.biBitCount);
        const unsigned long long capacity = row > 0 ? static_cast<unsigned long long>(row) * height : 0;
        unsigned long long bytes = h.biSizeImage ? h.biSizeImage : capacity;
        if (bytes > capacity)
            bytes = capacity;
        ::GdiFlush();
        std::memcpy(m_pPixels, pixels, static_cast<size_t>(bytes));

        if (!BuildPalette())
            AfxThrowResourceException();
    } catch (CResourceException* e) {
        e->Delete();
        screen.Release();
        Clear();
        return FALSE;
    }
    return TRUE;
}

BOOL CDibImage::BuildPalette()
{
    m_palette.DeleteObject();
    if (!m_hSection)
        return FALSE;
    if (m_colorCount == 0)
        return MakeDefaultPalette(m_palette, 256);

    ScreenDC screen;
    if (!screen.Get())
        return FALSE;
    std::unique_ptr<RGBQUAD[]> table(new (std::nothrow) RGBQUAD[static_cast<size_t>(m_colorCount)]);
    if (!table)
        return MakeDefaultPalette(m_palette, m_colorCount);
    CDC memory;
    if (!memory.CreateCompatibleDC(screen.Get()))
        return MakeDefaultPalette(m_palette, m_colorCount);
    screen.Release();
    UINT read = 0;
    {
        CSelectGuard select(memory, m_hSection);
        if (!select.Selected())
            return MakeDefaultPalette(m_palette, m_colorCount);
        read = ::GetDIBColorTable(memory, 0, static_cast<UINT>(m_colorCount), table.get());
    }
    if (read == 0)
        return MakeDefaultPalette(m_palette, m_colorCount);

    LogPalette256 log = {};
    log.version = 0x300;
    log.count = static_cast<WORD>(m_colorCount);
    for (UINT i = 0; i < read && i < static_cast<UINT>(m_colorCount); ++i)
        log.entries[i] = {table[i].rgbRed, table[i].rgbGreen, table[i].rgbBlue, 0};
    return m_palette.CreatePalette(reinterpret_cast<const LOGPALETTE*>(&log));
}

void CDibImage::CreateFromPicture(IPicture* picture, int width, int height)
{
    Clear();
    if (!picture || width <= 0 || height <= 0)
        return;
    CWindowDC screen(nullptr);
    if (!screen.GetSafeHdc())
        return;
    CDC memory;
    CBitmap bitmap;
    if (!memory.CreateCompatibleDC(screen) || !bitmap.CreateDiscardableBitmap(screen, width, height))
        return;
    {
        CSelectGuard select(memory, bitmap.GetSafeHandle());
        if (!select.Selected())
            return;
        RECT bounds;
        ::SetRect(&bounds, 0, 0, width, height);
        OLE_XSIZE_HIMETRIC pictureWidth = 0;
        OLE_YSIZE_HIMETRIC pictureHeight = 0;
        picture->get_Width(&pictureWidth);
        picture->get_Height(&pictureHeight);
        // Render takes the source in HIMETRIC with y growing upwards: starting
        // at the full height with a negative extent draws the picture upright.
        picture->Render(memory, 0, 0, width, height, 0, pictureHeight, pictureWidth, -pictureHeight, &bounds);
    }

    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = height;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    const size_t pixelCount = static_cast<size_t>(width) * static_cast<size_t>(height);
    bool read = false;
    {
        std::unique_ptr<DWORD[]> scratch(new (std::nothrow) DWORD[pixelCount]);
        if (!scratch)
            return;
        read = BlockReadMatchesPixelRead(screen) && ReadTopDown(screen, bitmap, width, height, scratch.get());
        if (!CreateFromHeader(&header, scratch.get()))
            return;
    }
    if (read)
        return;

    // The block read is not known to give what GetPixel gives at this depth,
    // or it failed: one GetPixel a pixel.
    CSelectGuard select(memory, bitmap.GetSafeHandle());
    if (!select.Selected())
        return;
    DWORD* pixels = static_cast<DWORD*>(m_pPixels);
    for (int y = 0; y < height; ++y) {
        DWORD* row = pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int x = 0; x < width; ++x)
            row[x] = PixelWord(::GetPixel(memory, x, y));
    }
}

BOOL CDibImage::CopyFrom(const CDibImage& other)
{
    if (&other == this)
        return m_hSection != nullptr;
    if (!other.m_hSection) {
        Clear();
        return FALSE;
    }
    ::GdiFlush();
    return CreateFromHeader(reinterpret_cast<const BITMAPINFO*>(&other.m_info), other.m_pPixels);
}

int CDibImage::Paint(CDC* dc, int x, int y, BOOL forceBackground)
{
    const BITMAPINFOHEADER& h = m_info.header;
    return Paint(dc, x, y, forceBackground, DibPart{0, h.biWidth, 0, h.biHeight < 0 ? -h.biHeight : h.biHeight});
}

int CDibImage::Paint(CDC* dc, int x, int y, BOOL forceBackground, const DibPart& part)
{
    if (!m_hSection)
        return 0;
    HPALETTE previous = nullptr;
    const bool usePalette = m_palette.GetSafeHandle() && (dc->GetDeviceCaps(RASTERCAPS) & RC_PALETTE);
    if (usePalette) {
        previous = dc->SelectPalette(m_palette, forceBackground);
        dc->RealizePalette();
    }
    const BITMAPINFOHEADER& h = m_info.header;
    const bool bottomUp = h.biHeight > 0;
    const int height = bottomUp ? h.biHeight : -h.biHeight;
    const int left = std::max(part.left, 0), right = std::min(part.right, static_cast<int>(h.biWidth));
    const int first = std::max(part.first, 0), end = std::min(part.end, height);
    const int width = std::max(right - left, 0), lines = std::max(end - first, 0);
    // Where the part shows: a bottom-up image shows scan 0 as its bottom
    // line. The source's y is that of the part's lower-left corner, counted
    // up from the image's bottom line whichever way its memory runs.
    const int top = bottomUp ? height - end : first;
    const int drawn = ::SetDIBitsToDevice(*dc, x + left, y + top, static_cast<DWORD>(width), static_cast<DWORD>(lines),
                                          left, height - top - lines, 0, static_cast<UINT>(height), m_pPixels,
                                          reinterpret_cast<const BITMAPINFO*>(&m_info), m_colorUse);
    if (usePalette && previous)
        dc->SelectPalette(previous, FALSE);
    return drawn;
}
