// The settings dialog from inside its own process, for what another process
// cannot see: the system menu (GetSystemMenu of a foreign window gives
// nothing) and the icon handed out while the dialog is dragged minimised.
// The end-to-end suite drives the rest through the running program.
#include "settings/SetupDlg.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/ShowApp.h"
#include "res/resource.h"

namespace {

// Runs `inspect` on the settings dialog once it is up, then cancels it.
// The check runs from a thread timer, which the dialog's modal loop
// dispatches like any other message.
struct DialogProbe {
    std::function<void(HWND)> inspect;
    HWND dialog = nullptr;
    int ticks = 0;
};

DialogProbe* g_probe = nullptr;

BOOL CALLBACK FindOwnDialog(HWND hwnd, LPARAM found)
{
    char name[16] = "";
    ::GetClassNameA(hwnd, name, sizeof name);
    if (std::string(name) == "#32770" && ::IsWindowVisible(hwnd)) {
        *reinterpret_cast<HWND*>(found) = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK ProbeTimer(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FindOwnDialog, reinterpret_cast<LPARAM>(&dialog));
    if (!dialog && ++g_probe->ticks < 200)
        return;
    ::KillTimer(nullptr, timer);
    if (!dialog)
        return;
    g_probe->dialog = dialog;
    g_probe->inspect(dialog);
    ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

// Shows the dialog as the program does and returns DoModal's result.
INT_PTR RunProbed(DialogProbe& probe)
{
    g_probe = &probe;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 20, ProbeTimer);
    CSetupDlg dialog(nullptr);
    const INT_PTR result = dialog.DoModal();
    ::KillTimer(nullptr, timer);
    g_probe = nullptr;
    return result;
}

class SetupDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_app.m_strProductName = "Velunor";
        m_app.m_nEffectMode = 1;
    }

    CShowApp m_app;
};

std::string MenuText(HMENU menu, int position)
{
    char text[128] = "";
    ::GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
    return text;
}

} // namespace

TEST_F(SetupDlgTest, SystemMenuEndsWithASeparatorAndTheAboutCommand)
{
    int count = 0;
    UINT separatorState = 0;
    UINT aboutId = 0;
    std::string aboutText;
    DialogProbe probe;
    probe.inspect = [&](HWND dialog) {
        HMENU menu = ::GetSystemMenu(dialog, FALSE);
        count = ::GetMenuItemCount(menu);
        if (count < 2)
            return;
        separatorState = ::GetMenuState(menu, static_cast<UINT>(count - 2), MF_BYPOSITION);
        aboutId = ::GetMenuItemID(menu, count - 1);
        aboutText = MenuText(menu, count - 1);
    };
    EXPECT_EQ(RunProbed(probe), IDCANCEL);
    ASSERT_NE(probe.dialog, nullptr) << "the dialog never showed";
    ASSERT_GE(count, 2);
    EXPECT_TRUE(separatorState & MF_SEPARATOR);
    EXPECT_EQ(aboutId, 0x0010u);
    EXPECT_EQ(aboutText, "&About Velunor  ScreenSaver");
}

TEST_F(SetupDlgTest, DraggedMinimisedItShowsTheProgramIcon)
{
    LRESULT dragIcon = 0;
    DialogProbe probe;
    probe.inspect = [&](HWND dialog) { dragIcon = ::SendMessageA(dialog, WM_QUERYDRAGICON, 0, 0); };
    RunProbed(probe);
    const HICON icon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_MAIN));
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(reinterpret_cast<HICON>(dragIcon), icon);
}
