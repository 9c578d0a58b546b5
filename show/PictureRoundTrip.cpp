// The picture round trip of the animation window: the JPEG picture file is
// decoded and drawn stretched over the whole screen, the screen is captured
// into a BMP file in the temporary directory, and the file is read back with
// its rows reversed as the window's picture bitmap. When the file cannot be
// written or read back, the capture still held in memory takes its place.
#include "show/ShowWnd.h"

#include <ole2.h>
#include <olectl.h>

#include <cstring>

#include "framework/AfxCom.h"
#include "image/DibGeometry.h"

void CShowWnd::PreparePicture()
{
    char directory[MAX_PATH] = "";
    const UINT length = ::GetWindowsDirectoryA(directory, MAX_PATH);
    m_strWindowsDir = length > 0 && length < MAX_PATH ? directory : "";
    m_strPicturePath = m_strWindowsDir + "\\Morva0001.jpg";
    DrawPictureFile(m_strPicturePath);

    MakeTempFileName(m_strTempDir);
    m_strTempDir = m_strTempDir.Left(m_strTempDir.ReverseFind('\\'));
    m_strPicturePath = m_strTempDir + "\\cTempPicture.bmp";
    CScreenCapture capture;
    // Without a temporary directory the name would point at the root of the
    // current drive: the capture then stays in memory only.
    BOOL written = FALSE;
    if (m_strTempDir.IsEmpty())
        CaptureScreen(capture);
    else
        written = SaveScreenToFile(m_strPicturePath, capture);
    if (!written || !LoadPictureBitmap(m_strPicturePath))
        LoadPictureFromCapture(capture);
}

void CShowWnd::DrawPictureFile(const CString& path)
{
    CClientDC dc(m_hWnd ? this : nullptr);
    if (!dc.GetSafeHdc())
        return;
    CFile file;
    if (!file.Open(path, CFile::modeRead))
        return;
    CFileStatus status;
    if (!CFile::GetStatus(path, status) || status.m_size == -1 || status.m_size <= 0)
        return;
    const DWORD size = static_cast<DWORD>(status.m_size);

    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size);
    if (!block)
        return;
    void* bytes = ::GlobalLock(block);
    if (!bytes) {
        ::GlobalFree(block);
        return;
    }
    const UINT read = file.Read(bytes, size);
    ::GlobalUnlock(block);
    file.Close();

    CComRelease<IStream> stream;
    // The stream frees the block when it is released.
    if (read != size || FAILED(::CreateStreamOnHGlobal(block, TRUE, &stream.p))) {
        if (!stream.p)
            ::GlobalFree(block);
        return;
    }
    CComRelease<IPicture> picture;
    if (FAILED(::OleLoadPicture(stream.p, static_cast<LONG>(size), TRUE, IID_IPicture,
                                reinterpret_cast<void**>(&picture.p))) ||
        !picture.p)
        return;
    OLE_XSIZE_HIMETRIC width = 0;
    OLE_YSIZE_HIMETRIC height = 0;
    picture.p->get_Width(&width);
    picture.p->get_Height(&height);
    picture.p->Render(dc, 0, 0, dc.GetDeviceCaps(HORZRES), dc.GetDeviceCaps(VERTRES), 0, height, width, -height,
                      nullptr);
}

void CShowWnd::MakeTempFileName(CString& name)
{
    char directory[MAX_PATH] = "";
    char file[MAX_PATH] = "";
    const DWORD length = ::GetTempPathA(MAX_PATH, directory);
    if (length == 0 || length >= MAX_PATH) {
        name.Empty();
        return;
    }
    if (::GetTempFileNameA(directory, "~ex", 0, file))
        name = file;
    else
        // No unique name could be made (a full or read-only directory): the
        // directory itself still serves for the capture file.
        name = CString(directory) + "~ex";
}

BOOL CShowWnd::CaptureScreen(CScreenCapture& capture)
{
    capture.Free();
    CDC display;
    if (!display.CreateDC("DISPLAY"))
        return FALSE;
    const int width = ::GetSystemMetrics(SM_CXSCREEN);
    const int height = ::GetSystemMetrics(SM_CYSCREEN);
    CBitmap bitmap;
    CDC memory;
    if (!bitmap.CreateCompatibleBitmap(display, width, height) || !memory.CreateCompatibleDC(display))
        return FALSE;
    {
        CSelectGuard select(memory, bitmap.GetSafeHandle());
        ::BitBlt(memory, 0, 0, width, height, display, 0, 0, SRCCOPY);
    }

    BITMAP info;
    if (!bitmap.GetBitmap(&info))
        return FALSE;
    const int bitCount = CaptureBitCount(info.bmBitsPixel);
    CaptureLayout layout;
    if (!ComputeCaptureLayout(info.bmWidth, info.bmHeight, bitCount, layout))
        return FALSE;
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = info.bmWidth;
    header.biHeight = info.bmHeight;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bitCount);
    header.biCompression = BI_RGB;
    header.biSizeImage = layout.imageBytes;
    if (!capture.Allocate(header))
        return FALSE;
    ::GetDIBits(display, bitmap, 0, static_cast<UINT>(height), capture.Bits(), reinterpret_cast<BITMAPINFO*>(&header),
                DIB_RGB_COLORS);
    return TRUE;
}

BOOL CShowWnd::SaveScreenToFile(const CString& path, CScreenCapture& capture)
{
    if (!CaptureScreen(capture))
        return FALSE;
    const BITMAPINFOHEADER& header = capture.Header();
    CaptureLayout layout;
    if (!ComputeCaptureLayout(header.biWidth, header.biHeight, header.biBitCount, layout))
        return FALSE;
    const auto fileHeader = MakeCaptureHeader(header.biWidth, header.biHeight, header.biBitCount, layout);
    CFile file;
    if (!file.Open(path, CFile::modeCreate | CFile::modeWrite))
        return FALSE;
    const bool written = file.Write(fileHeader.data(), kCaptureHeaderBytes) &&
                         file.Write(capture.Bits(), layout.imageBytes);
    file.Close();
    // A capture cut short (a full disk) would load as a picture with
    // missing rows; an empty file loads as nothing instead.
    if (!written && file.Open(path, CFile::modeCreate | CFile::modeWrite))
        file.Close();
    return written;
}

BOOL CShowWnd::LoadPictureBitmap(LPCSTR path)
{
    m_bmPicture.DeleteObject();
    HBITMAP loaded = static_cast<HBITMAP>(
        ::LoadImageA(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION | LR_DEFAULTSIZE));
    if (!loaded)
        return FALSE;
    m_bmPicture.Attach(FlipBitmap(loaded));
    ::DeleteObject(loaded);
    return m_bmPicture.GetSafeHandle() != nullptr;
}

BOOL CShowWnd::LoadPictureFromCapture(const CScreenCapture& capture)
{
    m_bmPicture.DeleteObject();
    if (capture.IsEmpty())
        return FALSE;
    // The section the file would load as: its header, its pixels.
    BITMAPINFOHEADER header = capture.Header();
    void* bits = nullptr;
    CBitmap section;
    {
        CClientDC screen(nullptr);
        if (!screen.GetSafeHdc())
            return FALSE;
        section.Attach(::CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits,
                                          nullptr, 0));
    }
    if (!section.GetSafeHandle() || !bits)
        return FALSE;
    ::GdiFlush();
    std::memcpy(bits, capture.Bits(), header.biSizeImage);
    m_bmPicture.Attach(FlipBitmap(static_cast<HBITMAP>(section.GetSafeHandle())));
    return m_bmPicture.GetSafeHandle() != nullptr;
}

HBITMAP CShowWnd::FlipBitmap(HBITMAP source)
{
    CDC from;
    CDC to;
    BITMAP info;
    if (!from.CreateCompatibleDC(nullptr) || !to.CreateCompatibleDC(nullptr) ||
        !::GetObjectA(source, sizeof info, &info))
        return nullptr;
    CBitmap flipped;
    {
        CClientDC screen(nullptr);
        if (!flipped.CreateCompatibleBitmap(screen, info.bmWidth, info.bmHeight))
            return nullptr;
    }
    CSelectGuard selectFrom(from, source);
    CSelectGuard selectTo(to, flipped.GetSafeHandle());
    // A negative source extent from the last row copies the rows in reverse.
    ::StretchBlt(to, 0, 0, info.bmWidth, info.bmHeight, from, 0, info.bmHeight - 1, info.bmWidth, -info.bmHeight,
                 SRCCOPY);
    return static_cast<HBITMAP>(flipped.Detach());
}
