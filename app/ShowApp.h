// The application object: reads the command line once, picks the run mode
// (settings dialog, preview inside the display settings, full-screen show),
// creates that mode's window and holds the values the windows read.
#pragma once

#include "framework/AfxWin.h"

class CShowApp : public CWinApp {
public:
    CShowApp();
    ~CShowApp() override;

    BOOL InitInstance() override;
    void RunSettingsDialog();

    int m_nEffectMode = 0;
    BOOL m_bAlreadyRunning = 0;
    HANDLE m_hInstanceMutex = nullptr;
    CString m_strRunMode;
    CString m_strProductName;

private:
    BOOL StartPreview(const char* handleArgument);
    BOOL StartFullScreen();
};

// The one application object. Inline: the windows and the settings dialog
// read it through this header alone, without linking the application.
inline CShowApp* GetShowApp()
{
    return static_cast<CShowApp*>(AfxGetApp());
}
