// The settings dialog: choose and store the effect mode, open the maker's
// home page, and show the About box from the system menu.
#pragma once

#include "framework/AfxWin.h"

class CSetupDlg : public CDialog {
public:
    explicit CSetupDlg(CWnd* parent = nullptr);

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;

    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnHomePage();
    void OnQuit();
    void OnSave();

    DECLARE_MESSAGE_MAP()

private:
    HICON m_hIcon;
    CString m_strLabel; // nothing assigns it: the first exchange empties the label
};

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

protected:
    BOOL OnInitDialog() override;
};
