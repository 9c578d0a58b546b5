#include "show/ShowWnd.h"

#include <olectl.h>

#include <algorithm>
#include <new>

#include "app/ShowApp.h"
#include "framework/AfxCom.h"
#include "res/resource.h"

namespace {

// The one window class of every animation window, registered on first use.
LPCSTR g_pszClassName = nullptr;

// The box of the display image's scans holding every column that the
// tick's steps have drawn so far; empty when they drew nothing. The scene
// draws into the image's own memory, so its target's lines are the scans.
DibPart DrawnPart(CWaterShow& scene)
{
    DibPart part;
    const ripple::Span* rows = scene.DrawnSoFar();
    if (!rows)
        return part;
    const ripple::Target& into = scene.Into();
    part.left = scene.Width();
    for (int line = 0; line < into.height; ++line) {
        const ripple::Span& span = rows[into.RowAtLine(line)];
        if (span.Empty())
            continue;
        if (part.first >= part.end)
            part.first = line;
        part.end = line + 1;
        part.left = std::min(part.left, static_cast<int>(span.first));
        part.right = std::max(part.right, static_cast<int>(span.end));
    }
    return part;
}

// What the window adds to a tick of its scene: its tune, and a paint of the
// display image on the tick's DC after every step, of the whole image when
// the screen may have lost it (`whole`, cleared once painted), else of what
// the tick has drawn so far. A wave moves a pixel or so a step, so the box
// of a tick's two steps is hardly larger than that of its second. A step
// that drew nothing still gets its paint, of nothing: one paint a step.
class CTickHooks final : public ShowHooks {
public:
    CTickHooks(CMidiPlayer& music, const CString& musicPath, CWaterShow& scene, CDibImage& display, CDC& dc,
               bool& whole)
        : m_music(music), m_strMusicPath(musicPath), m_scene(scene), m_display(display), m_dc(dc), m_bWhole(whole)
    {
    }

    void CloseMusic() override { m_music.Close(); }
    void StartMusic() override
    {
        m_music.Open(m_strMusicPath);
        m_music.Play();
    }
    void StepDrawn(bool) override
    {
        if (m_bWhole)
            m_display.Paint(&m_dc, 0, 0, FALSE);
        else
            m_display.Paint(&m_dc, 0, 0, FALSE, DrawnPart(m_scene));
        m_bWhole = false;
    }

private:
    CMidiPlayer& m_music;
    const CString& m_strMusicPath;
    CWaterShow& m_scene;
    CDibImage& m_display;
    CDC& m_dc;
    bool& m_bWhole;
};

} // namespace

BEGIN_MESSAGE_MAP(CShowWnd, CWnd)
    ON_WM_TIMER()
    ON_WM_PAINT()
    ON_WM_SIZE()
    ON_WM_CREATE()
END_MESSAGE_MAP()

CShowWnd::CShowWnd(BOOL autoDelete) : m_bAutoDelete(autoDelete) {}

CShowWnd::CShowWnd(BOOL autoDelete, CMciSeam& mci) : m_music(mci), m_bAutoDelete(autoDelete) {}

CShowWnd::~CShowWnd() = default;

BOOL CShowWnd::Create(DWORD exStyle, DWORD style, const RECT& rect, CWnd* parent)
{
    if (!g_pszClassName) {
        HCURSOR blank = ::LoadCursorA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDC_BLANK));
        g_pszClassName = AfxRegisterWndClass(CS_HREDRAW | CS_VREDRAW, blank);
        if (!g_pszClassName)
            return FALSE;
    }
    m_pApp = GetShowApp();
    if (m_pApp && m_pApp->m_strRunMode == "p") {
        m_bPreview = true;
    } else if (!PrepareShow()) {
        return FALSE;
    }
    return CreateEx(exStyle, g_pszClassName, "", style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr, nullptr);
}

// Everything the full-screen show needs, made while the picture is on the
// screen and before the window covers it.
bool CShowWnd::PrepareShow()
{
    CClientDC screen(nullptr);
    if (!screen.GetSafeHdc())
        return false;
    m_nScreenWidth = screen.GetDeviceCaps(HORZRES);
    m_nScreenHeight = screen.GetDeviceCaps(VERTRES);

    PreparePicture();

    PICTDESC desc = {};
    desc.cbSizeofstruct = sizeof desc;
    desc.picType = PICTYPE_BITMAP;
    desc.bmp.hbitmap = static_cast<HBITMAP>(m_bmPicture.GetSafeHandle());
    CComRelease<IPicture> picture;
    if (desc.bmp.hbitmap &&
        SUCCEEDED(::OleCreatePictureIndirect(&desc, IID_IPicture, TRUE, reinterpret_cast<void**>(&picture.p)))) {
        // The picture object owns the bitmap now and deletes it on release.
        m_bmPicture.Detach();
    }
    if (picture.p) {
        m_dibSource.CreateFromPicture(picture.p, m_nScreenWidth, m_nScreenHeight);
        // The display image starts as the same picture at the same size: a
        // copy of the source's pixels, not a second rendering and read-back.
        if (!m_dibDisplay.CopyFrom(m_dibSource))
            m_dibDisplay.CreateFromPicture(picture.p, m_nScreenWidth, m_nScreenHeight);
    }
    m_pScene.reset(new (std::nothrow) CWaterShow(m_pApp ? m_pApp->m_nEffectMode : 0));
    if (m_pScene) {
        // Both frames of a tick are painted. The scene runs over the images'
        // own pixels: a screen-sized picture is not copied once more.
        m_pScene->SetEveryStepSeen(true);
        auto* display = static_cast<uint32_t*>(m_dibDisplay.GetBits());
        m_pScene->Start(display ? static_cast<const uint32_t*>(m_dibSource.GetBits()) : nullptr, m_nScreenWidth,
                        m_nScreenHeight,
                        display ? ripple::Target::BottomUp(display, m_nScreenWidth, m_nScreenHeight) : ripple::Target());
    }

    m_strMusicPath = m_strWindowsDir + "\\4.mid";
    m_music.Open(m_strMusicPath);
    m_music.Play();
    return true;
}

int CShowWnd::OnCreate(LPCREATESTRUCT create)
{
    if (CWnd::OnCreate(create) == -1)
        return -1;
    m_pApp = GetShowApp();
    if (m_pApp && m_pApp->m_strRunMode == "p")
        m_bPreview = true;
    SetTimer(kTimerId, kTimerPeriod);
    return 0;
}

void CShowWnd::OnTimer(UINT_PTR id)
{
    // The system may still hand over a tick that was due when the timer
    // stopped.
    if (m_bResting)
        return;
    // A preview child outlives its parent when the parent's process dies
    // without destroying its windows; nothing else would ever end it.
    if (m_bPreview && !::IsWindow(::GetParent(m_hWnd))) {
        DestroyWindow();
        return;
    }
    // The preview's ticks draw nothing.
    if (!m_pScene) {
        CWnd::OnTimer(id);
        return;
    }
    CClientDC dc(this);
    CTickHooks hooks(m_music, m_strMusicPath, *m_pScene, m_dibDisplay, dc, m_bPaintWhole);
    if (m_pScene->Tick(hooks, dc.GetDeviceCaps(HORZRES), dc.GetDeviceCaps(VERTRES)))
        CWnd::OnTimer(id);
}

void CShowWnd::Rest()
{
    if (m_bResting)
        return;
    m_bResting = true;
    KillTimer(kTimerId);
    m_music.Pause();
}

void CShowWnd::Wake()
{
    if (!m_bResting)
        return;
    m_bResting = false;
    PaintWholeNext();
    m_music.Resume();
    // A new timer: its first tick comes a whole period from now, and the
    // ticks missed while resting are not made up.
    SetTimer(kTimerId, kTimerPeriod);
}

void CShowWnd::OnPaint()
{
    CPaintDC dc(this);
    if (m_bPreview) {
        RECT client;
        GetClientRect(&client);
        CBrush black(RGB(0, 0, 0));
        ::FillRect(dc, &client, black);
        DrawTiledBitmap(&dc);
        return;
    }
    // The show's own paint comes with its next step, and takes in the
    // whole screen then.
    PaintWholeNext();
}

void CShowWnd::OnSize(UINT type, int cx, int cy)
{
    CWnd::OnSize(type, cx, cy);
}

void CShowWnd::DrawTiledBitmap(CDC* dc)
{
    CBitmap tile;
    BITMAP info;
    if (!tile.LoadBitmap(IDB_TILE) || !tile.GetBitmap(&info) || info.bmWidth <= 0 || info.bmHeight <= 0)
        return;
    CDC memory;
    if (!memory.CreateCompatibleDC(*dc))
        return;
    CSelectGuard select(memory, tile.GetSafeHandle());
    if (!select.Selected())
        return;
    RECT clip;
    dc->GetClipBox(&clip);
    if (clip.bottom < 0)
        return;
    for (int top = 0; top <= clip.bottom; top += info.bmHeight) {
        for (int left = 0; left <= clip.right; left += info.bmWidth) {
            const RECT tileRect = {left, top, left + info.bmWidth, top + info.bmHeight};
            RECT common;
            if (::IntersectRect(&common, &tileRect, &clip) && !::IsRectEmpty(&common))
                ::BitBlt(*dc, left, top, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
        }
    }
}

void CShowWnd::PostNcDestroy()
{
    if (m_bAutoDelete)
        delete this;
}
