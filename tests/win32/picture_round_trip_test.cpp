// The picture round trip of the animation window against real GDI, OLE and
// files: a picture file drawn over the screen, the screen captured to a BMP
// file, the file read back rows reversed, and no GDI object left behind.
#include "show/ShowWnd.h"
#include "tests/win32/gdi_test_support.h"

#include <windows.h>
#include <olectl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Reaches the round trip's steps, which are the window's own.
class CPictureWnd : public CShowWnd {
public:
    CPictureWnd() : CShowWnd(FALSE) {}
    using CShowWnd::DrawPictureFile;
    using CShowWnd::FlipBitmap;
    using CShowWnd::LoadPictureBitmap;
    using CShowWnd::MakeTempFileName;
    using CShowWnd::CaptureScreen;
    using CShowWnd::LoadPictureFromCapture;
    using CShowWnd::PreparePicture;
    using CShowWnd::SaveScreenToFile;
    CBitmap& Picture() { return m_bmPicture; }
};

std::string TempDir()
{
    char dir[MAX_PATH];
    const DWORD n = ::GetTempPathA(MAX_PATH, dir);
    return std::string(dir, n);
}

std::string WindowsDir()
{
    char dir[MAX_PATH];
    const UINT n = ::GetWindowsDirectoryA(dir, MAX_PATH);
    return std::string(dir, n);
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return bytes;
    std::uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(f);
    return bytes;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr) << path;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

bool Exists(const std::string& path)
{
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::uint32_t Read16(const std::vector<std::uint8_t>& b, size_t at)
{
    return b[at] | (b[at + 1] << 8);
}

// A BMP file of the given depth (16, 24 or 32) from rows listed top first,
// each pixel 0xRRGGBB; stored bottom row first, as the capture is.
std::vector<std::uint8_t> MakeBmp(int width, int height, int bits, const std::vector<std::uint32_t>& topDown)
{
    const int row = RowBytes(width, bits);
    CaptureLayout layout;
    ComputeCaptureLayout(width, height, bits, layout);
    const auto header = MakeCaptureHeader(width, height, bits, layout);
    std::vector<std::uint8_t> file(header.begin(), header.end());
    file.resize(layout.fileBytes);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = &file[kCaptureHeaderBytes + static_cast<size_t>(height - 1 - y) * row];
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = topDown[y * width + x];
            const std::uint8_t r = c >> 16, g = c >> 8, b = c;
            if (bits == 16) {
                const unsigned word = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
                out[x * 2] = static_cast<std::uint8_t>(word);
                out[x * 2 + 1] = static_cast<std::uint8_t>(word >> 8);
            } else {
                const int step = bits / 8;
                out[x * step] = b;
                out[x * step + 1] = g;
                out[x * step + 2] = r;
            }
        }
    }
    return file;
}

// A bitmap's pixels as 0xRRGGBB, rows from the top.
std::vector<std::uint32_t> PixelsOf(HBITMAP bitmap, int& width, int& height)
{
    BITMAP info = {};
    ::GetObjectA(bitmap, sizeof info, &info);
    width = info.bmWidth;
    height = info.bmHeight;
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
    BITMAPINFO header = {};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = -height;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    HDC screen = ::GetDC(nullptr);
    ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(height), pixels.data(), &header, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, screen);
    for (auto& p : pixels)
        p &= 0xFFFFFF;
    return pixels;
}

// Rows of one colour each, and a marker in the first column of the top row,
// so that a flip, a mirror or a shift all show.
std::vector<std::uint32_t> RowPattern(int width, int height)
{
    static const std::uint32_t kRows[] = {0xF80000, 0x00F800, 0x0000F8, 0xF8F800, 0x00F8F8, 0xF800F8};
    std::vector<std::uint32_t> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixels[y * width + x] = kRows[y % 6];
    pixels[0] = 0xF8F8F8;
    return pixels;
}

SIZE ScreenSize()
{
    return {::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
}

void FillScreen(const RECT& rect, COLORREF color)
{
    HDC screen = ::GetDC(nullptr);
    HBRUSH brush = ::CreateSolidBrush(color);
    ::FillRect(screen, &rect, brush);
    ::DeleteObject(brush);
    ::ReleaseDC(nullptr, screen);
}

COLORREF ScreenPixel(int x, int y)
{
    HDC screen = ::GetDC(nullptr);
    const COLORREF c = ::GetPixel(screen, x, y);
    ::ReleaseDC(nullptr, screen);
    return c;
}

int CountTempNames()
{
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((TempDir() + "~ex*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int count = 0;
    do
        ++count;
    while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return count;
}

// The kinds of bitmap a flip is given: DIB sections either way up (the
// capture loads bottom-up), at 32 and 24 bits, and a bitmap in the screen's
// own format; each holding `pattern` (rows from the top).
enum class SourceKind { TopDown32, BottomUp32, BottomUp24, Screen };

HBITMAP MakeSource(SourceKind kind, int width, int height, const std::vector<std::uint32_t>& pattern)
{
    if (kind == SourceKind::TopDown32)
        return MakeTopDownBitmap(width, height, pattern);
    if (kind == SourceKind::Screen) {
        HDC screen = ::GetDC(nullptr);
        HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
        HBITMAP topDown = MakeTopDownBitmap(width, height, pattern);
        HDC from = ::CreateCompatibleDC(screen);
        HDC to = ::CreateCompatibleDC(screen);
        HGDIOBJ oldFrom = ::SelectObject(from, topDown);
        HGDIOBJ oldTo = ::SelectObject(to, bitmap);
        ::BitBlt(to, 0, 0, width, height, from, 0, 0, SRCCOPY);
        ::SelectObject(from, oldFrom);
        ::SelectObject(to, oldTo);
        ::DeleteDC(from);
        ::DeleteDC(to);
        ::DeleteObject(topDown);
        ::ReleaseDC(nullptr, screen);
        return bitmap;
    }
    const int bits = kind == SourceKind::BottomUp24 ? 24 : 32;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(bits);
    void* memory = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &memory, nullptr, 0);
    if (!bitmap)
        return nullptr;
    const int row = RowBytes(width, bits);
    for (int y = 0; y < height; ++y) {
        auto* out = static_cast<std::uint8_t*>(memory) + static_cast<size_t>(height - 1 - y) * row;
        for (int x = 0; x < width; ++x) {
            const std::uint32_t c = pattern[y * width + x];
            out[x * bits / 8] = static_cast<std::uint8_t>(c);
            out[x * bits / 8 + 1] = static_cast<std::uint8_t>(c >> 8);
            out[x * bits / 8 + 2] = static_cast<std::uint8_t>(c >> 16);
        }
    }
    return bitmap;
}

TEST(FlipBitmap, ReversesTheRowsOnly)
{
    for (SourceKind kind : {SourceKind::TopDown32, SourceKind::BottomUp32, SourceKind::BottomUp24, SourceKind::Screen})
        for (SIZE size : {SIZE{7, 5}, SIZE{3, 6}, SIZE{4, 1}}) {
            const auto pattern = RowPattern(size.cx, size.cy);
            // The pattern as the screen's format holds it: below 24 bits
            // channels are cut and widened again.
            int width = 0, height = 0;
            HBITMAP reference = MakeSource(SourceKind::Screen, size.cx, size.cy, pattern);
            const auto expected = PixelsOf(reference, width, height);
            ::DeleteObject(reference);
            HBITMAP source = MakeSource(kind, size.cx, size.cy, pattern);
            ASSERT_NE(source, nullptr);
            CPictureWnd wnd;
            HBITMAP flipped = wnd.FlipBitmap(source);
            ASSERT_NE(flipped, nullptr);
            BITMAP info = {};
            ::GetObjectA(flipped, sizeof info, &info);
            EXPECT_EQ(info.bmBitsPixel, ScreenBits());

            const auto pixels = PixelsOf(flipped, width, height);
            ASSERT_EQ(width, size.cx);
            ASSERT_EQ(height, size.cy);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    EXPECT_EQ(pixels[y * width + x], expected[(height - 1 - y) * width + x])
                        << "source kind " << static_cast<int>(kind) << ", " << size.cx << "x" << size.cy << " at "
                        << x << "," << y;

            // The source is no longer selected anywhere and is still the caller's.
            HDC dc = ::CreateCompatibleDC(nullptr);
            HGDIOBJ old = ::SelectObject(dc, source);
            EXPECT_TRUE(old != nullptr && old != HGDI_ERROR);
            ::SelectObject(dc, old);
            ::DeleteDC(dc);
            ::DeleteObject(flipped);
            ::DeleteObject(source);
        }
}

TEST(FlipBitmap, LeavesNoGdiObjectBehind)
{
    const auto pattern = RowPattern(64, 48);
    HBITMAP sources[] = {MakeSource(SourceKind::BottomUp32, 64, 48, pattern),
                         MakeSource(SourceKind::BottomUp24, 64, 48, pattern)};
    CPictureWnd wnd;
    ::DeleteObject(wnd.FlipBitmap(sources[0]));
    const DWORD before = CountGdiObjects();
    for (int i = 0; i < 6; ++i)
        ::DeleteObject(wnd.FlipBitmap(sources[i % 2]));
    EXPECT_EQ(CountGdiObjects(), before);
    for (HBITMAP source : sources)
        ::DeleteObject(source);
}

TEST(LoadPictureBitmap, TopRowOfThePictureIsTheFirstRowInTheFile)
{
    const std::string path = TempDir() + "picture_round_trip_test.bmp";
    const int width = 6, height = 4;
    const auto pattern = RowPattern(width, height);
    for (int bits : {32, 24, 16}) {
        WriteFile(path, MakeBmp(width, height, bits, pattern));
        CPictureWnd wnd;
        ASSERT_TRUE(wnd.LoadPictureBitmap(path.c_str())) << bits;
        int w = 0, h = 0;
        const auto pixels = PixelsOf(wnd.Picture(), w, h);
        ASSERT_EQ(w, width);
        ASSERT_EQ(h, height);
        // The file stores the image's bottom row first; that row is now on
        // top. Five bits a channel at 16 bits widen to 0xF8 or 0xFF.
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(pixels[y * width + x] & 0xF8F8F8, pattern[(height - 1 - y) * width + x])
                    << bits << " bits at " << x << "," << y;
    }
    ::DeleteFileA(path.c_str());
}

TEST(LoadPictureBitmap, NothingLoadableLeavesNoBitmap)
{
    const std::string path = TempDir() + "picture_round_trip_test.bmp";
    CPictureWnd wnd;
    WriteFile(path, MakeBmp(4, 4, 32, RowPattern(4, 4)));
    ASSERT_TRUE(wnd.LoadPictureBitmap(path.c_str()));
    HGDIOBJ first = wnd.Picture().GetSafeHandle();

    ::DeleteFileA(path.c_str());
    EXPECT_FALSE(wnd.LoadPictureBitmap(path.c_str()));
    EXPECT_EQ(wnd.Picture().GetSafeHandle(), nullptr);
    EXPECT_EQ(::GetObjectType(first), 0u);

    // Wine loads a BMP cut anywhere after its first header bytes, so only an
    // empty file or one that is no BMP at all is sure to give nothing.
    const std::string text = "not a picture";
    for (const auto& bytes : {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>(text.begin(), text.end())}) {
        WriteFile(path, bytes);
        EXPECT_FALSE(wnd.LoadPictureBitmap(path.c_str())) << bytes.size();
        EXPECT_EQ(wnd.Picture().GetSafeHandle(), nullptr) << bytes.size();
    }
    ::DeleteFileA(path.c_str());
}

TEST(SaveScreenToFile, WritesTheScreenBottomRowFirst)
{
    const SIZE screen = ScreenSize();
    FillScreen({0, 0, screen.cx, screen.cy}, RGB(0x40, 0x40, 0x40));
    FillScreen({0, 0, 16, 16}, RGB(0xF8, 0, 0));
    FillScreen({0, screen.cy - 16, 16, screen.cy}, RGB(0, 0, 0xF8));
    FillScreen({screen.cx - 16, screen.cy - 16, screen.cx, screen.cy}, RGB(0, 0xF8, 0));

    const std::string path = TempDir() + "picture_round_trip_test_capture.bmp";
    // A longer file already there is replaced, not written over in part.
    WriteFile(path, std::vector<std::uint8_t>(12u << 20, 0xAB));
    CPictureWnd wnd;
    CScreenCapture capture;
    EXPECT_TRUE(wnd.SaveScreenToFile(path.c_str(), capture));
    const auto file = ReadFile(path);

    const int bits = CaptureBitCount(ScreenBits());
    CaptureLayout layout;
    ASSERT_TRUE(ComputeCaptureLayout(screen.cx, screen.cy, bits, layout));
    ASSERT_EQ(file.size(), layout.fileBytes);
    const auto header = MakeCaptureHeader(screen.cx, screen.cy, bits, layout);
    EXPECT_TRUE(std::equal(header.begin(), header.end(), file.begin()));

    auto pixel = [&](int storedRow, int x) -> std::uint32_t {
        const size_t at = kCaptureHeaderBytes + static_cast<size_t>(storedRow) * layout.rowBytes;
        if (bits == 16) {
            const std::uint32_t w = Read16(file, at + x * 2);
            return (((w >> 10) & 31) << 19) | (((w >> 5) & 31) << 11) | ((w & 31) << 3);
        }
        const size_t p = at + static_cast<size_t>(x) * (bits / 8);
        return (file[p + 2] << 16) | (file[p + 1] << 8) | file[p];
    };
    EXPECT_EQ(pixel(0, 0), 0x0000F8u);
    EXPECT_EQ(pixel(0, screen.cx - 1), 0x00F800u);
    EXPECT_EQ(pixel(screen.cy - 1, 0), 0xF80000u);
    EXPECT_EQ(pixel(screen.cy - 1, screen.cx - 1), 0x404040u);
    EXPECT_EQ(pixel(screen.cy / 2, screen.cx / 2), 0x404040u);
    ::DeleteFileA(path.c_str());

    // The capture in memory is the file without its 14-byte file header.
    ASSERT_FALSE(capture.IsEmpty());
    EXPECT_EQ(std::memcmp(&capture.Header(), &file[14], sizeof(BITMAPINFOHEADER)), 0);
    EXPECT_EQ(std::memcmp(capture.Bits(), &file[kCaptureHeaderBytes], layout.imageBytes), 0);
}

TEST(SaveScreenToFile, AnUnopenablePathWritesNothingAndKeepsTheCapture)
{
    const std::string path = TempDir() + "no such folder\\cTempPicture.bmp";
    CPictureWnd wnd;
    CScreenCapture capture;
    EXPECT_FALSE(wnd.SaveScreenToFile(path.c_str(), capture));
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(capture.IsEmpty());
    EXPECT_EQ(capture.Header().biWidth, ScreenSize().cx);
    EXPECT_EQ(capture.Header().biHeight, ScreenSize().cy);
}

// A screen of stripes and corner marks that show a flip, a mirror or a shift.
void PaintMarkedScreen()
{
    const SIZE screen = ScreenSize();
    for (int y = 0; y < screen.cy; y += 32)
        FillScreen({0, y, screen.cx, y + 32}, RGB((y * 3) & 0xF8, 0x80, (255 - y) & 0xF8));
    FillScreen({0, 0, 24, 24}, RGB(0xF8, 0, 0));
    FillScreen({screen.cx - 24, screen.cy - 24, screen.cx, screen.cy}, RGB(0, 0xF8, 0));
}

std::vector<std::uint32_t> PicturePixels(CPictureWnd& wnd)
{
    int width = 0, height = 0;
    return wnd.Picture().GetSafeHandle() ? PixelsOf(wnd.Picture(), width, height) : std::vector<std::uint32_t>();
}

TEST(LoadPictureFromCapture, GivesThePictureTheFileGives)
{
    PaintMarkedScreen();
    const std::string path = TempDir() + "picture_round_trip_test_capture.bmp";
    CPictureWnd fromFile, fromMemory;
    CScreenCapture capture;
    ASSERT_TRUE(fromFile.SaveScreenToFile(path.c_str(), capture));
    ASSERT_TRUE(fromFile.LoadPictureBitmap(path.c_str()));
    ASSERT_TRUE(fromMemory.LoadPictureFromCapture(capture));
    const auto expected = PicturePixels(fromFile);
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(PicturePixels(fromMemory) == expected);
    // Rows reversed, as the show needs them: the screen's bottom row is on top.
    const SIZE screen = ScreenSize();
    EXPECT_EQ(expected[screen.cx - 1] & 0xF8F8F8, 0x00F800u);
    EXPECT_EQ(expected[static_cast<size_t>(screen.cy - 1) * screen.cx] & 0xF8F8F8, 0xF80000u);
    ::DeleteFileA(path.c_str());

    CScreenCapture empty;
    EXPECT_FALSE(fromMemory.LoadPictureFromCapture(empty));
    EXPECT_EQ(fromMemory.Picture().GetSafeHandle(), nullptr);
}

TEST(DrawPictureFile, StretchesThePictureOverTheWholeScreen)
{
    const SIZE screen = ScreenSize();
    FillScreen({0, 0, screen.cx, screen.cy}, RGB(0x40, 0x40, 0x40));
    // The decoder reads what the bytes are, whatever the name: a 2 x 2 BMP
    // stands for a picture whose four pixels become the screen's quarters.
    const std::string path = TempDir() + "picture_round_trip_test_picture.jpg";
    WriteFile(path, MakeBmp(2, 2, 24, {0xF80000, 0x00F800, 0x0000F8, 0xF8F800}));
    CPictureWnd wnd;
    wnd.DrawPictureFile(path.c_str());
    ::DeleteFileA(path.c_str());

    const int right = screen.cx - 1, bottom = screen.cy - 1;
    const int midX = screen.cx / 2, midY = screen.cy / 2;
    EXPECT_EQ(ScreenPixel(0, 0), RGB(0xF8, 0, 0));
    EXPECT_EQ(ScreenPixel(midX - 2, midY - 2), RGB(0xF8, 0, 0));
    EXPECT_EQ(ScreenPixel(right, 0), RGB(0, 0xF8, 0));
    EXPECT_EQ(ScreenPixel(midX + 2, midY - 2), RGB(0, 0xF8, 0));
    EXPECT_EQ(ScreenPixel(0, bottom), RGB(0, 0, 0xF8));
    EXPECT_EQ(ScreenPixel(midX - 2, midY + 2), RGB(0, 0, 0xF8));
    EXPECT_EQ(ScreenPixel(right, bottom), RGB(0xF8, 0xF8, 0));
    EXPECT_EQ(ScreenPixel(midX + 2, midY + 2), RGB(0xF8, 0xF8, 0));
}

TEST(DrawPictureFile, NoPictureLeavesTheScreenAsItWas)
{
    const SIZE screen = ScreenSize();
    const std::string path = TempDir() + "picture_round_trip_test_picture.jpg";
    const std::vector<std::vector<std::uint8_t>> contents = {
        {}, {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, 'J', 'F', 'I', 'F'}, std::vector<std::uint8_t>(5000, 0x5A)};
    CPictureWnd wnd;
    for (size_t i = 0; i <= contents.size(); ++i) {
        FillScreen({0, 0, screen.cx, screen.cy}, RGB(0x30, 0x50, 0x70));
        if (i < contents.size())
            WriteFile(path, contents[i]);
        else
            ::DeleteFileA(path.c_str());
        wnd.DrawPictureFile(path.c_str());
        EXPECT_EQ(ScreenPixel(0, 0), RGB(0x30, 0x50, 0x70)) << i;
        EXPECT_EQ(ScreenPixel(screen.cx / 2, screen.cy / 2), RGB(0x30, 0x50, 0x70)) << i;
    }
    ::DeleteFileA(path.c_str());
}

TEST(MakeTempFileName, EachCallLeavesANewEmptyFile)
{
    const int before = CountTempNames();
    CPictureWnd wnd;
    CString first, second;
    wnd.MakeTempFileName(first);
    wnd.MakeTempFileName(second);
    EXPECT_EQ(CountTempNames(), before + 2);
    EXPECT_NE(std::string(static_cast<LPCSTR>(first)), std::string(static_cast<LPCSTR>(second)));
    for (const CString& name : {first, second}) {
        const std::string path(static_cast<LPCSTR>(name));
        EXPECT_EQ(path.rfind(TempDir() + "~ex", 0), 0u) << path;
        WIN32_FILE_ATTRIBUTE_DATA data;
        ASSERT_TRUE(::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) << path;
        EXPECT_EQ(data.nFileSizeLow, 0u) << path;
    }
}

// The preparation's picture when the capture file works, and when it is
// kept from working in the ways a system can: the show must not tell them
// apart.
class PreparePictureFallback : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_capturePath = TempDir() + "cTempPicture.bmp";
        PaintMarkedScreen();
        CPictureWnd wnd;
        wnd.PreparePicture();
        m_expected = PicturePixels(wnd);
        ASSERT_FALSE(m_expected.empty());
    }
    void TearDown() override
    {
        ::RemoveDirectoryA(m_capturePath.c_str());
        ::DeleteFileA(m_capturePath.c_str());
    }

    void ExpectTheSamePicture()
    {
        PaintMarkedScreen();
        CPictureWnd wnd;
        wnd.PreparePicture();
        EXPECT_TRUE(PicturePixels(wnd) == m_expected);
    }

    std::string m_capturePath;
    std::vector<std::uint32_t> m_expected;
};

TEST_F(PreparePictureFallback, ADirectoryUnderTheCaptureName)
{
    ::DeleteFileA(m_capturePath.c_str());
    ASSERT_TRUE(::CreateDirectoryA(m_capturePath.c_str(), nullptr));
    ExpectTheSamePicture();
}

TEST_F(PreparePictureFallback, ACaptureFileHeldOpenWithoutSharing)
{
    HANDLE held = ::CreateFileA(m_capturePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ExpectTheSamePicture();
    ::CloseHandle(held);
}

TEST_F(PreparePictureFallback, NoTemporaryPathWritesNothingAtTheDriveRoot)
{
    // GetTempPathA fails when the variable it reads names a path too long
    // for its buffer.
    char saved[2][MAX_PATH] = {};
    const char* names[2] = {"TMP", "TEMP"};
    for (int i = 0; i < 2; ++i)
        ::GetEnvironmentVariableA(names[i], saved[i], MAX_PATH);
    const std::string tooLong = "C:\\" + std::string(300, 'x');
    for (const char* name : names)
        ::SetEnvironmentVariableA(name, tooLong.c_str());
    char probe[MAX_PATH];
    const DWORD length = ::GetTempPathA(MAX_PATH, probe);
    const std::string atRoot = "\\cTempPicture.bmp";
    ::DeleteFileA(atRoot.c_str());
    if (length == 0 || length >= MAX_PATH)
        ExpectTheSamePicture();
    EXPECT_FALSE(Exists(atRoot));
    for (int i = 0; i < 2; ++i)
        ::SetEnvironmentVariableA(names[i], saved[i][0] ? saved[i] : nullptr);
    ::DeleteFileA(atRoot.c_str());
    ASSERT_TRUE(length == 0 || length >= MAX_PATH) << "the temporary path could not be made to fail";
}

// The full preparation as the window runs it: picture to screen, screen to
// file, file to bitmap, bitmap to the two images.
void PrepareAndConvert(int width, int height)
{
    CPictureWnd wnd;
    wnd.PreparePicture();
    PICTDESC desc = {};
    desc.cbSizeofstruct = sizeof desc;
    desc.picType = PICTYPE_BITMAP;
    desc.bmp.hbitmap = static_cast<HBITMAP>(wnd.Picture().Detach());
    ASSERT_NE(desc.bmp.hbitmap, nullptr);
    IPicture* picture = nullptr;
    ASSERT_TRUE(SUCCEEDED(::OleCreatePictureIndirect(&desc, IID_IPicture, TRUE, reinterpret_cast<void**>(&picture))));
    {
        CDibImage source, display;
        source.CreateFromPicture(picture, width, height);
        display.CreateFromPicture(picture, width, height);
        EXPECT_NE(source.GetBits(), nullptr);
        EXPECT_NE(display.GetBits(), nullptr);
    }
    picture->Release();
}

// GDI objects that decoding the picture file leaves behind by itself. Wine's
// OleLoadPicture in run mode makes a picture that does not own its bitmap,
// so one bitmap outlives every decoding there; Windows leaves none.
DWORD DecoderLeak(const std::string& path)
{
    const auto bytes = ReadFile(path);
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    if (!block)
        return 0;
    std::memcpy(::GlobalLock(block), bytes.data(), bytes.size());
    ::GlobalUnlock(block);
    IStream* stream = nullptr;
    if (FAILED(::CreateStreamOnHGlobal(block, TRUE, &stream))) {
        ::GlobalFree(block);
        return 0;
    }
    const DWORD before = CountGdiObjects();
    IPicture* picture = nullptr;
    ::OleLoadPicture(stream, static_cast<LONG>(bytes.size()), TRUE, IID_IPicture, reinterpret_cast<void**>(&picture));
    if (picture)
        picture->Release();
    stream->Release();
    return CountGdiObjects() - before;
}

TEST(PreparePicture, LeavesNoGdiObjectBehind)
{
    // The picture file decodes whatever its bytes are; when the Windows
    // directory has none, a small BMP under that name stands in for it.
    const std::string picturePath = WindowsDir() + "\\Morva0001.jpg";
    const bool placed = !Exists(picturePath);
    if (placed)
        WriteFile(picturePath, MakeBmp(8, 6, 24, RowPattern(8, 6)));

    const SIZE screen = ScreenSize();
    // The first run makes what GDI keeps for the rest of the process.
    PrepareAndConvert(screen.cx, screen.cy);
    const DWORD decoderLeak = DecoderLeak(picturePath);
    const DWORD before = CountGdiObjects();
    ASSERT_GT(before, 0u);
    PrepareAndConvert(screen.cx, screen.cy);
    EXPECT_EQ(CountGdiObjects(), before + decoderLeak);
    std::printf("  GDI objects %lu before, %lu after; the decoder itself keeps %lu\n", before, CountGdiObjects(),
                decoderLeak);

    if (placed)
        ::DeleteFileA(picturePath.c_str());
}

} // namespace
