// The program's application framework: the application object with its
// message loop, windows with static message maps, modal dialogs with dialog
// data exchange, and the exceptions a resource failure raises. It holds only
// what the screen saver uses.
#pragma once

#include <windows.h>

#include "framework/AfxFile.h"
#include "framework/AfxGdi.h"
#include "framework/AfxString.h"

class CObject {
public:
    virtual ~CObject() = default;
};

class CException : public CObject {
public:
    // Exceptions are thrown by pointer; the catcher deletes them.
    void Delete() { delete this; }
};

class CResourceException : public CException {};

[[noreturn]] void AfxThrowResourceException();

struct CPoint : POINT {
    CPoint(int px, int py) : POINT{px, py} {}
};

class CWnd;

// Message maps. Each entry's thunk unpacks the message parameters and calls
// the class's handler; the handler calls Default() itself when the message
// also needs default processing.
using AfxThunk = LRESULT (*)(CWnd* wnd, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;
    UINT nCode;   // notification code, WM_COMMAND only
    UINT nID;     // first control or command id, WM_COMMAND only
    UINT nLastID;
    AfxThunk pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

#define DECLARE_MESSAGE_MAP()                              \
protected:                                                 \
    static const AFX_MSGMAP* GetThisMessageMap();          \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                 \
    {                                                                               \
        using ThisClass = theClass;                                                 \
        using TheBaseClass = baseClass;                                             \
        static const AFX_MSGMAP_ENTRY entries[] = {

#define END_MESSAGE_MAP()                                                 \
            {0, 0, 0, 0, nullptr}};                                       \
        static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
        return &map;                                                      \
    }

#define AFX_THUNK(body) [](CWnd* wnd, WPARAM wParam, LPARAM lParam) -> LRESULT { \
        ThisClass* self = static_cast<ThisClass*>(wnd); (void)self; (void)wParam; (void)lParam; body }

#define ON_WM_CREATE() {WM_CREATE, 0, 0, 0, AFX_THUNK(return self->OnCreate(reinterpret_cast<LPCREATESTRUCT>(lParam));)},
#define ON_WM_DESTROY() {WM_DESTROY, 0, 0, 0, AFX_THUNK(self->OnDestroy(); return 0;)},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, 0, AFX_THUNK(self->OnTimer(static_cast<UINT_PTR>(wParam)); return 0;)},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, 0, AFX_THUNK(self->OnPaint(); return 0;)},
#define ON_WM_SIZE() {WM_SIZE, 0, 0, 0, AFX_THUNK( \
        self->OnSize(static_cast<UINT>(wParam), (short)LOWORD(lParam), (short)HIWORD(lParam)); return 0;)},
#define ON_WM_SYSCOMMAND() {WM_SYSCOMMAND, 0, 0, 0, AFX_THUNK(self->OnSysCommand(static_cast<UINT>(wParam), lParam); return 0;)},
#define ON_WM_SETCURSOR() {WM_SETCURSOR, 0, 0, 0, AFX_THUNK( \
        return self->OnSetCursor(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)), LOWORD(lParam), HIWORD(lParam));)},
#define ON_WM_NCACTIVATE() {WM_NCACTIVATE, 0, 0, 0, AFX_THUNK(return self->OnNcActivate(static_cast<BOOL>(wParam));)},
#define ON_WM_ACTIVATE() {WM_ACTIVATE, 0, 0, 0, AFX_THUNK( \
        self->OnActivate(LOWORD(wParam), CWnd::FromHandle(reinterpret_cast<HWND>(lParam)), HIWORD(wParam) != 0); return 0;)},
#define ON_WM_ACTIVATEAPP() {WM_ACTIVATEAPP, 0, 0, 0, AFX_THUNK( \
        self->OnActivateApp(static_cast<BOOL>(wParam), static_cast<DWORD>(lParam)); return 0;)},
#define ON_WM_MOUSEMOVE() {WM_MOUSEMOVE, 0, 0, 0, AFX_THUNK( \
        self->OnMouseMove(static_cast<UINT>(wParam), CPoint((short)LOWORD(lParam), (short)HIWORD(lParam))); return 0;)},
#define ON_WM_MOUSEACTIVATE() {WM_MOUSEACTIVATE, 0, 0, 0, AFX_THUNK( \
        return self->OnMouseActivate(CWnd::FromHandle(reinterpret_cast<HWND>(wParam)), LOWORD(lParam), HIWORD(lParam));)},
#define ON_WM_DISPLAYCHANGE() {WM_DISPLAYCHANGE, 0, 0, 0, AFX_THUNK( \
        self->OnDisplayChange(static_cast<UINT>(wParam), (short)LOWORD(lParam), (short)HIWORD(lParam)); return 0;)},
#define ON_WM_QUERYDRAGICON() {WM_QUERYDRAGICON, 0, 0, 0, AFX_THUNK(return reinterpret_cast<LRESULT>(self->OnQueryDragIcon());)},
// A handler of any message, given its raw parameters: LRESULT OnX(WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn) {message, 0, 0, 0, AFX_THUNK(return self->memberFxn(wParam, lParam);)},
// A handler without parameters for a message; several messages may share it.
#define ON_MESSAGE_VOID(message, memberFxn) {message, 0, 0, 0, AFX_THUNK(self->memberFxn(); return 0;)},
#define ON_COMMAND(id, memberFxn) {WM_COMMAND, 0, id, id, AFX_THUNK(self->memberFxn(); return 0;)},
#define ON_BN_CLICKED(id, memberFxn) {WM_COMMAND, BN_CLICKED, id, id, AFX_THUNK(self->memberFxn(); return 0;)},

class CWnd : public CObject {
public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The permanent object of a window of ours, or a temporary wrapper that
    // lives until the program ends.
    static CWnd* FromHandle(HWND hWnd);

    BOOL CreateEx(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y,
                  int width, int height, HWND hParent, HMENU idOrMenu, LPVOID param = nullptr);
    BOOL DestroyWindow();

    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::PostMessageA(m_hWnd, message, wParam, lParam);
    }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    void SetWindowText(LPCSTR text) { ::SetWindowTextA(m_hWnd, text); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    CWnd* GetDlgItem(int id) const { return FromHandle(::GetDlgItem(m_hWnd, id)); }
    HMENU GetSystemMenu(BOOL revert) const { return ::GetSystemMenu(m_hWnd, revert); }
    void CenterWindow();

    // The message this window is handling, passed to the default window
    // procedure; 0 outside the window's own dispatch.
    LRESULT Default();

protected:
    virtual const AFX_MSGMAP* GetMessageMap() const;
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Runs the mapped handler; false when the maps have none.
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after the window is gone (WM_NCDESTROY); heap windows delete themselves here.
    virtual void PostNcDestroy() {}

    // Default handlers: default processing only.
    int OnCreate(LPCREATESTRUCT) { return static_cast<int>(Default()); }
    void OnDestroy() { Default(); }
    void OnTimer(UINT_PTR) { Default(); }
    void OnPaint() { Default(); }
    void OnSize(UINT, int, int) { Default(); }
    void OnSysCommand(UINT, LPARAM) { Default(); }
    BOOL OnSetCursor(CWnd*, UINT, UINT) { return static_cast<BOOL>(Default()); }
    BOOL OnNcActivate(BOOL) { return static_cast<BOOL>(Default()); }
    void OnActivate(UINT, CWnd*, BOOL) { Default(); }
    void OnActivateApp(BOOL, DWORD) { Default(); }
    void OnMouseMove(UINT, CPoint) { Default(); }

    friend LRESULT CALLBACK AfxWndProc(HWND, UINT, WPARAM, LPARAM);
    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);
    void Attach(HWND hWnd);
    void Detach();
    // Our object for a handle, or the object whose window is being created,
    // which the first message for the new handle attaches (`attached`).
    static CWnd* FromHandleOrPending(HWND hWnd, bool& attached);

    WNDPROC m_pfnSuper = nullptr; // the class's own procedure, for subclassed windows

private:
    bool m_bTemporary = false;
    // While CreateEx runs, a failed creation's WM_NCDESTROY must not end the
    // object: its creator learns of the failure from CreateEx and owns it.
    bool m_bInCreate = false;
};

LRESULT CALLBACK AfxWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

// Registers (once per distinct set of attributes) a window class served by
// the framework's window procedure and returns its name.
LPCSTR AfxRegisterWndClass(UINT classStyle, HCURSOR cursor = nullptr, HBRUSH background = nullptr,
                           HICON icon = nullptr);

class CDataExchange {
public:
    CDataExchange(CWnd* dlg, BOOL saveAndValidate) : m_pDlgWnd(dlg), m_bSaveAndValidate(saveAndValidate) {}
    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Static text or edit control <-> string.
void DDX_Text(CDataExchange* dx, int id, CString& value);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, CWnd* parent = nullptr) : m_nIDTemplate(templateId), m_pParentWnd(parent) {}

    // Runs the dialog until EndDialog; returns its result, or -1 when the
    // dialog could not be created.
    virtual INT_PTR DoModal();
    void EndDialog(int result) { ::EndDialog(m_hWnd, result); }
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

protected:
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange*) {}

    friend INT_PTR CALLBACK AfxDlgProc(HWND, UINT, WPARAM, LPARAM);

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

    DECLARE_MESSAGE_MAP()
};

class CWinApp : public CObject {
public:
    explicit CWinApp(LPCSTR appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    // The message loop; returns the quit message's exit code.
    virtual int Run();
    virtual int ExitInstance() { return m_nExitCode; }

    // On Windows before 4.0 this enables three-dimensional dialog controls
    // through CTL3D32.DLL when present; elsewhere it does nothing.
    void Enable3dControls();

    CString m_strAppName;
    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;

protected:
    int m_nExitCode = 0;

private:
    HMODULE m_hCtl3d = nullptr;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetResourceHandle();
// The framework's entry point; WinMain calls it.
int AfxWinMain(HINSTANCE instance);
