#include "framework/AfxWin.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

CWinApp* g_pApp = nullptr;

// Windows of ours by handle, and wrappers made for foreign handles.
std::map<HWND, CWnd*>& PermanentMap()
{
    static std::map<HWND, CWnd*> map;
    return map;
}

std::map<HWND, std::unique_ptr<CWnd>>& TemporaryMap()
{
    static std::map<HWND, std::unique_ptr<CWnd>> map;
    return map;
}

// The object whose window is being created: CreateWindowEx and the dialog
// functions send messages (WM_GETMINMAXINFO, WM_NCCREATE, WM_SETFONT) before
// any handle could be stored, so the first message for an unknown handle
// attaches it.
CWnd* g_pWndInit = nullptr;

// The message being dispatched on this thread. It lives in the dispatching
// frame and the thread, never in the window object: a handler may destroy
// its window and the object may be deleted before the frame unwinds.
thread_local const MSG* t_pCurrentMsg = nullptr;

// Runs one message through the object's maps with no C++ exception escaping
// into the system, which cannot unwind through its own frames.
LRESULT SafeWindowProc(CWnd* wnd, LRESULT (*call)(CWnd*, UINT, WPARAM, LPARAM), UINT message,
                       WPARAM wParam, LPARAM lParam, HWND hWnd)
{
    try {
        return call(wnd, message, wParam, lParam);
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return ::DefWindowProcA(hWnd, message, wParam, lParam);
}

} // namespace

void AfxThrowResourceException()
{
    throw new CResourceException;
}

CWnd::~CWnd()
{
    if (m_hWnd) {
        // The object dies before its window: the window must not call into it.
        HWND hWnd = m_hWnd;
        Detach();
        if (!m_bTemporary)
            ::DestroyWindow(hWnd);
    }
}

CWnd* CWnd::FromHandle(HWND hWnd)
{
    if (!hWnd)
        return nullptr;
    auto permanent = PermanentMap().find(hWnd);
    if (permanent != PermanentMap().end())
        return permanent->second;
    auto& temporary = TemporaryMap()[hWnd];
    if (!temporary) {
        temporary = std::make_unique<CWnd>();
        temporary->m_hWnd = hWnd;
        temporary->m_bTemporary = true;
    }
    return temporary.get();
}

void CWnd::Attach(HWND hWnd)
{
    m_hWnd = hWnd;
    PermanentMap()[hWnd] = this;
    TemporaryMap().erase(hWnd);
}

void CWnd::Detach()
{
    if (m_hWnd)
        PermanentMap().erase(m_hWnd);
    m_hWnd = nullptr;
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                    int width, int height, HWND hParent, HMENU idOrMenu, LPVOID param)
{
    g_pWndInit = this;
    m_bInCreate = true;
    HWND hWnd = ::CreateWindowExA(exStyle, className, windowName, style, x, y, width, height, hParent,
                                  idOrMenu, AfxGetResourceHandle(), param);
    m_bInCreate = false;
    g_pWndInit = nullptr;
    return hWnd != nullptr;
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

void CWnd::CenterWindow()
{
    RECT window;
    ::GetWindowRect(m_hWnd, &window);
    RECT area;
    HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
    if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner))
        ::GetWindowRect(owner, &area);
    else
        ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    const int width = window.right - window.left;
    const int height = window.bottom - window.top;
    const int x = area.left + (area.right - area.left - width) / 2;
    const int y = area.top + (area.bottom - area.top - height) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CWnd::Default()
{
    const MSG* msg = t_pCurrentMsg;
    if (!msg || !m_hWnd || msg->hwnd != m_hWnd)
        return 0;
    return DefWindowProc(msg->message, msg->wParam, msg->lParam);
}

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcA(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcA(m_hWnd, message, wParam, lParam);
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    const UINT code = message == WM_COMMAND ? HIWORD(wParam) : 0;
    const UINT id = message == WM_COMMAND ? LOWORD(wParam) : 0;
    for (const AFX_MSGMAP* map = GetMessageMap(); map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfn; ++entry) {
            if (entry->nMessage != message)
                continue;
            if (message == WM_COMMAND && (entry->nCode != code || id < entry->nID || id > entry->nLastID))
                continue;
            result = entry->pfn(this, wParam, lParam);
            return true;
        }
    }
    return false;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, result))
        result = DefWindowProc(message, wParam, lParam);
    return result;
}

CWnd* CWnd::FromHandleOrPending(HWND hWnd, bool& attached)
{
    attached = false;
    auto found = PermanentMap().find(hWnd);
    if (found != PermanentMap().end())
        return found->second;
    CWnd* wnd = g_pWndInit;
    if (wnd) {
        g_pWndInit = nullptr;
        wnd->Attach(hWnd);
        attached = true;
    }
    return wnd;
}

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    bool attached;
    CWnd* wnd = CWnd::FromHandleOrPending(hWnd, attached);
    if (!wnd)
        return ::DefWindowProcA(hWnd, message, wParam, lParam);

    MSG msg = {hWnd, message, wParam, lParam, 0, {0, 0}};
    const MSG* previous = t_pCurrentMsg;
    t_pCurrentMsg = &msg;
    const LRESULT result = SafeWindowProc(
        wnd, [](CWnd* w, UINT m, WPARAM wp, LPARAM lp) { return w->WindowProc(m, wp, lp); }, message, wParam,
        lParam, hWnd);
    t_pCurrentMsg = previous;
    // From here on wnd may be gone: only WM_NCDESTROY, the last message of
    // its window, still uses it, and nothing can have deleted it yet then.

    if (message == WM_NCDESTROY) {
        wnd->Detach();
        CWinApp* app = AfxGetApp();
        if (app && app->m_pMainWnd == wnd) {
            // The main window is gone: end the message loop.
            app->m_pMainWnd = nullptr;
            ::PostQuitMessage(0);
        }
        if (!wnd->m_bInCreate)
            wnd->PostNcDestroy();
    }
    return result;
}

LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor, HBRUSH background, HICON icon)
{
    static std::map<std::string, bool> registered;
    char name[96];
    std::snprintf(name, sizeof name, "Afx:%p:%x:%p:%p:%p", static_cast<void*>(AfxGetResourceHandle()), classStyle,
                  static_cast<void*>(cursor), static_cast<void*>(background), static_cast<void*>(icon));
    auto it = registered.find(name);
    if (it == registered.end()) {
        WNDCLASSA wc = {};
        wc.style = classStyle;
        wc.lpfnWndProc = AfxWndProc;
        wc.hInstance = AfxGetResourceHandle();
        wc.hCursor = cursor;
        wc.hbrBackground = background;
        wc.hIcon = icon;
        wc.lpszClassName = name;
        if (!::RegisterClassA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return nullptr;
        it = registered.emplace(name, true).first;
    }
    return it->first.c_str();
}

// Dialogs. The dialog manager's own procedure stays the class procedure; the
// window is subclassed with AfxWndProc so that the message map sees every
// message first, and Default() hands messages on to the dialog manager, which
// calls AfxDlgProc for WM_INITDIALOG.
INT_PTR CALLBACK AfxDlgProc(HWND hWnd, UINT message, WPARAM, LPARAM)
{
    bool attached;
    CWnd* wnd = CWnd::FromHandleOrPending(hWnd, attached);
    if (attached) {
        wnd->m_pfnSuper = reinterpret_cast<WNDPROC>(
            ::SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(AfxWndProc)));
    }
    if (message != WM_INITDIALOG || !wnd)
        return FALSE;
    CDialog* dialog = static_cast<CDialog*>(wnd);
    try {
        return dialog->OnInitDialog();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return TRUE;
}

void DDX_Text(CDataExchange* dx, int id, CString& value)
{
    HWND control = ::GetDlgItem(dx->m_pDlgWnd->m_hWnd, id);
    if (dx->m_bSaveAndValidate) {
        const int length = ::GetWindowTextLengthA(control);
        std::string text(static_cast<size_t>(length) + 1, '\0');
        ::GetWindowTextA(control, &text[0], length + 1);
        text.resize(static_cast<size_t>(length));
        value = CString(text);
    } else {
        ::SetWindowTextA(control, value);
    }
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

INT_PTR CDialog::DoModal()
{
    // Without a parent the dialog is modal over the application's main
    // window, which it disables while it runs.
    CWnd* owner = m_pParentWnd;
    if (!owner) {
        CWinApp* app = AfxGetApp();
        if (app && app->m_pMainWnd != this)
            owner = app->m_pMainWnd;
    }
    g_pWndInit = this;
    const INT_PTR result = ::DialogBoxParamA(AfxGetResourceHandle(), MAKEINTRESOURCEA(m_nIDTemplate),
                                             owner ? owner->m_hWnd : nullptr, AfxDlgProc, 0);
    g_pWndInit = nullptr;
    return result;
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

CWinApp::CWinApp(LPCSTR appName) : m_strAppName(appName)
{
    g_pApp = this;
}

CWinApp::~CWinApp()
{
    if (m_hCtl3d)
        ::FreeLibrary(m_hCtl3d);
    g_pApp = nullptr;
}

int CWinApp::Run()
{
    MSG msg;
    int got;
    while ((got = ::GetMessageA(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1)
            break;
        ::TranslateMessage(&msg);
        ::DispatchMessageA(&msg);
    }
    m_nExitCode = got == 0 ? static_cast<int>(msg.wParam) : 0;
    return ExitInstance();
}

void CWinApp::Enable3dControls()
{
    if (LOBYTE(LOWORD(::GetVersion())) >= 4 || m_hCtl3d)
        return;
    m_hCtl3d = ::LoadLibraryA("CTL3D32.DLL");
    if (!m_hCtl3d)
        return;
    using Ctl3dFn = BOOL(WINAPI*)(HINSTANCE);
    auto reg = reinterpret_cast<Ctl3dFn>(reinterpret_cast<void*>(::GetProcAddress(m_hCtl3d, "Ctl3dRegister")));
    auto subclass = reinterpret_cast<Ctl3dFn>(reinterpret_cast<void*>(::GetProcAddress(m_hCtl3d, "Ctl3dAutoSubclass")));
    if (reg && subclass && reg(m_hInstance))
        subclass(m_hInstance);
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

HINSTANCE AfxGetResourceHandle()
{
    return ::GetModuleHandleA(nullptr);
}

int AfxWinMain(HINSTANCE instance)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = instance;
    if (app->m_strAppName.IsEmpty()) {
        // The application's name is the executable's base name.
        char path[MAX_PATH] = "";
        ::GetModuleFileNameA(instance, path, MAX_PATH);
        CString name(path);
        name = name.Mid(name.ReverseFind('\\') + 1);
        const int dot = name.ReverseFind('.');
        app->m_strAppName = dot > 0 ? name.Left(dot) : name;
    }
    try {
        if (!app->InitInstance())
            return app->ExitInstance();
        return app->Run();
    } catch (CException* e) {
        e->Delete();
    } catch (...) {
    }
    return app->ExitInstance();
}
