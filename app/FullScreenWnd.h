// The full-screen show: an animation window over the whole primary screen,
// topmost, with the pointer hidden, that ends the program at the first key,
// mouse button, mouse movement or loss of activation. Every other monitor
// gets a black cover window that ends the show by the same rules. While the
// system reports the display switched off, the show rests.
#pragma once

#include <memory>
#include <vector>

#include "app/CoverWnd.h"
#include "app/MonitorCovers.h"
#include "show/InputRule.h"
#include "show/ShowWnd.h"

class CFullScreenWnd : public CShowWnd {
public:
    CFullScreenWnd();
    // The tune goes through `mci` instead of the system's multimedia library.
    explicit CFullScreenWnd(CMciSeam& mci);
    ~CFullScreenWnd() override = default;

    using CShowWnd::Create;
    BOOL Create();

protected:
    void OnSysCommand(UINT id, LPARAM lParam);
    BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    BOOL OnNcActivate(BOOL active);
    void OnActivate(UINT state, CWnd* other, BOOL minimized);
    void OnActivateApp(BOOL active, DWORD threadId);
    void OnMouseMove(UINT flags, CPoint point);
    LRESULT OnKeyDown(WPARAM key, LPARAM data);
    void OnButtonDown();
    void OnDisplayChange(UINT bitsPerPixel, int cx, int cy);
    LRESULT OnPowerBroadcast(WPARAM event, LPARAM data);
    void OnDestroy();

    // Whether the system accepted the request for display-state reports.
    bool WatchesDisplay() const { return m_hDisplayNotify != nullptr; }

    // Replaces the covers by those the given monitors need beside this
    // window (all of them when the monitors are the system's).
    void LayOutCovers(const std::vector<ScreenRect>& monitors);

    DECLARE_MESSAGE_MAP()

private:
    // The covers share the show window's ending rules.
    friend class CCoverWnd;

    void RequestClose() { PostMessage(WM_CLOSE); }
    // Input on this window or a cover, judged by the one rule of the show.
    void PointerReport(POINT screen);
    void KeyPressed(WPARAM key);
    void ButtonPressed();
    bool IsCover(const CWnd* wnd) const;
    void DestroyCovers();
    void WatchDisplay();
    void StopWatchingDisplay();

    // Which input ends the show. Its reference is the first pointer report
    // to this window or a cover, in screen coordinates (this window's client
    // coordinates), wherever that is.
    CInputRule m_input;
    std::vector<std::unique_ptr<CCoverWnd>> m_covers;
    // The registration for display-state reports; null where the system
    // has none to give.
    HANDLE m_hDisplayNotify = nullptr;
};
