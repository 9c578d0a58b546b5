// The full-screen window: where it lies, how it looks, its timer, which
// messages end the show, the covers it lays over other monitors, and its
// rest while the display is off. One window serves the suite (its
// preparation takes a second or two); the close requests it posts are taken
// off the queue before they are dispatched, so it stays alive from test to
// test. The covers are laid out for monitors made up beside the real one;
// the display-state reports are made up too, as Wine sends none, and the
// tune goes to a stand-in for the multimedia library.
#include "app/FullScreenWnd.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <vector>

#include "app/ShowApp.h"
#include "res/resource.h"
#include "tests/win32/gdi_test_support.h"

namespace {

double NowMs()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// What a message pump saw of WM_QUIT.
struct QuitSeen {
    int count = 0;
    WPARAM exitCode = 99;
};

// Dispatches this thread's messages for up to `ms` milliseconds, or until
// `done` says so. Close requests for `dropClosesOf` are dropped; quit
// messages are counted in `quit`.
void PumpFor(double ms, HWND dropClosesOf = nullptr, QuitSeen* quit = nullptr,
             const std::function<bool()>& done = nullptr)
{
    const double end = NowMs() + ms;
    MSG msg;
    while (NowMs() < end && !(done && done())) {
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                if (quit) {
                    ++quit->count;
                    quit->exitCode = msg.wParam;
                }
                continue;
            }
            if (dropClosesOf && msg.message == WM_CLOSE && msg.hwnd == dropClosesOf)
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    }
}

// Stands in for the multimedia library: every command succeeds, the
// position is `position`, and the commands are kept with the position a
// play starts from.
class FakeMci final : public CMciSeam {
public:
    struct Sent {
        std::uint32_t command;
        std::uint32_t from;
    };
    std::vector<Sent> sent;
    std::uint32_t position = 0;

    mci::Error SendCommand(mci::DeviceId, std::uint32_t command, std::uint32_t flags, void* params) override
    {
        Sent s{command, 0};
        if (command == mci::kOpen)
            static_cast<mci::OpenParms*>(params)->wDeviceID = 1;
        else if (command == mci::kStatus)
            static_cast<mci::StatusParms*>(params)->dwReturn = position;
        else if (command == mci::kPlay && (flags & mci::kFrom))
            s.from = static_cast<mci::PlayParms*>(params)->dwFrom;
        sent.push_back(s);
        return 0;
    }
    bool FileExists(const char*) override { return true; }

    std::vector<std::uint32_t> Commands() const
    {
        std::vector<std::uint32_t> out;
        for (const Sent& s : sent)
            out.push_back(s.command);
        return out;
    }
};

FakeMci g_mci;

// Records what reaches default processing and each tick.
class CProbeFullScreenWnd : public CFullScreenWnd {
public:
    explicit CProbeFullScreenWnd(int* deleted) : CFullScreenWnd(g_mci), m_pDeleted(deleted) {}
    ~CProbeFullScreenWnd() override { ++*m_pDeleted; }

    struct Tick {
        UINT_PTR id;
        int cycleTick; // the show's tick after this one
    };
    std::vector<Tick> m_ticks;
    std::vector<MSG> m_defaults;

    bool ReachedDefault(UINT message, WPARAM wParam) const
    {
        return std::any_of(m_defaults.begin(), m_defaults.end(),
                           [&](const MSG& m) { return m.message == message && m.wParam == wParam; });
    }

    using CFullScreenWnd::IsResting;
    using CFullScreenWnd::LayOutCovers;
    using CFullScreenWnd::WatchesDisplay;
    int CycleTick() const { return m_pScene->Cycle().TickCount(); }
    CEffectEngine& Engine() { return m_pScene->Engine(); }
    int Mode() const { return m_pScene->Cycle().Mode(); }
    const uint32_t* Display() const { return static_cast<const uint32_t*>(m_dibDisplay.GetBits()); }
    const uint32_t* Source() const { return static_cast<const uint32_t*>(m_dibSource.GetBits()); }

    // Whether the show got its images and its water.
    bool HasImages() const { return Source() && Display(); }
    bool HasWater() const { return m_pScene && m_pScene->Engine().GetWidth() > 0; }

protected:
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        m_defaults.push_back(MSG{m_hWnd, message, wParam, lParam, 0, {0, 0}});
        // System commands are only recorded: their default processing may
        // close the window or, under Wine, open a dialog of its own.
        if (message == WM_SYSCOMMAND)
            return 0;
        return CFullScreenWnd::DefWindowProc(message, wParam, lParam);
    }
    void OnTimer(UINT_PTR id)
    {
        CFullScreenWnd::OnTimer(id);
        m_ticks.push_back({id, m_pScene ? CycleTick() : -1});
    }

    DECLARE_MESSAGE_MAP()

private:
    int* m_pDeleted;
};

BEGIN_MESSAGE_MAP(CProbeFullScreenWnd, CFullScreenWnd)
    ON_WM_TIMER()
END_MESSAGE_MAP()

// A power-setting report as the system sends it with WM_POWERBROADCAST:
// the setting, the length of its value, and the value, here room for two
// DWORDs so that a report may claim a longer one.
struct PowerReport {
    GUID setting;
    DWORD length;
    DWORD value[2];
};

constexpr WPARAM kPowerSettingChange = 0x8013;
const GUID kConsoleDisplayState = {0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
// The display of the user's session: a setting the window did not ask for.
const GUID kSessionDisplayStatus = {0x2b84c20e, 0xad23, 0x4ddf, {0x93, 0xdb, 0x05, 0xff, 0xbd, 0x7e, 0xfc, 0xa5}};
constexpr DWORD kOff = 0;
constexpr DWORD kOn = 1;
constexpr DWORD kDimmed = 2;

LRESULT SendDisplayState(HWND hWnd, DWORD state, const GUID& setting = kConsoleDisplayState,
                         DWORD length = sizeof(DWORD), WPARAM event = kPowerSettingChange)
{
    PowerReport report{setting, length, {state, 0}};
    return ::SendMessageA(hWnd, WM_POWERBROADCAST, event, reinterpret_cast<LPARAM>(&report));
}

// A resting show has no timer, and a tick the system still hands over does
// nothing.
void ExpectResting(CProbeFullScreenWnd* wnd)
{
    EXPECT_TRUE(wnd->IsResting());
    EXPECT_FALSE(::KillTimer(wnd->m_hWnd, CShowWnd::kTimerId)) << "the timer runs on";
    const int tick = wnd->CycleTick();
    wnd->SendMessage(WM_TIMER, CShowWnd::kTimerId);
    EXPECT_EQ(wnd->CycleTick(), tick);
}

// Takes one queued close request for the window off the queue.
bool TakeClose(HWND hWnd)
{
    MSG msg;
    return ::PeekMessageA(&msg, hWnd, WM_CLOSE, WM_CLOSE, PM_REMOVE) != FALSE;
}

struct OwnedSearch {
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK AddIfOwned(HWND hWnd, LPARAM param)
{
    auto* search = reinterpret_cast<OwnedSearch*>(param);
    if (::GetWindow(hWnd, GW_OWNER) == search->owner)
        search->found.push_back(hWnd);
    return TRUE;
}

// The windows the show window owns, its covers, in creation order (the
// system lists the newest first).
std::vector<HWND> OwnedWindows(HWND owner)
{
    OwnedSearch search{owner, {}};
    ::EnumThreadWindows(::GetCurrentThreadId(), AddIfOwned, reinterpret_cast<LPARAM>(&search));
    std::reverse(search.found.begin(), search.found.end());
    return search.found;
}

RECT WindowRect(HWND hWnd)
{
    RECT rect;
    ::GetWindowRect(hWnd, &rect);
    return rect;
}

// Two monitors made up beside the primary screen: one to its right, one to
// its left reaching above it.
std::vector<ScreenRect> MadeUpMonitors()
{
    const int cx = ::GetSystemMetrics(SM_CXSCREEN);
    const int cy = ::GetSystemMetrics(SM_CYSCREEN);
    return {{-320, -40, 0, 200}, {0, 0, cx, cy}, {cx, 0, cx + 300, 200}};
}

class FullScreenWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_app = new CShowApp;
        s_wnd = new CProbeFullScreenWnd(&s_deleted);
        const double start = NowMs();
        s_created = s_wnd->Create() != FALSE;
        std::printf("full-screen window created in %.0f ms\n", NowMs() - start);
        if (!s_created)
            return;
        // The first report, before anything queued by the system: it is
        // only taken as the reference.
        s_wnd->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(kRefX, kRefY));
        s_firstMoveEnded = TakeClose(s_wnd->m_hWnd);
        // The system's own reports of the resting pointer come before the
        // next ticks; they may differ from the reference and ask to close,
        // which is dropped here.
        PumpTicks(2);
        s_systemCovers = OwnedWindows(s_wnd->m_hWnd).size();
        s_activeBeforeCovers = ::GetActiveWindow();
        s_wnd->LayOutCovers(MadeUpMonitors());
        PumpTicks(2);
    }
    static void TearDownTestSuite()
    {
        if (s_created)
            s_wnd->DestroyWindow();
        else
            delete s_wnd;
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
        delete s_app;
    }
    void SetUp() override
    {
        ASSERT_TRUE(s_created);
        while (TakeClose(s_wnd->m_hWnd)) {
        }
        s_wnd->m_defaults.clear();
    }

    // Runs the window's messages until `n` more ticks came (a timer message
    // comes after any input queued before it), dropping its close requests.
    static void PumpTicks(size_t n)
    {
        const size_t until = s_wnd->m_ticks.size() + n;
        PumpFor(10000, s_wnd->m_hWnd, nullptr, [until] { return s_wnd->m_ticks.size() >= until; });
    }

    // Whether sending the message made the window ask to be closed.
    static bool Ends(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        s_wnd->SendMessage(message, wParam, lParam);
        return TakeClose(s_wnd->m_hWnd);
    }
    static bool EndsAfterPosting(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        s_wnd->PostMessage(message, wParam, lParam);
        MSG msg;
        while (::PeekMessageA(&msg, s_wnd->m_hWnd, message, message, PM_REMOVE))
            ::DispatchMessageA(&msg);
        return TakeClose(s_wnd->m_hWnd);
    }

    static constexpr int kRefX = 700;
    static constexpr int kRefY = 500;
    static CShowApp* s_app;
    static CProbeFullScreenWnd* s_wnd;
    static int s_deleted;
    static bool s_created;
    static bool s_firstMoveEnded;
    static size_t s_systemCovers;
    static HWND s_activeBeforeCovers;
};

CShowApp* FullScreenWindowTest::s_app = nullptr;
CProbeFullScreenWnd* FullScreenWindowTest::s_wnd = nullptr;
int FullScreenWindowTest::s_deleted = 0;
bool FullScreenWindowTest::s_created = false;
bool FullScreenWindowTest::s_firstMoveEnded = true;
size_t FullScreenWindowTest::s_systemCovers = 99;
HWND FullScreenWindowTest::s_activeBeforeCovers = nullptr;

TEST_F(FullScreenWindowTest, CoversThePrimaryScreenAboveAllOthersWithoutFrame)
{
    const HWND hWnd = s_wnd->m_hWnd;
    RECT rect;
    ::GetWindowRect(hWnd, &rect);
    EXPECT_EQ(rect.left, 0);
    EXPECT_EQ(rect.top, 0);
    EXPECT_EQ(rect.right, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(rect.bottom, ::GetSystemMetrics(SM_CYSCREEN));
    ::GetClientRect(hWnd, &rect);
    EXPECT_EQ(rect.right, ::GetSystemMetrics(SM_CXSCREEN));
    EXPECT_EQ(rect.bottom, ::GetSystemMetrics(SM_CYSCREEN));

    const DWORD style = static_cast<DWORD>(::GetWindowLongA(hWnd, GWL_STYLE));
    EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE), static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
    EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_CHILD), 0u);
    EXPECT_NE(::GetWindowLongA(hWnd, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
    EXPECT_TRUE(::IsWindowVisible(hWnd));
    EXPECT_EQ(::GetWindowTextLengthA(hWnd), 0);
    EXPECT_EQ(::GetParent(hWnd), nullptr);
}

TEST_F(FullScreenWindowTest, PointerIsHiddenOverTheWindow)
{
    const HCURSOR blank = ::LoadCursorA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_BLANK));
    ASSERT_NE(blank, nullptr);
    EXPECT_EQ(reinterpret_cast<HCURSOR>(::GetClassLongPtrA(s_wnd->m_hWnd, GCLP_HCURSOR)), blank);

    ::SetCursor(::LoadCursorA(nullptr, IDC_ARROW));
    EXPECT_EQ(s_wnd->SendMessage(WM_SETCURSOR, reinterpret_cast<WPARAM>(s_wnd->m_hWnd),
                                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
              TRUE);
    EXPECT_EQ(::GetCursor(), nullptr);
    EXPECT_FALSE(s_wnd->ReachedDefault(WM_SETCURSOR, reinterpret_cast<WPARAM>(s_wnd->m_hWnd)));
}

// The pixels the window shows that differ from `image` (bottom-up rows).
int ShownMismatches(HWND hWnd, const uint32_t* image, int width, int height)
{
    const HDC dc = ::GetDC(hWnd);
    const std::vector<uint32_t> shown = DcPixels(dc, width, height, true);
    ::ReleaseDC(hWnd, dc);
    int mismatches = 0;
    for (size_t i = 0; i < shown.size(); ++i)
        mismatches += shown[i] != (image[i] & 0x00FFFFFF);
    return mismatches;
}

// Paints a white square over the screen's top-left corner, whose edges no
// step draws; with `tell`, the window gets a paint message.
void SpoilCorner(HWND hWnd, bool tell = false)
{
    const HDC dc = ::GetDC(hWnd);
    ::PatBlt(dc, 0, 0, 32, 32, WHITENESS);
    ::ReleaseDC(hWnd, dc);
    if (tell)
        ::RedrawWindow(hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

// Whether the window shows its display image after one more tick.
bool TickShowsTheFrame(CProbeFullScreenWnd* wnd)
{
    wnd->SendMessage(WM_TIMER, CShowWnd::kTimerId);
    return ShownMismatches(wnd->m_hWnd, wnd->Display(), ::GetSystemMetrics(SM_CXSCREEN),
                           ::GetSystemMetrics(SM_CYSCREEN)) == 0;
}

TEST_F(FullScreenWindowTest, TimerOneTicksTheScenePaintingItsFramesAndTheCycleRestartsTheTune)
{
    s_wnd->m_ticks.clear();
    PumpTicks(3);
    ASSERT_GE(s_wnd->m_ticks.size(), 3u);
    EXPECT_EQ(s_wnd->m_ticks.back().id, 1u);
    // A tick leaves its last frame on the screen; the drops have rippled it.
    const int width = ::GetSystemMetrics(SM_CXSCREEN), height = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_TRUE(TickShowsTheFrame(s_wnd));
    EXPECT_GT(ShownMismatches(s_wnd->m_hWnd, s_wnd->Source(), width, height), 0);

    // Past the drops, on water made flat again, a drop off the centre
    // changes only its own corner of the screen, which its steps paint
    // where the screen shows it. A paint message has the next step paint
    // the whole image.
    while (s_wnd->CycleTick() != CShowCycle::kDropTicks)
        s_wnd->SendMessage(WM_TIMER, CShowWnd::kTimerId);
    ASSERT_TRUE(s_wnd->Engine().Create(width, height));
    EXPECT_TRUE(TickShowsTheFrame(s_wnd));
    s_wnd->Engine().AddCosineDrop(width / 4, height / 3, 24, 1000, s_wnd->Engine().GetPage());
    EXPECT_TRUE(TickShowsTheFrame(s_wnd));
    EXPECT_TRUE(TickShowsTheFrame(s_wnd));
    SpoilCorner(s_wnd->m_hWnd, true);
    EXPECT_TRUE(TickShowsTheFrame(s_wnd));

    // The restart tick closes the tune and plays it again from its start.
    g_mci.position = 0;
    do {
        g_mci.sent.clear();
        s_wnd->SendMessage(WM_TIMER, CShowWnd::kTimerId);
    } while (s_wnd->CycleTick() != 0);
    EXPECT_EQ(g_mci.Commands(), (std::vector<std::uint32_t>{mci::kStop, mci::kClose, mci::kOpen, mci::kSet, mci::kSeek,
                                                           mci::kStatus, mci::kPlay}));
}

TEST_F(FullScreenWindowTest, OnlyAMouseMoveAwayFromTheFirstReportEnds)
{
    EXPECT_FALSE(s_firstMoveEnded);
    EXPECT_FALSE(Ends(WM_MOUSEMOVE, 0, MAKELPARAM(kRefX, kRefY)));
    EXPECT_TRUE(Ends(WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(kRefX, kRefY - 1)));
    EXPECT_TRUE(EndsAfterPosting(WM_MOUSEMOVE, 0, MAKELPARAM(kRefX + 5, kRefY + 5)));
    EXPECT_FALSE(EndsAfterPosting(WM_MOUSEMOVE, 0, MAKELPARAM(kRefX, kRefY)));
    EXPECT_TRUE(s_wnd->ReachedDefault(WM_MOUSEMOVE, 0));
}

TEST_F(FullScreenWindowTest, KeysAndButtonsPressedEnd)
{
    const struct {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    } presses[] = {
        {WM_KEYDOWN, 'A', 0x001E0001},
        {WM_KEYDOWN, VK_SHIFT, 0x002A0001},
        {WM_SYSKEYDOWN, VK_MENU, 0x20380001},
        {WM_SYSKEYDOWN, VK_F4, 0x203E0001},  // Alt+F4
        {WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(kRefX, kRefY)},
        {WM_MBUTTONDOWN, MK_MBUTTON, MAKELPARAM(kRefX, kRefY)},
        {WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(kRefX, kRefY)},
    };
    for (const auto& p : presses) {
        s_wnd->m_defaults.clear();
        EXPECT_TRUE(Ends(p.message, p.wParam, p.lParam)) << "message 0x" << std::hex << p.message;
        EXPECT_TRUE(s_wnd->ReachedDefault(p.message, p.wParam)) << "message 0x" << std::hex << p.message;
        EXPECT_FALSE(TakeClose(s_wnd->m_hWnd)) << "one close request per press";
    }
    EXPECT_TRUE(EndsAfterPosting(WM_KEYDOWN, VK_SPACE, 0x00390001));
    // Alt+F4's own close command is swallowed: the window is still there.
    EXPECT_TRUE(::IsWindow(s_wnd->m_hWnd));
}

TEST_F(FullScreenWindowTest, ReleasesCharactersAndTheWheelDoNotEnd)
{
    EXPECT_FALSE(Ends(WM_KEYUP, 'A', 0xC01E0001));
    EXPECT_FALSE(Ends(WM_SYSKEYUP, VK_MENU, 0xC0380001));
    EXPECT_FALSE(Ends(WM_CHAR, 'a', 0x001E0001));
    EXPECT_FALSE(Ends(WM_LBUTTONUP, 0, MAKELPARAM(kRefX, kRefY)));
    EXPECT_FALSE(Ends(WM_MBUTTONUP, 0, MAKELPARAM(kRefX, kRefY)));
    EXPECT_FALSE(Ends(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), MAKELPARAM(kRefX, kRefY)));
    EXPECT_FALSE(EndsAfterPosting(WM_MOUSEWHEEL, MAKEWPARAM(0, -WHEEL_DELTA), MAKELPARAM(kRefX, kRefY)));
}

TEST_F(FullScreenWindowTest, ScreenSaveAndCloseCommandsAreSwallowed)
{
    EXPECT_FALSE(Ends(WM_SYSCOMMAND, SC_SCREENSAVE));
    EXPECT_FALSE(Ends(WM_SYSCOMMAND, SC_CLOSE));
    EXPECT_FALSE(s_wnd->ReachedDefault(WM_SYSCOMMAND, SC_SCREENSAVE));
    EXPECT_FALSE(s_wnd->ReachedDefault(WM_SYSCOMMAND, SC_CLOSE));

    for (WPARAM other : {WPARAM(SC_SCREENSAVE | 1), WPARAM(SC_CLOSE | 2), WPARAM(SC_MINIMIZE), WPARAM(SC_KEYMENU)}) {
        EXPECT_FALSE(Ends(WM_SYSCOMMAND, other));
        EXPECT_TRUE(s_wnd->ReachedDefault(WM_SYSCOMMAND, other)) << std::hex << other;
    }
    EXPECT_TRUE(::IsWindow(s_wnd->m_hWnd));
}

TEST_F(FullScreenWindowTest, LosingActivationEnds)
{
    EXPECT_EQ(s_wnd->SendMessage(WM_NCACTIVATE, FALSE), FALSE);
    EXPECT_FALSE(s_wnd->ReachedDefault(WM_NCACTIVATE, FALSE));
    EXPECT_FALSE(TakeClose(s_wnd->m_hWnd));

    EXPECT_TRUE(Ends(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0)));
    EXPECT_TRUE(Ends(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 1)));
    EXPECT_TRUE(Ends(WM_ACTIVATEAPP, FALSE));
    EXPECT_TRUE(s_wnd->ReachedDefault(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0)));
    EXPECT_TRUE(s_wnd->ReachedDefault(WM_ACTIVATEAPP, FALSE));
}

TEST_F(FullScreenWindowTest, GainingActivationDoesNotEnd)
{
    EXPECT_FALSE(Ends(WM_NCACTIVATE, TRUE));
    EXPECT_TRUE(s_wnd->ReachedDefault(WM_NCACTIVATE, TRUE));
    EXPECT_FALSE(Ends(WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0)));
    EXPECT_FALSE(Ends(WM_ACTIVATE, MAKEWPARAM(WA_CLICKACTIVE, 0)));
    EXPECT_FALSE(Ends(WM_ACTIVATEAPP, TRUE));
    EXPECT_TRUE(s_wnd->ReachedDefault(WM_ACTIVATEAPP, TRUE));
}

TEST_F(FullScreenWindowTest, EveryOtherMonitorAndNoneElseGetsACover)
{
    // The real screen: with one monitor no cover exists.
    EXPECT_EQ(s_systemCovers, static_cast<size_t>(::GetSystemMetrics(SM_CMONITORS) - 1));

    const auto covers = OwnedWindows(s_wnd->m_hWnd);
    ASSERT_EQ(covers.size(), 2u);
    const auto monitors = MadeUpMonitors();
    for (size_t i = 0; i < covers.size(); ++i) {
        const ScreenRect& m = monitors[i == 0 ? 0 : 2];
        const RECT r = WindowRect(covers[i]);
        EXPECT_EQ(r.left, m.left);
        EXPECT_EQ(r.top, m.top);
        EXPECT_EQ(r.right, m.right);
        EXPECT_EQ(r.bottom, m.bottom);
    }
    // The show window itself is untouched.
    const RECT own = WindowRect(s_wnd->m_hWnd);
    EXPECT_EQ(own.left, 0);
    EXPECT_EQ(own.right, ::GetSystemMetrics(SM_CXSCREEN));
}

TEST_F(FullScreenWindowTest, CoversAreBlankTopmostPopupsThatNeverTakeTheActivation)
{
    const HCURSOR blank = ::LoadCursorA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDC_BLANK));
    for (HWND cover : OwnedWindows(s_wnd->m_hWnd)) {
        const DWORD style = static_cast<DWORD>(::GetWindowLongA(cover, GWL_STYLE));
        const DWORD exStyle = static_cast<DWORD>(::GetWindowLongA(cover, GWL_EXSTYLE));
        EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE), static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
        EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_CHILD), 0u);
        EXPECT_EQ(exStyle & (WS_EX_TOPMOST | WS_EX_NOACTIVATE), static_cast<DWORD>(WS_EX_TOPMOST | WS_EX_NOACTIVATE));
        EXPECT_EQ(::GetWindowTextLengthA(cover), 0);
        EXPECT_EQ(reinterpret_cast<HCURSOR>(::GetClassLongPtrA(cover, GCLP_HCURSOR)), blank);
        EXPECT_EQ(::SendMessageA(cover, WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(s_wnd->m_hWnd),
                                 MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
                  MA_NOACTIVATE);
    }
    // Laying out the covers left the activation where it was.
    EXPECT_EQ(::GetActiveWindow(), s_activeBeforeCovers);
    EXPECT_FALSE(TakeClose(s_wnd->m_hWnd));
}

TEST_F(FullScreenWindowTest, ActivationMovingToACoverIsNoLoss)
{
    const auto covers = OwnedWindows(s_wnd->m_hWnd);
    ASSERT_FALSE(covers.empty());
    for (HWND cover : covers)
        EXPECT_FALSE(Ends(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(cover)));
    // Any other window of the program is one the user switched to.
    const HWND other = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                         ::GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(other, nullptr);
    EXPECT_TRUE(Ends(WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, 0), reinterpret_cast<LPARAM>(other)));
    ::DestroyWindow(other);
}

TEST_F(FullScreenWindowTest, KeysAndButtonsOnACoverEndAndReleasesDoNot)
{
    for (HWND cover : OwnedWindows(s_wnd->m_hWnd)) {
        for (UINT press : {WM_LBUTTONDOWN, WM_MBUTTONDOWN, WM_RBUTTONDOWN, WM_KEYDOWN, WM_SYSKEYDOWN}) {
            ::SendMessageA(cover, press, 0, 0);
            EXPECT_TRUE(TakeClose(s_wnd->m_hWnd)) << "message 0x" << std::hex << press;
            EXPECT_FALSE(TakeClose(s_wnd->m_hWnd)) << "one close request per press";
        }
        for (UINT other : {WM_LBUTTONUP, WM_RBUTTONUP, WM_KEYUP, WM_CHAR, WM_MOUSEWHEEL}) {
            ::SendMessageA(cover, other, 0, 0);
            EXPECT_FALSE(TakeClose(s_wnd->m_hWnd)) << "message 0x" << std::hex << other;
        }
        EXPECT_FALSE(TakeClose(cover)) << "a cover never closes on its own";
    }
}

TEST_F(FullScreenWindowTest, DisplayChangeLaysTheCoversOutForTheSystemsMonitors)
{
    const auto before = OwnedWindows(s_wnd->m_hWnd);
    ASSERT_EQ(before.size(), 2u);
    SpoilCorner(s_wnd->m_hWnd);
    EXPECT_FALSE(Ends(WM_DISPLAYCHANGE, 32,
                      MAKELPARAM(::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN))));
    // The screen is painted whole at the next step.
    EXPECT_TRUE(TickShowsTheFrame(s_wnd));
    for (HWND gone : before)
        EXPECT_FALSE(::IsWindow(gone));
    EXPECT_EQ(OwnedWindows(s_wnd->m_hWnd).size(), s_systemCovers);
    EXPECT_TRUE(::IsWindow(s_wnd->m_hWnd));
    s_wnd->LayOutCovers(MadeUpMonitors());
    EXPECT_EQ(OwnedWindows(s_wnd->m_hWnd).size(), 2u);
}

TEST_F(FullScreenWindowTest, DisplayOffRestsTheShowAndOnWakesItWhereItStopped)
{
    // Wine accepts the registration without ever reporting anything.
    EXPECT_TRUE(s_wnd->WatchesDisplay());
    const HWND hWnd = s_wnd->m_hWnd;
    g_mci.position = 41234;
    g_mci.sent.clear();
    const int tickAtRest = s_wnd->CycleTick();
    const int mode = s_wnd->Mode();

    EXPECT_EQ(SendDisplayState(hWnd, kOff), TRUE);
    EXPECT_EQ(g_mci.Commands(), (std::vector<std::uint32_t>{mci::kStatus, mci::kStop}));
    ExpectResting(s_wnd);

    // Another "off" changes nothing; input still ends the show.
    g_mci.sent.clear();
    EXPECT_EQ(SendDisplayState(hWnd, kOff), TRUE);
    EXPECT_TRUE(g_mci.sent.empty());
    EXPECT_TRUE(Ends(WM_KEYDOWN, 'A', 0x001E0001));
    EXPECT_TRUE(Ends(WM_MOUSEMOVE, 0, MAKELPARAM(kRefX + 3, kRefY)));

    // What the screen lost meanwhile is painted at the first step after.
    SpoilCorner(hWnd);
    EXPECT_EQ(SendDisplayState(hWnd, kOn), TRUE);
    EXPECT_FALSE(s_wnd->IsResting());
    ASSERT_EQ(g_mci.Commands(), (std::vector<std::uint32_t>{mci::kPlay}));
    EXPECT_EQ(g_mci.sent[0].from, 41234u) << "the tune goes on where it paused";
    // The timer runs again, and the cycle goes on at the next tick (the
    // first of a new cycle when the rest came at the last tick of one).
    PumpTicks(1);
    const int lastTick = mode == 1 ? CShowCycle::kMode1Ticks : CShowCycle::kOtherModeTicks;
    EXPECT_EQ(s_wnd->m_ticks.back().cycleTick, tickAtRest < lastTick ? tickAtRest + 1 : 0);
    EXPECT_TRUE(TickShowsTheFrame(s_wnd));
}

TEST_F(FullScreenWindowTest, OtherReportsAndUnmatchedStatesChangeNothing)
{
    const HWND hWnd = s_wnd->m_hWnd;
    g_mci.sent.clear();
    // An "on" or "dimmed" while the show runs.
    EXPECT_EQ(SendDisplayState(hWnd, kOn), TRUE);
    EXPECT_EQ(SendDisplayState(hWnd, kDimmed), TRUE);
    // "Off" for another setting, with a value of another size, as another
    // event, or no report at all; a state the display never has.
    EXPECT_EQ(SendDisplayState(hWnd, kOff, kSessionDisplayStatus), TRUE);
    for (DWORD length : {0u, 1u, 2u, 8u})
        EXPECT_EQ(SendDisplayState(hWnd, kOff, kConsoleDisplayState, length), TRUE) << length;
    EXPECT_EQ(s_wnd->SendMessage(WM_POWERBROADCAST, kPowerSettingChange, 0), TRUE);
    EXPECT_EQ(SendDisplayState(hWnd, 3), TRUE);
    SendDisplayState(hWnd, kOff, kConsoleDisplayState, sizeof(DWORD), PBT_APMRESUMEAUTOMATIC);
    EXPECT_TRUE(s_wnd->ReachedDefault(WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC));
    EXPECT_FALSE(s_wnd->ReachedDefault(WM_POWERBROADCAST, kPowerSettingChange));
    EXPECT_FALSE(s_wnd->IsResting());
    EXPECT_TRUE(g_mci.sent.empty());
    s_wnd->m_ticks.clear();
    PumpTicks(3);
    EXPECT_GE(s_wnd->m_ticks.size(), 3u);

    // A dimmed display wakes the show as an "on" does.
    EXPECT_EQ(SendDisplayState(hWnd, kOff), TRUE);
    EXPECT_TRUE(s_wnd->IsResting());
    EXPECT_EQ(SendDisplayState(hWnd, kDimmed), TRUE);
    EXPECT_FALSE(s_wnd->IsResting());
    EXPECT_EQ(g_mci.Commands(), (std::vector<std::uint32_t>{mci::kStatus, mci::kStop, mci::kPlay}));
}

TEST(FullScreenWindowEnd, QueuedClosesEndOnceWithExitCodeZero)
{
    CShowApp app;
    int deleted = 0;
    CProbeFullScreenWnd* wnd = new CProbeFullScreenWnd(&deleted);
    ASSERT_TRUE(wnd->Create());
    const HWND hWnd = wnd->m_hWnd;
    wnd->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(3, 4));
    wnd->PostMessage(WM_KEYDOWN, 'Q', 0x00100001);
    wnd->PostMessage(WM_MOUSEMOVE, 0, MAKELPARAM(9, 4));
    wnd->PostMessage(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(9, 4));

    QuitSeen quit;
    PumpFor(3000, nullptr, &quit, [&] { return !::IsWindow(hWnd); });
    // Whatever the window left queued.
    PumpFor(0, nullptr, &quit);
    EXPECT_FALSE(::IsWindow(hWnd));
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(quit.count, 1);
    EXPECT_EQ(quit.exitCode, 0u);
}

// The first report on a cover is the reference for the show window too, even
// at (-1, -1) of the screen, and a click on a cover ends the program once,
// taking every cover with it.
TEST(FullScreenWindowEnd, AClickOnACoverEndsTheShowAndItsCovers)
{
    CShowApp app;
    int deleted = 0;
    CProbeFullScreenWnd* wnd = new CProbeFullScreenWnd(&deleted);
    ASSERT_TRUE(wnd->Create());
    const HWND hWnd = wnd->m_hWnd;
    wnd->LayOutCovers(MadeUpMonitors());
    const auto covers = OwnedWindows(hWnd);
    ASSERT_EQ(covers.size(), 2u);
    const RECT left = WindowRect(covers[0]);
    ::SendMessageA(covers[0], WM_MOUSEMOVE, 0, MAKELPARAM(-1 - left.left, -1 - left.top));
    wnd->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(-1, -1));
    EXPECT_FALSE(TakeClose(hWnd)) << "the first report on the cover is the reference";
    wnd->SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(0, 0));
    EXPECT_TRUE(TakeClose(hWnd)) << "a move from (-1, -1) is a move";
    ::PostMessageA(covers[1], WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 20));

    QuitSeen quit;
    PumpFor(3000, nullptr, &quit, [&] { return !::IsWindow(hWnd); });
    PumpFor(0, nullptr, &quit);
    EXPECT_FALSE(::IsWindow(hWnd));
    for (HWND cover : covers)
        EXPECT_FALSE(::IsWindow(cover));
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(quit.count, 1);
    EXPECT_EQ(quit.exitCode, 0u);
}

// The system reports the display's state right after the registration: a
// show started with the display off rests before its first tick, and a key
// still ends it.
TEST(FullScreenWindowEnd, AShowStartedWithTheDisplayOffRestsFromTheStart)
{
    CShowApp app;
    int deleted = 0;
    CProbeFullScreenWnd* wnd = new CProbeFullScreenWnd(&deleted);
    ASSERT_TRUE(wnd->Create());
    const HWND hWnd = wnd->m_hWnd;
    g_mci.sent.clear();
    EXPECT_EQ(SendDisplayState(hWnd, kOff), TRUE);
    EXPECT_EQ(g_mci.Commands(), (std::vector<std::uint32_t>{mci::kStatus, mci::kStop}));
    ExpectResting(wnd);
    EXPECT_EQ(wnd->CycleTick(), 0);

    wnd->PostMessage(WM_KEYDOWN, 'Q', 0x00100001);
    QuitSeen quit;
    PumpFor(3000, nullptr, &quit, [&] { return quit.count > 0; });
    EXPECT_FALSE(::IsWindow(hWnd));
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(quit.exitCode, 0u);
}

// Takes all free address space but `leftBytes`, in 1 MB pieces, and gives it
// back when it goes.
class AddressSpaceHog {
public:
    explicit AddressSpaceHog(size_t leftBytes)
    {
        const size_t piece = 1 << 20;
        while (void* p = ::VirtualAlloc(nullptr, piece, MEM_RESERVE, PAGE_NOACCESS))
            m_pieces.push_back(p);
        for (size_t left = 0; left < leftBytes && !m_pieces.empty(); left += piece) {
            ::VirtualFree(m_pieces.back(), 0, MEM_RELEASE);
            m_pieces.pop_back();
        }
    }
    ~AddressSpaceHog()
    {
        for (void* p : m_pieces)
            ::VirtualFree(p, 0, MEM_RELEASE);
    }
    AddressSpaceHog(const AddressSpaceHog&) = delete;
    AddressSpaceHog& operator=(const AddressSpaceHog&) = delete;

private:
    std::vector<void*> m_pieces;
};

// With no memory for its pictures and water the show still runs its timer,
// draws nothing (the screen keeps the picture drawn while it was prepared)
// and ends on the first key with exit code 0.
TEST(FullScreenWindowEnd, RunsAndEndsWhenMemoryRunsOut)
{
    CShowApp app;
    int deleted = 0;
    CProbeFullScreenWnd* wnd;
    BOOL created;
    bool images;
    bool water;
    {
        AddressSpaceHog hog(2 << 20);
        wnd = new CProbeFullScreenWnd(&deleted);
        created = wnd->Create();
        images = created && wnd->HasImages();
        water = created && wnd->HasWater();
        if (created)
            PumpFor(10000, wnd->m_hWnd, nullptr, [wnd] { return wnd->m_ticks.size() >= 5; });
    }
    std::printf("  with 2 MB of address space left: window %s, images %s, water %s\n", created ? "made" : "not made",
                images ? "made" : "not made", water ? "made" : "not made");
    ASSERT_TRUE(created);
    EXPECT_FALSE(images && water) << "the allocations did not fail: the test proves nothing";
    ASSERT_GE(wnd->m_ticks.size(), 5u);
    // The cycle goes on without water, for the tune's restarts.
    EXPECT_EQ(wnd->m_ticks.back().cycleTick, static_cast<int>(wnd->m_ticks.size()));

    const HWND hWnd = wnd->m_hWnd;
    wnd->PostMessage(WM_KEYDOWN, 'Q', 0x00100001);
    QuitSeen quit;
    PumpFor(3000, nullptr, &quit, [&] { return quit.count > 0; });
    EXPECT_FALSE(::IsWindow(hWnd));
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(quit.exitCode, 0u);
}

} // namespace
