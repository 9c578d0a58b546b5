// A black window over a part of the desktop that the full-screen show leaves
// uncovered, in practice another monitor. It hides the pointer, never takes
// the activation from the show window, and hands every pointer report,
// button and key to the show window, which ends the show by its own rules.
#pragma once

#include "app/MonitorCovers.h"
#include "framework/AfxWin.h"

class CFullScreenWnd;

class CCoverWnd : public CWnd {
public:
    explicit CCoverWnd(CFullScreenWnd& show) : m_show(show) {}

    // Shows the cover over `rect`, owned by the show window, without
    // activating it.
    BOOL Create(const ScreenRect& rect);

protected:
    int OnMouseActivate(CWnd* topParent, UINT hitTest, UINT message);
    void OnPaint();
    void OnMouseMove(UINT flags, CPoint point);
    LRESULT OnKeyDown(WPARAM key, LPARAM data);
    void OnButtonDown();

    DECLARE_MESSAGE_MAP()

private:
    CFullScreenWnd& m_show;
};
