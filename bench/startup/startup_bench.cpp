// Times each phase of the full-screen show's preparation in-process: the
// picture file decoded and drawn over the screen, the screen captured and
// written, the capture loaded and flipped, and the two conversions into
// screen-sized images (the second a copy of the first, as the show makes it),
// the flat water and the start of the tune.
// Prints the fastest and the median of a few runs.
//   startup_bench [runs]
#include "show/ShowWnd.h"

#include <windows.h>
#include <olectl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

class CBenchWnd : public CShowWnd {
public:
    CBenchWnd() : CShowWnd(FALSE) {}
    using CShowWnd::DrawPictureFile;
    using CShowWnd::FlipBitmap;
    using CShowWnd::LoadPictureBitmap;
    using CShowWnd::MakeTempFileName;
    using CShowWnd::SaveScreenToFile;
    CBitmap& Picture() { return m_bmPicture; }
};

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        ::QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

enum Phase {
    kDecodeDraw,
    kCapture,
    kLoad,
    kFlip,
    kLoadFlip,
    kFirstImage,
    kSecondImage,
    kWater,
    kMusic,
    kTotal,
    kPhases
};
const char* const kNames[kPhases] = {
    "decode and draw (DrawPictureFile)",
    "capture and write (MakeTempFileName, SaveScreenToFile)",
    "  of which: LoadImageA of the capture",
    "  of which: FlipBitmap",
    "load and flip (LoadPictureBitmap)",
    "first image (OleCreatePictureIndirect, CreateFromPicture)",
    "second image (CopyFrom the first)",
    "flat water (CEffectEngine::Create)",
    "music (CMidiPlayer Open, Play)",
    "preparation in all",
};

void RunOnce(std::vector<double> (&times)[kPhases], int width, int height)
{
    char windows[MAX_PATH] = "";
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    const CString picturePath = CString(windows) + "\\Morva0001.jpg";
    CBenchWnd wnd;
    CDibImage source, display;

    const double start = Now();
    wnd.DrawPictureFile(picturePath);
    const double drawn = Now();
    CString temp;
    wnd.MakeTempFileName(temp);
    temp = temp.Left(temp.ReverseFind('\\'));
    const CString capturePath = temp + "\\cTempPicture.bmp";
    CScreenCapture capture;
    wnd.SaveScreenToFile(capturePath, capture);
    const double captured = Now();
    wnd.LoadPictureBitmap(capturePath);
    const double loaded = Now();

    PICTDESC desc = {};
    desc.cbSizeofstruct = sizeof desc;
    desc.picType = PICTYPE_BITMAP;
    desc.bmp.hbitmap = static_cast<HBITMAP>(wnd.Picture().GetSafeHandle());
    IPicture* picture = nullptr;
    if (desc.bmp.hbitmap &&
        SUCCEEDED(::OleCreatePictureIndirect(&desc, IID_IPicture, TRUE, reinterpret_cast<void**>(&picture))))
        wnd.Picture().Detach();
    if (picture)
        source.CreateFromPicture(picture, width, height);
    const double first = Now();
    display.CopyFrom(source);
    const double second = Now();
    if (picture)
        picture->Release();
    CEffectEngine water;
    water.Create(width, height);
    const double flattened = Now();
    CMidiPlayer music;
    music.Open(CString(windows) + "\\4.mid");
    music.Play();
    const double playing = Now();

    // The load and the flip apart, on the same file.
    const double loadStart = Now();
    HBITMAP section = static_cast<HBITMAP>(::LoadImageA(nullptr, capturePath, IMAGE_BITMAP, 0, 0,
                                                        LR_LOADFROMFILE | LR_CREATEDIBSECTION | LR_DEFAULTSIZE));
    const double sectionLoaded = Now();
    HBITMAP flipped = section ? wnd.FlipBitmap(section) : nullptr;
    const double flipDone = Now();
    if (flipped)
        ::DeleteObject(flipped);
    if (section)
        ::DeleteObject(section);

    times[kDecodeDraw].push_back(drawn - start);
    times[kCapture].push_back(captured - drawn);
    times[kLoad].push_back(sectionLoaded - loadStart);
    times[kFlip].push_back(flipDone - sectionLoaded);
    times[kLoadFlip].push_back(loaded - captured);
    times[kFirstImage].push_back(first - loaded);
    times[kSecondImage].push_back(second - first);
    times[kWater].push_back(flattened - second);
    times[kMusic].push_back(playing - flattened);
    times[kTotal].push_back(playing - start);
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

double GetPixelMicroseconds(int width, int height)
{
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    const int rows = std::min(height, 200);
    COLORREF sum = 0;
    const double start = Now();
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < width; ++x)
            sum += ::GetPixel(memory, x, y);
    const double took = Now() - start;
    ::SelectObject(memory, old);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return sum == 0xFFFFFFFF ? 0.0 : took * 1000.0 / (static_cast<double>(rows) * width);
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    HDC screen = ::GetDC(nullptr);
    const int width = ::GetDeviceCaps(screen, HORZRES);
    const int height = ::GetDeviceCaps(screen, VERTRES);
    const int bits = ::GetDeviceCaps(screen, BITSPIXEL);
    ::ReleaseDC(nullptr, screen);

    std::vector<double> times[kPhases];
    RunOnce(times, width, height);  // first use of OLE, the decoder and GDI
    for (auto& t : times)
        t.clear();
    for (int i = 0; i < runs; ++i)
        RunOnce(times, width, height);

    std::printf("screen %d x %d, %d bits per pixel; %d runs after one warm-up\n", width, height, bits, runs);
    std::printf("%-60s %9s %9s\n", "phase", "min ms", "median ms");
    for (int p = 0; p < kPhases; ++p) {
        const double fastest = *std::min_element(times[p].begin(), times[p].end());
        std::printf("%-60s %9.1f %9.1f\n", kNames[p], fastest, Median(times[p]));
    }
    const double perPixel = GetPixelMicroseconds(width, height);
    std::printf("GetPixel on a screen-compatible bitmap: %.3f us a call; %d x %d calls a conversion = %.0f ms\n",
                perPixel, width, height, perPixel * width * height / 1000.0);
    return 0;
}
