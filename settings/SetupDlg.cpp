#include "settings/SetupDlg.h"

#include "app/ShowApp.h"
#include "res/resource.h"
#include "settings/HomePage.h"
#include "settings/Settings.h"

namespace {

// The system-menu command of the About box. The system keeps the low four
// bits of a command for itself, so any of 0x0010 to 0x001F means About.
constexpr UINT kAboutCommand = 0x0010;

} // namespace

BEGIN_MESSAGE_MAP(CSetupDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_HOMEPAGE, OnHomePage)
    ON_BN_CLICKED(IDC_QUIT, OnQuit)
    ON_BN_CLICKED(IDC_SAVE, OnSave)
END_MESSAGE_MAP()

CSetupDlg::CSetupDlg(CWnd* parent)
    : CDialog(IDD_SETUP, parent), m_hIcon(::LoadIconA(AfxGetResourceHandle(), MAKEINTRESOURCEA(IDI_MAIN)))
{
}

void CSetupDlg::DoDataExchange(CDataExchange* dx)
{
    CDialog::DoDataExchange(dx);
    DDX_Text(dx, IDC_LABEL, m_strLabel);
}

BOOL CSetupDlg::OnInitDialog()
{
    CDialog::OnInitDialog();

    CString about;
    about.LoadString(IDS_ABOUTBOX);
    if (!about.IsEmpty()) {
        if (HMENU menu = GetSystemMenu(FALSE)) {
            ::AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(menu, MF_STRING, kAboutCommand, about);
        }
    }

    CShowApp* app = GetShowApp();
    SetWindowText(app->m_strProductName + " ScreenSaver");

    HWND list = ::GetDlgItem(m_hWnd, IDC_MODE_COMBO);
    for (const char* entry : {"Mode 1 and Mode 2", "Mode 1", "Mode 2"})
        ::SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    // A stored value outside 0..2 selects nothing.
    ::SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(app->m_nEffectMode), 0);

    UpdateData(FALSE);
    CenterWindow();
    return TRUE;
}

void CSetupDlg::OnSysCommand(UINT id, LPARAM lParam)
{
    if ((id & 0xFFF0) == kAboutCommand) {
        CAboutDlg about;
        about.DoModal();
    } else {
        CDialog::OnSysCommand(id, lParam);
    }
}

void CSetupDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    RECT client;
    GetClientRect(&client);
    const int x = (client.right - client.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.bottom - client.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(dc, x, y, m_hIcon);
}

HCURSOR CSetupDlg::OnQueryDragIcon()
{
    return m_hIcon;
}

void CSetupDlg::OnHomePage()
{
    const std::string address = kHomePageAddress;
    if (IsWin95Family())
        OnOK();
    LaunchBrowser(address);
}

void CSetupDlg::OnQuit()
{
    OnOK();
}

void CSetupDlg::OnSave()
{
    UpdateData(FALSE);
    const int selected = static_cast<int>(::SendDlgItemMessageA(m_hWnd, IDC_MODE_COMBO, CB_GETCURSEL, 0, 0));
    SaveEffectMode(selected);
    OnOK();
}

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX, nullptr) {}

BOOL CAboutDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    CenterWindow();
    return TRUE;
}
