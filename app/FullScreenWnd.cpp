#include "app/FullScreenWnd.h"

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
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CFullScreenWnd::CFullScreenWnd() : CShowWnd(TRUE), m_ptFirstMouse{-1, -1} {}

BOOL CFullScreenWnd::Create()
{
    const RECT screen = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    return CShowWnd::Create(WS_EX_TOPMOST, WS_POPUP | WS_VISIBLE, screen, nullptr);
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
    if (state == WA_INACTIVE)
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
    // The system reports the resting pointer as soon as the window shows, so
    // the first report is only the reference; any later difference ends.
    if (m_ptFirstMouse.x == -1 && m_ptFirstMouse.y == -1)
        m_ptFirstMouse = point;
    else if (point.x != m_ptFirstMouse.x || point.y != m_ptFirstMouse.y)
        RequestClose();
    CShowWnd::OnMouseMove(flags, point);
}

void CFullScreenWnd::OnUserInput()
{
    RequestClose();
    Default();
}

void CFullScreenWnd::OnDestroy()
{
    ::PostQuitMessage(0);
    CShowWnd::OnDestroy();
}
