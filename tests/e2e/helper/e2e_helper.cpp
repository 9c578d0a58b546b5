// A small Windows program that plays the parts of the system around the
// screen saver in end-to-end tests:
//   e2e_helper host <saver> [destroy|abandon]
//       makes a 320 x 240 window, starts "<saver> /p <hwnd>" as the display
//       settings would, reports the child window the saver attached, then
//       destroys its window (destroy) or exits without destroying it
//       (abandon), and reports how the saver ended.
//   e2e_helper activate <ms>
//       shows a window of its own and makes it the active one for <ms>.
//   e2e_helper desktop <ms>
//       covers the screen for <ms> with a desktop of its own: dark green,
//       with a magenta block at (100, 80)-(300, 180).
//   e2e_helper display <off|on|dimmed>
//       reports the display's new state to the running show as the system
//       would: the report is written into the show's process and its
//       address sent with WM_POWERBROADCAST to the show's window.
// Results are printed as key=value lines.
#include <windows.h>
#include <tlhelp32.h>

#include "tests/e2e/helper/host_window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

HWND MakeWindow(const char* title, int width, int height)
{
    return MakeHostWindow("MorvaE2EHelper", title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, width, height);
}

int Host(const char* saver, const char* ending)
{
    HWND host = MakeWindow("Preview host", 320, 240);
    if (!host)
        return 3;
    PumpMessages(200);
    char command[MAX_PATH + 64];
    std::snprintf(command, sizeof command, "\"%s\" /p %lu", saver,
                  static_cast<unsigned long>(reinterpret_cast<ULONG_PTR>(host)));
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 4;
    std::printf("saver_pid=%lu\n", pi.dwProcessId);

    HWND child = nullptr;
    for (int i = 0; i < 1000 && !child; ++i) {
        PumpMessages(10);
        child = GetWindow(host, GW_CHILD);
    }
    RECT client;
    GetClientRect(host, &client);
    std::printf("host_client=%ldx%ld\n", client.right, client.bottom);
    if (child) {
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, host, reinterpret_cast<POINT*>(&rect), 2);
        DWORD owner = 0;
        GetWindowThreadProcessId(child, &owner);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        std::printf("child_rect=%ld,%ld,%ld,%ld\n", rect.left, rect.top, rect.right, rect.bottom);
        std::printf("child_owner_is_saver=%d\n", owner == pi.dwProcessId ? 1 : 0);
        std::printf("child_style_child=%d\n", (style & WS_CHILD) ? 1 : 0);
    } else {
        std::printf("child_rect=none\n");
    }
    PumpMessages(500);
    DWORD waited = WaitForSingleObject(pi.hProcess, 0);
    std::printf("saver_running_before_end=%d\n", waited == WAIT_TIMEOUT ? 1 : 0);
    std::fflush(stdout);

    if (std::strcmp(ending, "abandon") == 0)
        ExitProcess(0);

    const DWORD start = GetTickCount();
    DestroyWindow(host);
    waited = WAIT_TIMEOUT;
    while (waited == WAIT_TIMEOUT && GetTickCount() - start < 10000) {
        PumpMessages(20);
        waited = WaitForSingleObject(pi.hProcess, 0);
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    std::printf("saver_ended=%d\n", waited == WAIT_OBJECT_0 ? 1 : 0);
    std::printf("saver_exit_code=%lu\n", code);
    std::printf("saver_end_ms=%lu\n", GetTickCount() - start);
    if (waited != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return 0;
}

int Activate(int milliseconds)
{
    HWND hwnd = MakeWindow("Activation thief", 200, 100);
    if (!hwnd)
        return 3;
    SetForegroundWindow(hwnd);
    SetActiveWindow(hwnd);
    PumpMessages(static_cast<DWORD>(milliseconds));
    std::printf("activated=%d\n", GetForegroundWindow() == hwnd ? 1 : 0);
    DestroyWindow(hwnd);
    return 0;
}

LRESULT CALLBACK DesktopProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT)
        return DefWindowProcA(hwnd, message, wParam, lParam);
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH green = CreateSolidBrush(RGB(0x20, 0x70, 0x30));
    HBRUSH magenta = CreateSolidBrush(RGB(0xE0, 0x20, 0xC0));
    FillRect(dc, &client, green);
    const RECT block = {100, 80, 300, 180};
    FillRect(dc, &block, magenta);
    DeleteObject(green);
    DeleteObject(magenta);
    EndPaint(hwnd, &ps);
    return 0;
}

int Desktop(int milliseconds)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DesktopProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "MorvaE2EDesktop";
    RegisterClassA(&wc);
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "Morva test desktop", WS_POPUP | WS_VISIBLE, 0, 0,
                                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                wc.hInstance, nullptr);
    if (!hwnd)
        return 3;
    UpdateWindow(hwnd);
    std::printf("desktop_shown=1\n");
    PumpMessages(static_cast<DWORD>(milliseconds));
    DestroyWindow(hwnd);
    return 0;
}

// The power-setting report of the console's display state, laid out as the
// system's (whose headers declare it only for newer targets).
struct DisplayStateReport {
    GUID setting;
    DWORD length;
    DWORD state;
};
const GUID kConsoleDisplayState = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
constexpr WPARAM kPowerSettingChange = 0x8013;

struct ShowSearch {
    DWORD pid;
    HWND found;
};

// The show's window: a visible top-level window of the process over the
// whole primary screen (its covers lie on other monitors).
BOOL CALLBACK FindShowWindow(HWND hwnd, LPARAM param)
{
    auto* search = reinterpret_cast<ShowSearch*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    RECT rect;
    if (pid != search->pid || !IsWindowVisible(hwnd) || !GetWindowRect(hwnd, &rect))
        return TRUE;
    if (rect.left == 0 && rect.top == 0 && rect.right == GetSystemMetrics(SM_CXSCREEN) &&
        rect.bottom == GetSystemMetrics(SM_CYSCREEN)) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

HWND ShowWindowOfSaver(DWORD& pid)
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return nullptr;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    HWND found = nullptr;
    for (BOOL more = Process32First(snapshot, &entry); more && !found; more = Process32Next(snapshot, &entry)) {
        if (lstrcmpiA(entry.szExeFile, "Morva.scr") != 0)
            continue;
        ShowSearch search{entry.th32ProcessID, nullptr};
        EnumWindows(FindShowWindow, reinterpret_cast<LPARAM>(&search));
        found = search.found;
        pid = entry.th32ProcessID;
    }
    CloseHandle(snapshot);
    return found;
}

int Display(const char* state)
{
    DWORD value;
    if (std::strcmp(state, "off") == 0)
        value = 0;
    else if (std::strcmp(state, "on") == 0)
        value = 1;
    else if (std::strcmp(state, "dimmed") == 0)
        value = 2;
    else
        return 2;
    DWORD pid = 0;
    const HWND show = ShowWindowOfSaver(pid);
    if (!show) {
        std::printf("show_window=none\n");
        return 3;
    }
    std::printf("show_window=%p\n", static_cast<void*>(show));
    const HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return 4;
    const DisplayStateReport report{kConsoleDisplayState, sizeof(DWORD), value};
    void* remote = VirtualAllocEx(process, nullptr, sizeof report, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    int rc = 5;
    if (remote && WriteProcessMemory(process, remote, &report, sizeof report, nullptr)) {
        const LRESULT result =
            SendMessageA(show, WM_POWERBROADCAST, kPowerSettingChange, reinterpret_cast<LPARAM>(remote));
        std::printf("result=%ld\n", static_cast<long>(result));
        rc = 0;
    }
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return rc;
}

} // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc >= 3 && std::strcmp(argv[1], "host") == 0)
        return Host(argv[2], argc >= 4 ? argv[3] : "destroy");
    if (argc >= 3 && std::strcmp(argv[1], "activate") == 0)
        return Activate(std::atoi(argv[2]));
    if (argc >= 3 && std::strcmp(argv[1], "desktop") == 0)
        return Desktop(std::atoi(argv[2]));
    if (argc >= 3 && std::strcmp(argv[1], "display") == 0)
        return Display(argv[2]);
    std::fprintf(stderr, "usage: e2e_helper host <saver> [destroy|abandon] | activate <ms> | desktop <ms> | "
                         "display <off|on|dimmed>\n");
    return 2;
}
