// Drives the settings dialog of a running Morva.scr from another process, as
// a user would with the mouse, and reports what the dialog shows.
//   dialog_driver STEP...
// Steps run in order; each prints key=value lines:
//   wait            waits up to 20 s for the settings dialog; first_caption
//                   is its caption the moment it is first seen visible
//   state           caption, label (control 1011), focus (id of the focused
//                   control), selection and selection_text of the mode list,
//                   entries, tab_order, visible
//   rect            the dialog's window rectangle as x,y,width,height
//   activate        makes the settings dialog, or the About box when it is
//                   open, the foreground window, as a click on it would
//   select N        chooses entry N of the mode list (CB_SETCURSEL, then the
//                   CBN_SELCHANGE notification a click would send)
//   click ID        clicks button ID (BM_CLICK)
//   syscommand HEX  posts WM_SYSCOMMAND with that command id
//   about           waits up to 10 s for the About box: about_texts,
//                   about_default, about_rect
//   about_close K   closes the About box with ok (BM_CLICK on OK), esc
//                   (IDCANCEL) or close (SC_CLOSE) and waits for it to go
//   no_about MS     waits MS ms; about_shown tells whether it appeared
//   closed MS       waits up to MS ms for the settings dialog to go:
//                   dialog_closed=1 or 0
//   sleep MS
// Exits 1 with error=... when a window it needs is not there.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kDialogClass[] = "#32770";
const char kSetupCaption[] = "Velunor ScreenSaver";
const char kAboutCaption[] = "About Saver";
const int kModeList = 1003;
const int kLabel = 1011;

std::string Text(HWND hwnd)
{
    char text[512] = "";
    // WM_GETTEXT is marshalled between processes, unlike a window's memory.
    SendMessageA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    return text;
}

HWND FindVisibleDialog(const char* caption, DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    for (;;) {
        HWND hwnd = FindWindowA(kDialogClass, caption);
        if (hwnd && IsWindowVisible(hwnd))
            return hwnd;
        if (GetTickCount() - start >= milliseconds)
            return nullptr;
        Sleep(5);
    }
}

HWND Setup()
{
    return FindWindowA(kDialogClass, kSetupCaption);
}

bool Fail(const char* what)
{
    std::printf("error=%s\n", what);
    return false;
}

void PrintRect(const char* key, HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    std::printf("%s=%ld,%ld,%ld,%ld\n", key, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

bool Wait()
{
    // Any dialog: a caption set only after the first show would otherwise
    // go unnoticed.
    HWND hwnd = FindVisibleDialog(nullptr, 20000);
    if (!hwnd)
        return Fail("no dialog appeared");
    std::printf("first_caption=%s\n", Text(hwnd).c_str());
    return true;
}

bool State()
{
    HWND dialog = Setup();
    if (!dialog)
        return Fail("no settings dialog");
    std::printf("caption=%s\n", Text(dialog).c_str());
    std::printf("visible=%d\n", IsWindowVisible(dialog) ? 1 : 0);
    std::printf("foreground=%d\n", GetForegroundWindow() == dialog ? 1 : 0);
    std::printf("label=%s\n", Text(GetDlgItem(dialog, kLabel)).c_str());

    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus)
        std::printf("focus=%d\n", GetDlgCtrlID(info.hwndFocus));
    else
        std::printf("focus=none\n");

    HWND list = GetDlgItem(dialog, kModeList);
    const LRESULT selection = SendMessageA(list, CB_GETCURSEL, 0, 0);
    std::printf("selection=%ld\n", static_cast<long>(selection));
    std::string entries;
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        // The ANSI form of CB_GETLBTEXT comes back cut to its first
        // character between Wine processes; the wide form does not.
        wchar_t wide[128] = L"";
        char entry[128] = "";
        if (SendMessageW(list, CB_GETLBTEXTLEN, i, 0) < 128) {
            SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(wide));
            WideCharToMultiByte(CP_ACP, 0, wide, -1, entry, sizeof entry, nullptr, nullptr);
        }
        if (i == selection)
            std::printf("selection_text=%s\n", entry);
        entries += (i ? "|" : "") + std::string(entry);
    }
    std::printf("entries=%s\n", entries.c_str());

    std::string order;
    HWND first = GetNextDlgTabItem(dialog, nullptr, FALSE);
    for (HWND item = first; item;) {
        order += (order.empty() ? "" : ",") + std::to_string(GetDlgCtrlID(item));
        item = GetNextDlgTabItem(dialog, item, FALSE);
        if (item == first)
            break;
    }
    std::printf("tab_order=%s\n", order.c_str());
    return true;
}

bool Select(int entry)
{
    HWND dialog = Setup();
    if (!dialog)
        return Fail("no settings dialog");
    HWND list = GetDlgItem(dialog, kModeList);
    SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(entry), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(kModeList, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    return true;
}

bool Click(int id)
{
    HWND dialog = Setup();
    if (!dialog)
        return Fail("no settings dialog");
    HWND button = GetDlgItem(dialog, id);
    if (!button)
        return Fail("no such button");
    // Sent, not posted: when it returns, the button's handler has run.
    SendMessageA(button, BM_CLICK, 0, 0);
    return true;
}

bool SysCommand(unsigned id)
{
    HWND dialog = Setup();
    if (!dialog)
        return Fail("no settings dialog");
    // Posted: the About command runs a modal loop inside its handler.
    PostMessageA(dialog, WM_SYSCOMMAND, id, 0);
    return true;
}

bool About()
{
    HWND about = FindVisibleDialog(kAboutCaption, 10000);
    if (!about)
        return Fail("no About box");
    std::string texts;
    for (HWND child = GetWindow(about, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        // An icon control's text is its resource name, not anything shown.
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
            continue;
        const std::string text = Text(child);
        if (!text.empty())
            texts += (texts.empty() ? "" : "|") + text;
    }
    std::printf("about_texts=%s\n", texts.c_str());
    const LRESULT def = SendMessageA(about, DM_GETDEFID, 0, 0);
    std::printf("about_default=%d\n", HIWORD(def) == DC_HASDEFID ? LOWORD(def) : 0);
    HWND owner = GetWindow(about, GW_OWNER);
    std::printf("about_owner_is_setup=%d\n", owner && owner == Setup() ? 1 : 0);
    std::printf("setup_enabled=%d\n", IsWindowEnabled(Setup()) ? 1 : 0);
    PrintRect("about_rect", about);
    return true;
}

bool AboutClose(const char* how)
{
    HWND about = FindWindowA(kDialogClass, kAboutCaption);
    if (!about)
        return Fail("no About box");
    if (std::strcmp(how, "ok") == 0)
        SendMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    else if (std::strcmp(how, "esc") == 0)
        PostMessageA(about, WM_COMMAND, IDCANCEL, 0);
    else
        PostMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    const DWORD start = GetTickCount();
    while (IsWindow(about)) {
        if (GetTickCount() - start > 10000)
            return Fail("the About box stayed open");
        Sleep(5);
    }
    std::printf("about_closed=1\n");
    return true;
}

bool NoAbout(DWORD milliseconds)
{
    std::printf("about_shown=%d\n", FindVisibleDialog(kAboutCaption, milliseconds) ? 1 : 0);
    return true;
}

bool Closed(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    while (Setup() && GetTickCount() - start < milliseconds)
        Sleep(5);
    std::printf("dialog_closed=%d\n", Setup() ? 0 : 1);
    return true;
}

bool Rect()
{
    HWND dialog = Setup();
    if (!dialog)
        return Fail("no settings dialog");
    PrintRect("rect", dialog);
    return true;
}

bool Activate()
{
    HWND hwnd = FindWindowA(kDialogClass, kAboutCaption);
    if (!hwnd)
        hwnd = Setup();
    if (!hwnd)
        return Fail("no settings dialog");
    std::printf("activated=%d\n", SetForegroundWindow(hwnd) ? 1 : 0);
    // Without a window manager Wine makes a program's first window active
    // but leaves its caption drawn as inactive; this redraws it as it is.
    SendMessageA(hwnd, WM_NCACTIVATE, TRUE, 0);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        const bool takesArgument =
            step != "wait" && step != "state" && step != "rect" && step != "about" && step != "activate";
        if (takesArgument && ++i >= argc) {
            Fail("missing argument");
            return 1;
        }
        const char* arg = takesArgument ? argv[i] : "";
        bool ok = true;
        if (step == "wait")
            ok = Wait();
        else if (step == "state")
            ok = State();
        else if (step == "rect")
            ok = Rect();
        else if (step == "about")
            ok = About();
        else if (step == "activate")
            ok = Activate();
        else if (step == "select")
            ok = Select(std::atoi(arg));
        else if (step == "click")
            ok = Click(std::atoi(arg));
        else if (step == "syscommand")
            ok = SysCommand(static_cast<unsigned>(std::strtoul(arg, nullptr, 16)));
        else if (step == "about_close")
            ok = AboutClose(arg);
        else if (step == "no_about")
            ok = NoAbout(static_cast<DWORD>(std::atoi(arg)));
        else if (step == "closed")
            ok = Closed(static_cast<DWORD>(std::atoi(arg)));
        else if (step == "sleep")
            Sleep(static_cast<DWORD>(std::atoi(arg)));
        else
            ok = Fail("unknown step");
        std::fflush(stdout);
        if (!ok)
            return 1;
    }
    return 0;
}
