#include "app/ShowApp.h"

#include <cstdlib>

#include "app/CommandLine.h"
#include "app/FullScreenWnd.h"
#include "settings/Settings.h"
#include "settings/SetupDlg.h"
#include "show/ShowWnd.h"

CShowApp::CShowApp() : CWinApp(nullptr) {}

CShowApp::~CShowApp()
{
    if (m_hInstanceMutex)
        ::CloseHandle(m_hInstanceMutex);
}

BOOL CShowApp::InitInstance()
{
    m_strProductName = "Velunor";
    m_nEffectMode = LoadEffectMode();
    const char* argument = __argc > 1 ? __argv[1] : "";
    Enable3dControls();

    switch (ChooseRunMode(__argc, argument)) {
    case RunMode::Settings:
        RunSettingsDialog();
        return FALSE;
    case RunMode::Preview:
        return StartPreview(__argc > 2 ? __argv[2] : nullptr);
    case RunMode::FullScreen:
        return StartFullScreen();
    }
    return FALSE;
}

void CShowApp::RunSettingsDialog()
{
    CSetupDlg dialog(nullptr);
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
}

BOOL CShowApp::StartPreview(const char* handleArgument)
{
    m_strRunMode = "p";
    CWnd* parent = CWnd::FromHandle(reinterpret_cast<HWND>(static_cast<ULONG_PTR>(ParsePreviewHandle(handleArgument))));
    // A missing handle, or one that names no window, gives no preview: there
    // is nothing to show it in, so the process ends.
    if (!parent || !::IsWindow(parent->m_hWnd))
        return FALSE;
    CShowWnd* wnd = new CShowWnd(TRUE);
    RECT rect;
    parent->GetClientRect(&rect);
    if (!wnd->Create(0, WS_CHILD | WS_VISIBLE, rect, parent)) {
        // No window was made, so nothing will ever delete the object or end
        // the message loop.
        delete wnd;
        return FALSE;
    }
    m_pMainWnd = wnd;
    return TRUE;
}

BOOL CShowApp::StartFullScreen()
{
    m_hInstanceMutex = ::CreateMutexA(nullptr, TRUE, "PreventSecondInstance");
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
        m_bAlreadyRunning = 1;
    if (m_hInstanceMutex)
        ::ReleaseMutex(m_hInstanceMutex);
    if (m_bAlreadyRunning == 1)
        return FALSE;
    CFullScreenWnd* wnd = new CFullScreenWnd;
    if (!wnd->Create()) {
        delete wnd;
        return FALSE;
    }
    m_pMainWnd = wnd;
    return TRUE;
}
