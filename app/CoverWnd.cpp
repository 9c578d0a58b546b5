#include "app/CoverWnd.h"

#include "app/FullScreenWnd.h"
#include "res/resource.h"

namespace {

// The one window class of every cover, registered on first use.
LPCSTR g_pszCoverClass = nullptr;

} // namespace

BEGIN_MESSAGE_MAP(CCoverWnd, CWnd)
    ON_WM_MOUSEACTIVATE()
    ON_WM_PAINT()
    ON_WM_MOUSEMOVE()
    ON_MESSAGE_VOID(WM_LBUTTONDOWN, OnButtonDown)
    ON_MESSAGE_VOID(WM_MBUTTONDOWN, OnButtonDown)
    ON_MESSAGE_VOID(WM_RBUTTONDOWN, OnButtonDown)
    ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
    ON_MESSAGE(WM_SYSKEYDOWN, OnKeyDown)
END_MESSAGE_MAP()

BOOL CCoverWnd::Create(const ScreenRect& rect)
{
    if (!g_pszCoverClass) {
        HCURSOR blank = ::LoadCursorA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDC_BLANK));
        g_pszCoverClass = AfxRegisterWndClass(0, blank);
        if (!g_pszCoverClass)
            return FALSE;
    }
    // Made hidden and shown without activation: showing a new top-level
    // window normally activates it, which the show window would take as
    // the user switching away.
    if (!CreateEx(WS_EX_TOPMOST | WS_EX_NOACTIVATE, g_pszCoverClass, "", WS_POPUP, rect.left, rect.top,
                  rect.right - rect.left, rect.bottom - rect.top, m_show.m_hWnd, nullptr))
        return FALSE;
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    // Black at once, not when the message loop first runs.
    ::UpdateWindow(m_hWnd);
    return TRUE;
}

int CCoverWnd::OnMouseActivate(CWnd*, UINT, UINT)
{
    return MA_NOACTIVATE;
}

void CCoverWnd::OnPaint()
{
    CPaintDC dc(this);
    ::FillRect(dc, &dc.Paint().rcPaint, static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH)));
}

void CCoverWnd::OnMouseMove(UINT, CPoint point)
{
    POINT screen = point;
    ::ClientToScreen(m_hWnd, &screen);
    m_show.PointerReport(screen);
    Default();
}

LRESULT CCoverWnd::OnKeyDown(WPARAM key, LPARAM)
{
    m_show.KeyPressed(key);
    return Default();
}

void CCoverWnd::OnButtonDown()
{
    m_show.ButtonPressed();
    Default();
}
