// The full-screen show: an animation window over the whole primary screen,
// topmost, with the pointer hidden, that ends the program at the first key,
// mouse button, mouse movement or loss of activation.
#pragma once

#include "show/ShowWnd.h"

class CFullScreenWnd : public CShowWnd {
public:
    CFullScreenWnd();
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
    void OnUserInput();
    void OnDestroy();

    DECLARE_MESSAGE_MAP()

private:
    void RequestClose() { PostMessage(WM_CLOSE); }

    // The pointer position of the first WM_MOUSEMOVE; (-1, -1) until then.
    POINT m_ptFirstMouse;
};
