#include "app/FullScreenWnd.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// Power-setting reports exist from Windows Vista on, and this setting's
// from Windows 8; the program runs from XP, whose headers have none of it,
// so the calls are looked up at run time and the values are spelled out
// here as the system defines them.
const GUID kConsoleDisplayState = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
constexpr WPARAM kPowerSettingChange = 0x8013;
constexpr DWORD kNotifyWindowHandle = 0;
constexpr DWORD kDisplayOff = 0;
constexpr DWORD kDisplayOn = 1;
constexpr DWORD kDisplayDimmed = 2;

// What a power-setting report points to: the setting and its value.
struct PowerSettingReport {
    GUID PowerSetting;
    DWORD DataLength;
    UCHAR Data[1];
};
static_assert(offsetof(PowerSettingReport, Data) == 20, "the system's layout");

using RegisterPowerSettingFn = HANDLE(WINAPI*)(HANDLE recipient, const GUID* setting, DWORD flags);
using UnregisterPowerSettingFn = BOOL(WINAPI*)(HANDLE registration);

// A function of user32 by name; null where this system lacks it.
template <typename Fn>
Fn User32Function(const char* name)
{
    const HMODULE user32 = ::GetModuleHandleA("user32.dll");
    if (!user32)
        return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name)));
}

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
    ON_MESSAGE_VOID(WM_LBUTTONDOWN, OnButtonDown)
    ON_MESSAGE_VOID(WM_MBUTTONDOWN, OnButtonDown)
    ON_MESSAGE_VOID(WM_RBUTTONDOWN, OnButtonDown)
    ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
    ON_MESSAGE(WM_SYSKEYDOWN, OnKeyDown)
    ON_WM_DISPLAYCHANGE()
    ON_MESSAGE(WM_POWERBROADCAST, OnPowerBroadcast)
    ON_WM_DESTROY()
END_MESSAGE_MAP()

CFullScreenWnd::CFullScreenWnd() : CShowWnd(TRUE) {}

CFullScreenWnd::CFullScreenWnd(CMciSeam& mci) : CShowWnd(TRUE, mci) {}

BOOL CFullScreenWnd::Create()
{
    const RECT screen = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
    if (!CShowWnd::Create(WS_EX_TOPMOST, WS_POPUP | WS_VISIBLE, screen, nullptr))
        return FALSE;
    LayOutCovers(SystemMonitors());
    WatchDisplay();
    return TRUE;
}

void CFullScreenWnd::WatchDisplay()
{
    // The system answers with the display's current state, so a show
    // started with the display off goes to rest at once. Without the
    // registration the show runs as it always did.
    const auto registerFn = User32Function<RegisterPowerSettingFn>("RegisterPowerSettingNotification");
    if (registerFn)
        m_hDisplayNotify = registerFn(m_hWnd, &kConsoleDisplayState, kNotifyWindowHandle);
}

void CFullScreenWnd::StopWatchingDisplay()
{
    if (!m_hDisplayNotify)
        return;
    const auto unregisterFn = User32Function<UnregisterPowerSettingFn>("UnregisterPowerSettingNotification");
    if (unregisterFn)
        unregisterFn(m_hDisplayNotify);
    m_hDisplayNotify = nullptr;
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
    if (m_input.PointerMoved(screen.x, screen.y))
        RequestClose();
}

void CFullScreenWnd::KeyPressed(WPARAM key)
{
    if (m_input.Key(static_cast<uint32_t>(key), true))
        RequestClose();
}

void CFullScreenWnd::ButtonPressed()
{
    if (m_input.Button(true))
        RequestClose();
}

LRESULT CFullScreenWnd::OnKeyDown(WPARAM key, LPARAM)
{
    KeyPressed(key);
    return Default();
}

void CFullScreenWnd::OnButtonDown()
{
    ButtonPressed();
    Default();
}

void CFullScreenWnd::OnDisplayChange(UINT, int, int)
{
    // A monitor came or went: this window stays as it is, the covers follow,
    // and the screen is painted anew.
    LayOutCovers(SystemMonitors());
    PaintWholeNext();
    Default();
}

LRESULT CFullScreenWnd::OnPowerBroadcast(WPARAM event, LPARAM data)
{
    if (event != kPowerSettingChange)
        return Default();
    // Reports of other settings, or of a size this one never has, are not
    // the display's.
    const auto* report = reinterpret_cast<const PowerSettingReport*>(data);
    if (report && report->PowerSetting == kConsoleDisplayState && report->DataLength == sizeof(DWORD)) {
        DWORD state;
        std::memcpy(&state, report->Data, sizeof state);
        // A dimmed display is still watched.
        if (state == kDisplayOff)
            Rest();
        else if (state == kDisplayOn || state == kDisplayDimmed)
            Wake();
    }
    return TRUE;
}

void CFullScreenWnd::OnDestroy()
{
    StopWatchingDisplay();
    DestroyCovers();
    ::PostQuitMessage(0);
    CShowWnd::OnDestroy();
}
