// CDibImage and the default palette against real GDI: what a section holds
// after CreateFromHeader, which palette it gets, how CreateFromPicture lays a
// picture out in memory and how Paint puts it on a device.
#include "image/DibImage.h"
#include "tests/win32/gdi_test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

struct Info256 {
    BITMAPINFOHEADER header;
    RGBQUAD colors[256];
};

Info256 MakeInfo(int width, int height, int bits)
{
    Info256 info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bits);
    info.header.biCompression = BI_RGB;
    return info;
}

const BITMAPINFO* AsInfo(const Info256& info)
{
    return reinterpret_cast<const BITMAPINFO*>(&info);
}

std::vector<PALETTEENTRY> EntriesOf(HPALETTE palette)
{
    std::vector<PALETTEENTRY> entries;
    if (!palette)
        return entries;
    const UINT count = ::GetPaletteEntries(palette, 0, 0, nullptr);
    entries.resize(count);
    if (count)
        ::GetPaletteEntries(palette, 0, count, entries.data());
    return entries;
}

bool IsColor(const PALETTEENTRY& e, int red, int green, int blue)
{
    return e.peRed == red && e.peGreen == green && e.peBlue == blue && e.peFlags == 0;
}

const std::uint8_t* Bytes(const CDibImage& image)
{
    return static_cast<const std::uint8_t*>(image.GetBits());
}

std::vector<std::uint8_t> Pattern(size_t size)
{
    std::vector<std::uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 1) | 1;
    return bytes;
}

// A picture object over a top-down 32-bit bitmap with the given pixels
// (0x00RRGGBB, rows from the top); the picture owns the bitmap.
IPicture* MakePicture(int width, int height, const std::vector<std::uint32_t>& pixels)
{
    HBITMAP bitmap = MakeTopDownBitmap(width, height, pixels);
    if (!bitmap)
        return nullptr;
    PICTDESC desc = {};
    desc.cbSizeofstruct = sizeof desc;
    desc.picType = PICTYPE_BITMAP;
    desc.bmp.hbitmap = bitmap;
    IPicture* picture = nullptr;
    if (FAILED(::OleCreatePictureIndirect(&desc, IID_IPicture, TRUE, reinterpret_cast<void**>(&picture)))) {
        ::DeleteObject(bitmap);
        return nullptr;
    }
    return picture;
}

// Four corners in distinct colours whose channels differ from each other, so
// that a swap of red and blue or of rows shows.
constexpr std::uint32_t kTopLeft = 0xFF0000;
constexpr std::uint32_t kTopRight = 0x00FF00;
constexpr std::uint32_t kBottomLeft = 0x0000FF;
constexpr std::uint32_t kBottomRight = 0x804020;
constexpr std::uint32_t kGrey = 0x606060;

IPicture* MakeCornerPicture(int width, int height)
{
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width * height), kGrey);
    pixels[0] = kTopLeft;
    pixels[width - 1] = kTopRight;
    pixels[(height - 1) * width] = kBottomLeft;
    pixels[height * width - 1] = kBottomRight;
    return MakePicture(width, height, pixels);
}

TEST(MakeDefaultPalette, HoldsTheDefaultColoursAndReplacesThePaletteBefore)
{
    const std::vector<PaletteColor> expected = DefaultPaletteColors(256);
    for (int count : {256, 0, -5, 300}) {
        CPalette palette;
        ASSERT_TRUE(MakeDefaultPalette(palette, count)) << count;
        const auto entries = EntriesOf(palette);
        ASSERT_EQ(entries.size(), 256u) << count;
        for (size_t i = 0; i < entries.size(); ++i)
            EXPECT_TRUE(IsColor(entries[i], expected[i].red, expected[i].green, expected[i].blue))
                << "count " << count << " entry " << i;
        EXPECT_TRUE(IsColor(entries[231], 255, 255, 255));
        EXPECT_TRUE(IsColor(entries[255], 255, 255, 255));
    }

    // Fewer entries are the first ones; a palette made again replaces and
    // deletes the one before.
    CPalette palette;
    ASSERT_TRUE(MakeDefaultPalette(palette, 16));
    const auto fixed = EntriesOf(palette);
    ASSERT_EQ(fixed.size(), 16u);
    EXPECT_TRUE(IsColor(fixed[2], 0, 0, 255));
    EXPECT_TRUE(IsColor(fixed[15], 192, 192, 192));
    const HGDIOBJ first = palette.GetSafeHandle();
    ASSERT_TRUE(MakeDefaultPalette(palette, 2));
    const auto mono = EntriesOf(palette);
    ASSERT_EQ(mono.size(), 2u);
    EXPECT_TRUE(IsColor(mono[0], 0, 0, 0));
    EXPECT_TRUE(IsColor(mono[1], 255, 255, 255));
    EXPECT_NE(palette.GetSafeHandle(), first);
    EXPECT_EQ(::GetObjectType(first), 0u);
}

TEST(CreateFromHeader, NullArgumentsLeaveTheObjectEmpty)
{
    CDibImage image;
    Info256 info = MakeInfo(4, 4, 32);
    std::vector<std::uint8_t> pixels(64);
    ASSERT_TRUE(image.CreateFromHeader(AsInfo(info), pixels.data()));

    EXPECT_FALSE(image.CreateFromHeader(nullptr, pixels.data()));
    EXPECT_EQ(image.GetBits(), nullptr);
    EXPECT_EQ(image.Header().biWidth, 0);
    EXPECT_EQ(image.Header().biBitCount, 0);

    ASSERT_TRUE(image.CreateFromHeader(AsInfo(info), pixels.data()));
    EXPECT_FALSE(image.CreateFromHeader(AsInfo(info), nullptr));
    EXPECT_EQ(image.GetBits(), nullptr);
}

// The copy takes the stated image size, cut to the section (a header
// claiming a megabyte for one page must not make it write past), or without
// one the whole padded rows, either way up; the fresh section is zero past
// what was copied.
TEST(CreateFromHeader, CopiesTheStatedSizeCutToTheSectionElseWholeRows)
{
    struct Case {
        int width, height, bits;
        DWORD stated;
        size_t copied, section;
    };
    // Three 24-bit pixels take 9 bytes, a row 12.
    for (const Case& c : {Case{16, 16, 32, 100, 100, 1024}, Case{32, 32, 32, 1 << 20, 4096, 4096},
                          Case{3, 5, 24, 0, 60, 60}, Case{4, -3, 32, 0, 48, 48}}) {
        Info256 info = MakeInfo(c.width, c.height, c.bits);
        info.header.biSizeImage = c.stated;
        const auto source = Pattern(std::max<size_t>(c.stated, c.section));
        CDibImage image;
        ASSERT_TRUE(image.CreateFromHeader(AsInfo(info), source.data()));
        for (size_t i = 0; i < c.section; ++i)
            ASSERT_EQ(Bytes(image)[i], i < c.copied ? source[i] : 0) << c.width << "x" << c.height << ", byte " << i;
    }
}

// A palette image's palette is its colour table (the whole table for a
// colour count beyond its depth), a true-colour image's the default one.
TEST(CreateFromHeader, ImagesGetTheirColourTableOrTheDefaultPalette)
{
    for (int bits : {1, 4, 8, 32}) {
        const int count = bits == 32 ? 256 : 1 << bits;
        Info256 info = MakeInfo(8, 2, bits);
        info.header.biClrUsed = bits == 4 ? 1000 : 0;
        for (int i = 0; i < count && bits < 32; ++i)
            info.colors[i] = {static_cast<BYTE>(i), static_cast<BYTE>(255 - i), static_cast<BYTE>(i * 3), 0};
        std::vector<std::uint8_t> pixels(64);
        CDibImage image;
        ASSERT_TRUE(image.CreateFromHeader(AsInfo(info), pixels.data())) << bits;
        const auto entries = EntriesOf(image.Palette());
        const auto standard = DefaultPaletteColors(256);
        ASSERT_EQ(entries.size(), static_cast<size_t>(count)) << bits;
        for (int i = 0; i < count; ++i) {
            if (bits == 32)
                EXPECT_TRUE(IsColor(entries[i], standard[i].red, standard[i].green, standard[i].blue)) << i;
            else
                EXPECT_TRUE(IsColor(entries[i], (i * 3) & 0xFF, 255 - i, i)) << bits << " entry " << i;
        }
    }
}

TEST(CreateFromHeader, ShortColourTableIsPaddedWithBlack)
{
    // A header using 100 colours makes a section whose table holds only
    // those: Windows reads back 100 entries, Wine 256 with the rest black.
    // Either way the palette keeps 256 entries and the last 156 are black.
    Info256 info = MakeInfo(8, 2, 8);
    info.header.biClrUsed = 100;
    for (int i = 0; i < 256; ++i)
        info.colors[i] = {200, static_cast<BYTE>(i), 100, 0};
    std::vector<std::uint8_t> pixels(16);
    CDibImage image;
    ASSERT_TRUE(image.CreateFromHeader(AsInfo(info), pixels.data()));
    const auto entries = EntriesOf(image.Palette());
    ASSERT_EQ(entries.size(), 256u);
    for (int i = 0; i < 100; ++i)
        EXPECT_TRUE(IsColor(entries[i], 100, i, 200)) << i;
    for (int i = 100; i < 256; ++i)
        EXPECT_TRUE(IsColor(entries[i], 0, 0, 0)) << i;
}

// Memory whose end touches an inaccessible page: a read past the last byte
// faults instead of reading what happens to lie there.
class GuardedBlock {
public:
    explicit GuardedBlock(size_t bytes)
    {
        SYSTEM_INFO system;
        ::GetSystemInfo(&system);
        const size_t page = system.dwPageSize;
        const size_t usable = (bytes + page - 1) / page * page;
        m_pBase = static_cast<std::uint8_t*>(::VirtualAlloc(nullptr, usable + page, MEM_COMMIT, PAGE_READWRITE));
        DWORD old = 0;
        if (m_pBase && ::VirtualProtect(m_pBase + usable, page, PAGE_NOACCESS, &old))
            m_pData = m_pBase + usable - bytes;
    }
    ~GuardedBlock()
    {
        if (m_pBase)
            ::VirtualFree(m_pBase, 0, MEM_RELEASE);
    }
    GuardedBlock(const GuardedBlock&) = delete;
    GuardedBlock& operator=(const GuardedBlock&) = delete;
    std::uint8_t* Data() const { return m_pData; }

private:
    std::uint8_t* m_pBase = nullptr;
    std::uint8_t* m_pData = nullptr;
};

TEST(CreateFromHeader, PackedDibWithAShortTableIsReadNoFurtherThanItsEnd)
{
    // Header, 100 colours and 8 x 8 pixels, packed, ending at a guard page:
    // reading a full 256-entry table would run 600 bytes past the end.
    constexpr int kColors = 100;
    constexpr size_t kPixelBytes = 8 * 8;
    const size_t size = sizeof(BITMAPINFOHEADER) + kColors * sizeof(RGBQUAD) + kPixelBytes;
    GuardedBlock block(size);
    ASSERT_NE(block.Data(), nullptr);
    BITMAPINFO* packed = reinterpret_cast<BITMAPINFO*>(block.Data());
    const Info256 info = MakeInfo(8, 8, 8);
    std::memcpy(&packed->bmiHeader, &info.header, sizeof(BITMAPINFOHEADER));
    packed->bmiHeader.biClrUsed = kColors;
    for (int i = 0; i < kColors; ++i)
        packed->bmiColors[i] = {10, static_cast<BYTE>(i), 250, 0};
    std::uint8_t* pixels = block.Data() + size - kPixelBytes;
    for (size_t i = 0; i < kPixelBytes; ++i)
        pixels[i] = static_cast<std::uint8_t>(i);

    CDibImage image;
    ASSERT_TRUE(image.CreateFromHeader(packed, pixels));
    EXPECT_EQ(std::memcmp(image.GetBits(), pixels, kPixelBytes), 0);
    const auto entries = EntriesOf(image.Palette());
    ASSERT_EQ(entries.size(), 256u);
    for (int i = 0; i < kColors; ++i)
        EXPECT_TRUE(IsColor(entries[i], 250, i, 10)) << i;
    for (int i = kColors; i < 256; ++i)
        EXPECT_TRUE(IsColor(entries[i], 0, 0, 0)) << i;
}

TEST(CreateFromPicture, StoresTopRowFirstAsZeroRedGreenBlueWords)
{
    if (ScreenBits() < 24)
        GTEST_SKIP() << "the colours below are exact only on a true-colour screen";
    IPicture* picture = MakeCornerPicture(4, 3);
    ASSERT_NE(picture, nullptr);
    CDibImage image;
    image.CreateFromPicture(picture, 4, 3);
    picture->Release();

    const std::uint8_t* bytes = Bytes(image);
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[0], 0);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 255);
    EXPECT_EQ(bytes[3], 0);
    const auto* words = static_cast<const std::uint32_t*>(image.GetBits());
    EXPECT_EQ(words[3], kTopRight);
    EXPECT_EQ(words[8], kBottomLeft);
    EXPECT_EQ(words[11], kBottomRight);
    EXPECT_EQ(words[5], kGrey);

    EXPECT_EQ(image.Header().biBitCount, 32);
    EXPECT_EQ(image.Header().biWidth, 4);
    EXPECT_EQ(image.Header().biHeight, 3);
    EXPECT_EQ(EntriesOf(image.Palette()).size(), 256u);
}

TEST(CreateFromPicture, ScalesThePictureToFillTheSize)
{
    if (ScreenBits() < 24)
        GTEST_SKIP() << "the colours below are exact only on a true-colour screen";
    IPicture* picture = MakeCornerPicture(4, 3);
    ASSERT_NE(picture, nullptr);
    CDibImage image;
    image.CreateFromPicture(picture, 12, 6);
    picture->Release();

    const auto* words = static_cast<const std::uint32_t*>(image.GetBits());
    ASSERT_NE(words, nullptr);
    // Each picture pixel becomes a 3 x 2 block.
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(words[y * 12 + x], kTopLeft) << x << "," << y;
            EXPECT_EQ(words[y * 12 + 9 + x], kTopRight) << x << "," << y;
            EXPECT_EQ(words[(4 + y) * 12 + x], kBottomLeft) << x << "," << y;
            EXPECT_EQ(words[(4 + y) * 12 + 9 + x], kBottomRight) << x << "," << y;
        }
    for (int i = 0; i < 72; ++i)
        EXPECT_EQ(words[i] >> 24, 0u) << i;
}

TEST(CreateFromPicture, NothingToRenderLeavesTheObjectEmpty)
{
    IPicture* picture = MakeCornerPicture(4, 3);
    ASSERT_NE(picture, nullptr);
    CDibImage image;
    image.CreateFromPicture(picture, 4, 3);
    ASSERT_NE(image.GetBits(), nullptr);
    image.CreateFromPicture(nullptr, 4, 3);
    EXPECT_EQ(image.GetBits(), nullptr);
    image.CreateFromPicture(picture, 0, 3);
    EXPECT_EQ(image.GetBits(), nullptr);
    image.CreateFromPicture(picture, 4, -1);
    EXPECT_EQ(image.GetBits(), nullptr);
    picture->Release();
}

// Top 256 rows: every 5-6-5 word, widened to 8-bit channels, so that a 16-bit
// screen holds every value it can. Below: every value of each channel, the
// channels apart, row after row in other orders.
std::vector<std::uint32_t> AllColourValues()
{
    std::vector<std::uint32_t> pixels;
    for (std::uint32_t word = 0; word < 65536; ++word) {
        const std::uint32_t r = word >> 11, g = (word >> 5) & 63, b = word & 31;
        pixels.push_back((((r << 3) | (r >> 2)) << 16) | (((g << 2) | (g >> 4)) << 8) | ((b << 3) | (b >> 2)));
    }
    for (std::uint32_t y = 0; y < 256; ++y)
        for (std::uint32_t x = 0; x < 256; ++x)
            pixels.push_back((x << 16) | (((x + y) & 255) << 8) | ((x * 7 + y * 13) & 255));
    return pixels;
}

// What one GetPixel a pixel gives for the picture rendered at the given size
// into a screen-compatible bitmap, as 0x00RRGGBB words from the top row.
std::vector<std::uint32_t> ReadPixelByPixel(IPicture* picture, int width, int height)
{
    std::vector<std::uint32_t> words;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    OLE_XSIZE_HIMETRIC pictureWidth = 0;
    OLE_YSIZE_HIMETRIC pictureHeight = 0;
    picture->get_Width(&pictureWidth);
    picture->get_Height(&pictureHeight);
    RECT bounds = {0, 0, width, height};
    if (SUCCEEDED(picture->Render(memory, 0, 0, width, height, 0, pictureHeight, pictureWidth, -pictureHeight,
                                  &bounds))) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const COLORREF c = ::GetPixel(memory, x, y);
                words.push_back((GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c));
            }
    }
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return words;
}

std::vector<std::uint32_t> WordsOf(const CDibImage& image)
{
    const auto* words = static_cast<const std::uint32_t*>(image.GetBits());
    if (!words)
        return {};
    return std::vector<std::uint32_t>(words, words + image.Header().biWidth * image.Header().biHeight);
}

// The pixel read-back, at whatever depth the screen has (scripts run this
// program on screens of each depth Xvfb offers).
TEST(PixelRead, TheBlockReadIsTakenAtThisDepth)
{
    // Wine's GetPixel and GetDIBits widen channels alike at every depth it
    // runs at; a false here means the slow read at start-up.
    RecordProperty("bits_per_pixel", ScreenBits());
    HDC screen = ::GetDC(nullptr);
    EXPECT_TRUE(BlockReadMatchesPixelRead(screen)) << ScreenBits() << " bits per pixel";
    EXPECT_EQ(BlockReadMatchesPixelRead(screen), BlockReadMatchesPixelRead(screen));
    ::ReleaseDC(nullptr, screen);
    EXPECT_FALSE(BlockReadMatchesPixelRead(nullptr));
}

TEST(PixelRead, StoresWhatGetPixelGivesForEveryColourValue)
{
    const std::vector<std::uint32_t> colours = AllColourValues();
    const int width = 256;
    const int height = static_cast<int>(colours.size()) / width;
    IPicture* picture = MakePicture(width, height, colours);
    ASSERT_NE(picture, nullptr);
    const std::vector<std::uint32_t> expected = ReadPixelByPixel(picture, width, height);
    CDibImage image;
    image.CreateFromPicture(picture, width, height);
    picture->Release();
    ASSERT_EQ(expected.size(), colours.size());

    const std::vector<std::uint32_t> actual = WordsOf(image);
    ASSERT_EQ(actual.size(), expected.size());
    int differences = 0;
    for (size_t i = 0; i < actual.size() && differences < 10; ++i)
        if (actual[i] != expected[i]) {
            ++differences;
            ADD_FAILURE() << "pixel " << i % width << "," << i / width << " at " << ScreenBits() << " bits: 0x"
                          << std::hex << actual[i] << ", GetPixel gives 0x" << expected[i];
        }
}

TEST(PixelRead, ScreenSizedReadMatchesAtOddWidths)
{
    // Rows whose 16- and 24-bit forms need padding, stretched from a smaller
    // picture so that the rendering itself mixes colours.
    std::vector<std::uint32_t> colours(37 * 23);
    for (size_t i = 0; i < colours.size(); ++i)
        colours[i] = static_cast<std::uint32_t>(i * 0x9E3779B1u) & 0xFFFFFF;
    IPicture* picture = MakePicture(37, 23, colours);
    ASSERT_NE(picture, nullptr);
    for (const SIZE size : {SIZE{1366, 7}, SIZE{1023, 5}, SIZE{1, 3}}) {
        const auto expected = ReadPixelByPixel(picture, size.cx, size.cy);
        CDibImage image;
        image.CreateFromPicture(picture, size.cx, size.cy);
        EXPECT_EQ(WordsOf(image), expected) << size.cx << " x " << size.cy;
    }
    picture->Release();
}

TEST(CopyFrom, GivesTheBytesOfASecondConversion)
{
    IPicture* picture = MakePicture(256, 512, AllColourValues());
    ASSERT_NE(picture, nullptr);
    CDibImage first, second, copy;
    first.CreateFromPicture(picture, 300, 200);
    second.CreateFromPicture(picture, 300, 200);
    picture->Release();
    ASSERT_NE(first.GetBits(), nullptr);

    ASSERT_TRUE(copy.CopyFrom(first));
    EXPECT_NE(copy.GetBits(), first.GetBits());
    EXPECT_EQ(std::memcmp(&copy.Header(), &second.Header(), sizeof(BITMAPINFOHEADER)), 0);
    EXPECT_EQ(std::memcmp(copy.GetBits(), second.GetBits(), 300 * 200 * 4), 0);
    const auto entries = EntriesOf(copy.Palette());
    const auto expected = EntriesOf(second.Palette());
    ASSERT_EQ(entries.size(), expected.size());
    EXPECT_EQ(std::memcmp(entries.data(), expected.data(), entries.size() * sizeof(PALETTEENTRY)), 0);

    // The copy owns its pixels: the show writes the display image while the
    // source stays as it was.
    static_cast<std::uint32_t*>(copy.GetBits())[0] ^= 0xFFFFFF;
    EXPECT_EQ(std::memcmp(first.GetBits(), second.GetBits(), 300 * 200 * 4), 0);
}

TEST(CopyFrom, AnEmptySourceEmptiesTheCopyAndNothingLeaks)
{
    IPicture* picture = MakeCornerPicture(4, 3);
    ASSERT_NE(picture, nullptr);
    CDibImage full, empty, copy;
    full.CreateFromPicture(picture, 40, 30);
    picture->Release();
    ASSERT_TRUE(copy.CopyFrom(full));
    const DWORD before = CountGdiObjects();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(copy.CopyFrom(full));
    EXPECT_TRUE(copy.CopyFrom(copy));
    EXPECT_EQ(CountGdiObjects(), before);

    EXPECT_FALSE(copy.CopyFrom(empty));
    EXPECT_EQ(copy.GetBits(), nullptr);
    EXPECT_EQ(copy.Header().biWidth, 0);
}

class PaintTarget {
public:
    PaintTarget(int width, int height) : m_width(width)
    {
        m_bitmap = MakeTopDownBitmap(width, height,
                                     std::vector<std::uint32_t>(static_cast<size_t>(width * height), 0x123456),
                                     &m_pixels);
        m_dc.CreateCompatibleDC(nullptr);
        m_old = ::SelectObject(m_dc, m_bitmap);
    }
    ~PaintTarget()
    {
        ::SelectObject(m_dc, m_old);
        ::DeleteObject(m_bitmap);
    }
    PaintTarget(const PaintTarget&) = delete;
    PaintTarget& operator=(const PaintTarget&) = delete;

    CDC* Dc() { return &m_dc; }
    std::uint32_t At(int x, int y)
    {
        ::GdiFlush();
        return m_pixels[y * m_width + x] & 0xFFFFFF;
    }

private:
    int m_width;
    CDC m_dc;
    HBITMAP m_bitmap = nullptr;
    HGDIOBJ m_old = nullptr;
    std::uint32_t* m_pixels = nullptr;
};

TEST(Paint, EmptyImageDrawsNothing)
{
    PaintTarget target(8, 8);
    CDibImage image;
    EXPECT_EQ(image.Paint(target.Dc(), 0, 0, FALSE), 0);
    EXPECT_EQ(target.At(0, 0), 0x123456u);
}

// The whole image with memory row 0 at the bottom when it is bottom-up, at
// the top when top-down; a part where it lies in the whole, cut to the
// image; an empty part draws nothing.
TEST(Paint, WholeOrInPartsRowsLandWhereTheImageShowsThem)
{
    if (ScreenBits() < 24)
        GTEST_SKIP() << "the colours below are exact only on a true-colour screen";
    constexpr int kWidth = 5, kHeight = 4, kX = 2, kY = 3;
    std::vector<std::uint32_t> pixels(kWidth * kHeight);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = 0x010203u * static_cast<std::uint32_t>(i + 1);
    for (const int sign : {1, -1}) {
        Info256 info = MakeInfo(kWidth, sign * kHeight, 32);
        CDibImage image;
        ASSERT_TRUE(image.CreateFromHeader(AsInfo(info), pixels.data()));
        for (const DibPart& part :
             {DibPart{0, kWidth, 0, kHeight}, DibPart{1, 4, 0, 2}, DibPart{3, 9, 2, 7}, DibPart{2, 2, 0, 4}}) {
            PaintTarget target(10, 10);
            if (part.right == kWidth && part.end == kHeight)
                EXPECT_EQ(image.Paint(target.Dc(), kX, kY, FALSE), kHeight);
            else
                image.Paint(target.Dc(), kX, kY, FALSE, part);
            for (int y = 0; y < 10; ++y) {
                for (int x = 0; x < 10; ++x) {
                    const int column = x - kX, line = y - kY;
                    const int scan = sign > 0 ? kHeight - 1 - line : line;
                    const bool inside = column >= part.left && column < std::min(part.right, kWidth) &&
                                        line >= 0 && line < kHeight && scan >= part.first && scan < part.end;
                    EXPECT_EQ(target.At(x, y), inside ? pixels[scan * kWidth + column] : 0x123456u)
                        << (sign > 0 ? "bottom-up" : "top-down") << " part " << part.left << ".." << part.right
                        << " x " << part.first << ".." << part.end << " at (" << x << ", " << y << ")";
                }
            }
        }
    }
}

TEST(Refill, ReplacingTheContentLeaksNoGdiObject)
{
    Info256 small = MakeInfo(8, 8, 8);
    Info256 large = MakeInfo(64, 32, 32);
    const auto pixels = Pattern(64 * 32 * 4);
    IPicture* picture = MakeCornerPicture(4, 3);
    ASSERT_NE(picture, nullptr);
    CDibImage image;
    ASSERT_TRUE(image.CreateFromHeader(AsInfo(small), pixels.data()));
    image.CreateFromPicture(picture, 16, 16);
    const DWORD before = CountGdiObjects();
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(image.CreateFromHeader(AsInfo(i % 2 ? small : large), pixels.data()));
        ASSERT_TRUE(image.BuildPalette());
        image.CreateFromPicture(picture, 16 + i, 16);
        ASSERT_NE(image.GetBits(), nullptr);
    }
    image.CreateFromPicture(picture, 16, 16);
    EXPECT_EQ(CountGdiObjects(), before);
    picture->Release();
}

} // namespace
