#include "show/ShowWnd.h"

#include <olectl.h>

#include <new>

#include "app/ShowApp.h"
#include "framework/AfxCom.h"
#include "res/resource.h"

namespace {

// The one window class of every animation window, registered on first use.
LPCSTR g_pszClassName = nullptr;

// What the window adds to a tick of its scene: its tune, and the display
// image painted on the tick's DC after every step.
class CTickHooks final : public ShowHooks {
public:
    CTickHooks(CMidiPlayer& music, const CString& musicPath, CDibImage& display, CDC& dc)
        : m_music(music), m_strMusicPath(musicPath), m_display(display), m_dc(dc)
    {
    }

    void CloseMusic() override { m_music.Close(); }
    void StartMusic() override
    {
        m_music.Open(m_strMusicPath);
        m_music.Play();
    }
    void StepDrawn(bool) override { m_display.Paint(&m_dc, 0, 0, FALSE); }

private:
    CMidiPlayer& m_music;
    const CString& m_strMusicPath;
    CDibImage& m_display;
    CDC& m_dc;
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
    CTickHooks hooks(m_music, m_strMusicPath, m_dibDisplay, dc);
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
    }
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
