#include "app/FullScreenWnd.h"

#include <algorithm>

namespace {

BOOL CALLBACK AddMonitor(HMONITOR, HDC, LPRECT rect, LPARAM list)
{
    // No exception may unwind through the system's enumeration.
    try {
        reinterpret_cast<std::vector<ScreenRect>*>(list)->push_back({rect->left, rect->top, rect->right, rect->bottom});
        return TRUE;
    } catch (...) {
        return FALSE;
    }
}

std::vector<ScreenRect> SystemMonitors()
{
    std::vector<ScreenRect> monitors;
    ::EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    return monitors;
}

} // namespace

BEGIN_MESSAGE_MAP(CFullScreenWnd, CShowWnd)
    ON_WM_SYSCOMMAND()
    ON_WM_SETCURSOR()
    ON_WM_NCACTIVATE()
    ON_WM_ACTIVATE()
    ON_WM_ACTIVATEAPP()
    ON_WM_MOUSEMOVE()
    ON_MESSAGE_VOID(WM_LBUTTONDOWN, OnUserInput)
    ON_MESSAGE_VOID(WM_MBUTTONDOWN, OnUserInput)
    ON_MESSAGE_VOID(WM_RBUTTONDOWN, OnUserInput)
    ON_MESSAGE_VOID(WM_KEYDOWN, OnUserInput)
    ON_MESSAGE_VOID(WM_SYSKEYDOWN, OnUserInput)
    ON_WM_DISPLAYCHANGE()
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CFullScreenWnd::CFullScreenWnd() : CShowWnd(TRUE), m_ptFirstMouse{-1, -1} {}

BOOL CFullScreenWnd::Create()
{
    const RECT screen = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (!CShowWnd::Create(WS_EX_TOPMOST, WS_POPUP | WS_VISIBLE, screen, nullptr))
        return FALSE;
    LayOutCovers(SystemMonitors());
    return TRUE;
}

void CFullScreenWnd::LayOutCovers(const std::vector<ScreenRect>& monitors)
{
    DestroyCovers();
    RECT own;
    ::GetWindowRect(m_hWnd, &own);
    for (const ScreenRect& rect : CoverRects({own.left, own.top, own.right, own.bottom}, monitors)) {
        auto cover = std::make_unique<CCoverWnd>(*this);
        // A cover that cannot be made leaves its monitor as it is; the show
        // goes on.
        if (cover->Create(rect))
            m_covers.push_back(std::move(cover));
    }
}

void CFullScreenWnd::DestroyCovers()
{
    for (auto& cover : m_covers)
        cover->DestroyWindow();
    m_covers.clear();
}

bool CFullScreenWnd::IsCover(const CWnd* wnd) const
{
    return wnd && std::any_of(m_covers.begin(), m_covers.end(),
                              [wnd](const std::unique_ptr<CCoverWnd>& c) { return c->m_hWnd == wnd->m_hWnd; });
}

void CFullScreenWnd::OnSysCommand(UINT id, LPARAM lParam)
{
    // The system asking to start the screen saver again, or to close it, is
    // swallowed: only the user ends the show.
    if (id == SC_SCREENSAVE || id == SC_CLOSE)
        return;
    CShowWnd::OnSysCommand(id, lParam);
}

BOOL CFullScreenWnd::OnSetCursor(CWnd*, UINT, UINT)
{
    ::SetCursor(nullptr);
    return TRUE;
}

BOOL CFullScreenWnd::OnNcActivate(BOOL active)
{
    if (!active)
        return FALSE;
    return CShowWnd::OnNcActivate(active);
}

void CFullScreenWnd::OnActivate(UINT state, CWnd* other, BOOL minimized)
{
    // The covers never take the activation; should the system give it to
    // one all the same, the user has not switched away.
    if (state == WA_INACTIVE && !IsCover(other))
        RequestClose();
    CShowWnd::OnActivate(state, other, minimized);
}

void CFullScreenWnd::OnActivateApp(BOOL active, DWORD threadId)
{
    if (!active)
        RequestClose();
    CShowWnd::OnActivateApp(active, threadId);
}

void CFullScreenWnd::OnMouseMove(UINT flags, CPoint point)
{
    POINT screen = point;
    ::ClientToScreen(m_hWnd, &screen);
    PointerReport(screen);
    CShowWnd::OnMouseMove(flags, point);
}

void CFullScreenWnd::PointerReport(POINT screen)
{
    // The system reports the resting pointer as soon as a window shows, to
    // whichever of ours lies under it, so the first report is only the
    // reference; any later difference ends.
    if (m_ptFirstMouse.x == -1 && m_ptFirstMouse.y == -1)
        m_ptFirstMouse = screen;
    else if (screen.x != m_ptFirstMouse.x || screen.y != m_ptFirstMouse.y)
        RequestClose();
}

void CFullScreenWnd::OnUserInput()
{
    RequestClose();
    Default();
}

void CFullScreenWnd::OnDisplayChange(UINT, int, int)
{
    // A monitor came or went: this window stays as it is, the covers follow.
    LayOutCovers(SystemMonitors());
    Default();
}

void CFullScreenWnd::OnDestroy()
{
    DestroyCovers();
    ::PostQuitMessage(0);
    CShowWnd::OnDestroy();
}
