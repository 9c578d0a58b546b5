// The framework layer against the real system: message maps and default
// processing, window lifetime and ownership, foreign handles, files, string
// resources, and GDI objects on every drawing path.
#include "framework/AfxWin.h"
#include "tests/win32/heap_check.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

LPCSTR TestClass()
{
    return AfxRegisterWndClass(0, ::LoadCursorA(nullptr, IDC_ARROW));
}

std::string WindowText(HWND hWnd)
{
    char text[256] = "";
    ::GetWindowTextA(hWnd, text, sizeof text);
    return text;
}

class CBaseProbeWnd : public CWnd {
public:
    std::vector<std::string> m_log;
    int m_nLastWidth = -1;

protected:
    void OnSize(UINT type, int cx, int cy)
    {
        m_nLastWidth = cx;
        CWnd::OnSize(type, cx, cy);
    }
    void OnShared() { m_log.push_back("base"); }
    void OnBaseOnly() { m_log.push_back("base only"); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseProbeWnd, CWnd)
    ON_WM_SIZE()
    ON_MESSAGE_VOID(WM_APP + 1, OnShared)
    ON_MESSAGE_VOID(WM_APP + 2, OnBaseOnly)
END_MESSAGE_MAP()

constexpr UINT WM_THROW_STD = WM_APP + 10;
constexpr UINT WM_THROW_RESOURCE = WM_APP + 11;

class CDerivedProbeWnd : public CBaseProbeWnd {
public:
    bool m_bPassSetText = false;
    bool m_bThrowInsideSetText = false;
    int m_nAfterThrow = 0;

protected:
    void OnShared() { m_log.push_back("derived"); }
    void OnSetText()
    {
        if (m_bThrowInsideSetText)
            SendMessage(WM_THROW_STD);
        if (m_bPassSetText)
            Default();
    }
    void OnThrowStd()
    {
        throw std::runtime_error("handler failure");
    }
    void OnThrowResource()
    {
        AfxThrowResourceException();
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedProbeWnd, CBaseProbeWnd)
    ON_MESSAGE_VOID(WM_APP + 1, OnShared)
    ON_MESSAGE_VOID(WM_SETTEXT, OnSetText)
    ON_MESSAGE_VOID(WM_THROW_STD, OnThrowStd)
    ON_MESSAGE_VOID(WM_THROW_RESOURCE, OnThrowResource)
END_MESSAGE_MAP()

class MessageMapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_wnd.CreateEx(0, TestClass(), "start", WS_POPUP, 0, 0, 100, 80, nullptr, nullptr));
    }
    CDerivedProbeWnd m_wnd;
};

TEST_F(MessageMapTest, DerivedEntryWinsAndUnmatchedMessagesReachTheBaseMap)
{
    m_wnd.SendMessage(WM_APP + 1);
    m_wnd.SendMessage(WM_APP + 2);
    EXPECT_EQ(m_wnd.m_log, (std::vector<std::string>{"derived", "base only"}));

    ::SetWindowPos(m_wnd.m_hWnd, nullptr, 0, 0, 123, 45, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    EXPECT_EQ(m_wnd.m_nLastWidth, 123);
}

TEST_F(MessageMapTest, DefaultReachesTheDefaultWindowProcedureOnlyWhenCalled)
{
    m_wnd.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("kept out"));
    EXPECT_EQ(WindowText(m_wnd.m_hWnd), "start");

    m_wnd.m_bPassSetText = true;
    m_wnd.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("passed on"));
    EXPECT_EQ(WindowText(m_wnd.m_hWnd), "passed on");
}

TEST_F(MessageMapTest, ExceptionsStayInsideTheWindowProcedure)
{
    m_wnd.SendMessage(WM_THROW_STD);
    m_wnd.SendMessage(WM_THROW_RESOURCE);
    EXPECT_TRUE(::IsWindow(m_wnd.m_hWnd));

    // A handler that survives a nested handler's exception still hands its
    // own message, not the nested one, to default processing.
    m_wnd.m_bThrowInsideSetText = true;
    m_wnd.m_bPassSetText = true;
    m_wnd.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("after nested throw"));
    EXPECT_EQ(WindowText(m_wnd.m_hWnd), "after nested throw");

    m_wnd.SendMessage(WM_APP + 2);
    EXPECT_EQ(m_wnd.m_log.back(), "base only");
}

// Counts its destruction; deletes itself after its window is gone, like the
// program's heap windows.
class CHeapWnd : public CWnd {
public:
    CHeapWnd(int* destroyed, bool failCreate) : m_bFailCreate(failCreate), m_pDestroyed(destroyed) {}
    ~CHeapWnd() override { ++*m_pDestroyed; }
    bool m_bFailCreate;

protected:
    int OnCreate(LPCREATESTRUCT create)
    {
        if (m_bFailCreate)
            return -1;
        return CWnd::OnCreate(create);
    }
    void PostNcDestroy() override { delete this; }

    DECLARE_MESSAGE_MAP()

private:
    int* m_pDestroyed;
};

BEGIN_MESSAGE_MAP(CHeapWnd, CWnd)
    ON_WM_CREATE()
END_MESSAGE_MAP()

TEST(WindowLifetime, HeapWindowDeletesItselfWhenDestroyed)
{
    int destroyed = 0;
    CHeapWnd* wnd = new CHeapWnd(&destroyed, false);
    ASSERT_TRUE(wnd->CreateEx(0, TestClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    const HWND hWnd = wnd->m_hWnd;
    EXPECT_EQ(CWnd::FromHandle(hWnd), wnd);

    EXPECT_TRUE(wnd->DestroyWindow());
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(::IsWindow(hWnd));
}

TEST(WindowLifetime, FailedCreationLeavesTheObjectToItsCreator)
{
    int destroyed = 0;
    CHeapWnd* wnd = new CHeapWnd(&destroyed, true);
    EXPECT_FALSE(wnd->CreateEx(0, TestClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(wnd->m_hWnd, nullptr);

    // The object is whole and can make its window after all.
    wnd->m_bFailCreate = false;
    ASSERT_TRUE(wnd->CreateEx(0, TestClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    wnd->DestroyWindow();
    EXPECT_EQ(destroyed, 1);
}

TEST(WindowLifetime, ObjectDestroyedFirstTakesItsWindowAlong)
{
    HWND hWnd = nullptr;
    {
        CBaseProbeWnd wnd;
        ASSERT_TRUE(wnd.CreateEx(0, TestClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
        hWnd = wnd.m_hWnd;
    }
    EXPECT_FALSE(::IsWindow(hWnd));
}

// Runs the thread's messages until `done` or a timeout.
template <typename Done>
void PumpUntil(Done done, DWORD timeoutMs = 3000)
{
    const DWORD start = ::GetTickCount();
    MSG msg;
    while (!done() && ::GetTickCount() - start < timeoutMs) {
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        ::Sleep(5);
    }
}

constexpr UINT WM_NEST = WM_APP + 20;

// A heap window that ends itself from inside its own handlers, the ways the
// program's windows do: a posted close, its timer, and a close sent several
// handlers deep.
class CSelfEndingWnd : public CWnd {
public:
    explicit CSelfEndingWnd(int* deleted) : m_pDeleted(deleted) {}
    ~CSelfEndingWnd() override { ++*m_pDeleted; }

protected:
    void OnTimer(UINT_PTR) { DestroyWindow(); }
    // Each level sends the next; the last one closes the window, whose
    // default processing destroys it while every outer handler still runs.
    LRESULT OnNest(WPARAM, LPARAM depth)
    {
        if (depth > 0)
            SendMessage(WM_NEST, 0, depth - 1);
        else
            SendMessage(WM_CLOSE);
        return 0;
    }
    void PostNcDestroy() override { delete this; }

    DECLARE_MESSAGE_MAP()

private:
    int* m_pDeleted;
};

BEGIN_MESSAGE_MAP(CSelfEndingWnd, CWnd)
    ON_WM_TIMER()
    ON_MESSAGE(WM_NEST, OnNest)
END_MESSAGE_MAP()

TEST(SelfDestruction, WindowEndsInsideItsOwnHandlersAndIsDeletedOnce)
{
    ASSERT_TRUE(HeapsValid());
    {
        SCOPED_TRACE("posted WM_CLOSE, destroyed by default processing");
        int deleted = 0;
        CSelfEndingWnd* wnd = new CSelfEndingWnd(&deleted);
        ASSERT_TRUE(wnd->CreateEx(0, TestClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
        const HWND hWnd = wnd->m_hWnd;
        wnd->PostMessage(WM_CLOSE);
        wnd->PostMessage(WM_CLOSE);
        PumpUntil([&] { return !::IsWindow(hWnd); });
        PumpUntil([] { return false; }, 50);
        EXPECT_FALSE(::IsWindow(hWnd));
        EXPECT_EQ(deleted, 1);
        EXPECT_TRUE(HeapsValid());
    }
    {
        SCOPED_TRACE("destroyed from its timer handler");
        int deleted = 0;
        CSelfEndingWnd* wnd = new CSelfEndingWnd(&deleted);
        ASSERT_TRUE(wnd->CreateEx(0, TestClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
        const HWND hWnd = wnd->m_hWnd;
        wnd->SetTimer(1, 10);
        PumpUntil([&] { return !::IsWindow(hWnd); });
        EXPECT_EQ(deleted, 1);
        EXPECT_TRUE(HeapsValid());
    }
    for (LPARAM depth : {0, 1, 5}) {
        SCOPED_TRACE("WM_CLOSE sent from nested handlers, depth " + std::to_string(depth));
        int deleted = 0;
        CSelfEndingWnd* wnd = new CSelfEndingWnd(&deleted);
        ASSERT_TRUE(wnd->CreateEx(0, TestClass(), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
        const HWND hWnd = wnd->m_hWnd;
        ::SendMessageA(hWnd, WM_NEST, 0, depth);
        EXPECT_FALSE(::IsWindow(hWnd));
        EXPECT_EQ(deleted, 1);
        EXPECT_TRUE(HeapsValid());
    }
}

// A heap dialog whose OK button destroys it, the way a modeless dialog ends:
// the window goes, and the object with it, inside the button's handler.
class CSelfEndingDlg : public CDialog {
public:
    explicit CSelfEndingDlg(int* deleted) : CDialog(IDD_ABOUTBOX), m_pDeleted(deleted) {}
    ~CSelfEndingDlg() override { ++*m_pDeleted; }

protected:
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(m_hWnd, IDOK)));
        return TRUE;
    }
    void OnOK() override { DestroyWindow(); }
    void PostNcDestroy() override { delete this; }

private:
    int* m_pDeleted;
};

TEST(SelfDestruction, DialogEndsInsideItsButtonHandlerAndIsDeletedOnce)
{
    int deleted = 0;
    CSelfEndingDlg* dialog = new CSelfEndingDlg(&deleted);
    dialog->DoModal();
    EXPECT_EQ(deleted, 1);
    EXPECT_TRUE(HeapsValid());
}

TEST(WindowLifetime, FromHandleWrapsForeignWindowsOnce)
{
    const HWND first = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 30, 20, nullptr, nullptr, nullptr, nullptr);
    const HWND second = ::CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 30, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(first && second);

    CWnd* wrapper = CWnd::FromHandle(first);
    ASSERT_NE(wrapper, nullptr);
    EXPECT_EQ(wrapper->m_hWnd, first);
    EXPECT_EQ(CWnd::FromHandle(first), wrapper);
    EXPECT_NE(CWnd::FromHandle(second), wrapper);
    RECT client;
    wrapper->GetClientRect(&client);
    EXPECT_EQ(client.right, 30);
    EXPECT_EQ(CWnd::FromHandle(nullptr), nullptr);

    ::DestroyWindow(first);
    ::DestroyWindow(second);
}

class FileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char dir[MAX_PATH];
        const DWORD n = ::GetTempPathA(MAX_PATH, dir);
        ASSERT_GT(n, 0u);
        m_path = std::string(dir, n) + "morva_cfile_test.bin";
        ::DeleteFileA(m_path.c_str());
    }
    void TearDown() override { ::DeleteFileA(m_path.c_str()); }

    void WriteBytes(const std::string& bytes)
    {
        CFile file;
        ASSERT_TRUE(file.Open(m_path.c_str(), CFile::modeCreate | CFile::modeWrite));
        ASSERT_TRUE(file.Write(bytes.data(), static_cast<UINT>(bytes.size())));
    }

    std::string m_path;
};

TEST_F(FileTest, WrittenBytesReadBackExactly)
{
    const std::string bytes("ab\0\r\n\xff", 6);
    WriteBytes(bytes);

    CFile file;
    ASSERT_TRUE(file.Open(m_path.c_str(), CFile::modeRead));
    EXPECT_EQ(file.GetLength(), 6u);
    char buffer[32] = {};
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 6), bytes);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
    EXPECT_FALSE(file.Write("x", 1));
}

TEST_F(FileTest, CreateTruncatesAnExistingFile)
{
    WriteBytes("0123456789");
    WriteBytes("ab");
    CFileStatus status;
    ASSERT_TRUE(CFile::GetStatus(m_path.c_str(), status));
    EXPECT_EQ(status.m_size, 2);
    EXPECT_EQ(status.m_attribute & FILE_ATTRIBUTE_DIRECTORY, 0);
}

TEST_F(FileTest, MissingFileAndDirectory)
{
    CFile file;
    EXPECT_FALSE(file.Open(m_path.c_str(), CFile::modeRead));
    EXPECT_FALSE(file.IsOpen());
    char buffer[4];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(file.GetLength(), 0u);
    CFileStatus status;
    EXPECT_FALSE(CFile::GetStatus(m_path.c_str(), status));

    char windows[MAX_PATH];
    ASSERT_GT(::GetWindowsDirectoryA(windows, MAX_PATH), 0u);
    ASSERT_TRUE(CFile::GetStatus(windows, status));
    EXPECT_NE(status.m_attribute & FILE_ATTRIBUTE_DIRECTORY, 0);
    EXPECT_FALSE(file.Open(windows, CFile::modeRead));
}

TEST(StringResource, LoadsTheProgramsStrings)
{
    CString text;
    EXPECT_TRUE(text.LoadString(IDS_PRODUCT));
    EXPECT_EQ(text, "Velunor ScreenSaver");
    EXPECT_TRUE(text.LoadString(IDS_TITLE));
    EXPECT_EQ(text, "Velunor ScreenSaver");
    EXPECT_TRUE(text.LoadString(IDS_ABOUTBOX));
    EXPECT_EQ(text, "&About Velunor  ScreenSaver");

    EXPECT_FALSE(text.LoadString(9999));
    EXPECT_TRUE(text.IsEmpty());
}

// Tells whether code run between construction and Leaked() left GDI objects
// behind. Windows counts them; Wine's GetGuiResources is a stub, but its
// handle table hands out freed slots last-in first-out and only takes a slot
// above the highest one used when none is free. So after a probe that
// empties the free list, a second probe of the same size reaches above that
// mark only by as many slots as were kept in between.
class GdiLeakCheck {
public:
    GdiLeakCheck()
    {
        m_nCount = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
        if (m_nCount == 0)
            m_nHighSlot = Probe(0);
    }
    int Leaked() const
    {
        if (m_nCount != 0)
            return static_cast<int>(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS)) -
                   static_cast<int>(m_nCount);
        int above = 0;
        Probe(m_nHighSlot, &above);
        return above;
    }

private:
    static constexpr int kProbeSize = 4096;

    // The highest slot taken by kProbeSize brushes; counts the slots above `mark`.
    static unsigned Probe(unsigned mark, int* above = nullptr)
    {
        std::vector<HBRUSH> brushes;
        unsigned high = 0;
        for (int i = 0; i < kProbeSize; ++i) {
            const HBRUSH brush = ::CreateSolidBrush(RGB(i & 0xFF, 0, 0));
            if (!brush)
                break;
            brushes.push_back(brush);
            const unsigned slot = LOWORD(reinterpret_cast<ULONG_PTR>(brush));
            high = slot > high ? slot : high;
            if (above && slot > mark)
                ++*above;
        }
        for (auto it = brushes.rbegin(); it != brushes.rend(); ++it)
            ::DeleteObject(*it);
        return high;
    }

    DWORD m_nCount = 0;
    unsigned m_nHighSlot = 0;
};

TEST(GdiLeakCheck, SeesAKeptObject)
{
    GdiLeakCheck check;
    const HBITMAP kept = ::CreateBitmap(8, 8, 1, 32, nullptr);
    EXPECT_EQ(check.Leaked(), 1);
    ::DeleteObject(kept);
}

class CPaintingWnd : public CWnd {
public:
    int m_nPaints = 0;

protected:
    void OnPaint()
    {
        CPaintDC dc(this);
        CBrush brush(RGB(10, 20, 30));
        ::FillRect(dc, &dc.Paint().rcPaint, brush);
        ++m_nPaints;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CPaintingWnd, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

// Draws through a memory DC the way the program's painting does; `select`
// false stands for a selection that fails (a bitmap held by another DC).
void DrawThroughMemory(CWnd* wnd, bool select)
{
    CClientDC dc(wnd);
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(dc, 16, 16));
    CDC memory;
    ASSERT_TRUE(memory.CreateCompatibleDC(dc));
    CDC holder;
    ASSERT_TRUE(holder.CreateCompatibleDC(dc));
    CSelectGuard held(holder, select ? nullptr : bitmap.GetSafeHandle());
    CSelectGuard guard(memory, bitmap.GetSafeHandle());
    ASSERT_EQ(guard.Selected(), select);
    ::BitBlt(dc, 0, 0, 16, 16, memory, 0, 0, SRCCOPY);
}

TEST(GdiObjects, NoDrawingPathKeepsObjects)
{
    CPaintingWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, TestClass(), "", WS_POPUP | WS_VISIBLE, 0, 0, 60, 40, nullptr, nullptr));
    const auto paint = [&] {
        ::InvalidateRect(wnd.m_hWnd, nullptr, FALSE);
        ::UpdateWindow(wnd.m_hWnd);
    };
    // First runs fill the system's caches.
    paint();
    DrawThroughMemory(&wnd, true);
    DrawThroughMemory(&wnd, false);
    DrawThroughMemory(nullptr, true);

    GdiLeakCheck check;
    const int paintsBefore = wnd.m_nPaints;
    for (int i = 0; i < 50; ++i) {
        paint();
        DrawThroughMemory(&wnd, true);
        DrawThroughMemory(&wnd, false);
        DrawThroughMemory(nullptr, true);
        CWindowDC window(&wnd);
    }
    EXPECT_EQ(wnd.m_nPaints - paintsBefore, 50);
    EXPECT_EQ(check.Leaked(), 0);
}

TEST(GdiObjects, WrappersReleaseWhatTheyHeld)
{
    CClientDC screen(nullptr);
    ASSERT_NE(screen.GetSafeHdc(), nullptr);
    CDC memory;
    ASSERT_TRUE(memory.CreateCompatibleDC(screen));
    const HDC firstDC = memory.GetSafeHdc();
    ASSERT_TRUE(memory.CreateCompatibleDC(screen));
    EXPECT_EQ(::GetObjectType(firstDC), 0u);

    const HGDIOBJ original = ::GetCurrentObject(memory, OBJ_BITMAP);
    HBITMAP first = nullptr;
    HBITMAP loaded = nullptr;
    {
        CBitmap bitmap;
        ASSERT_TRUE(bitmap.CreateCompatibleBitmap(screen, 4, 4));
        first = bitmap;
        ASSERT_TRUE(bitmap.LoadBitmap(IDB_TILE));
        EXPECT_EQ(::GetObjectType(first), 0u);
        {
            CSelectGuard guard(memory, bitmap.GetSafeHandle());
            EXPECT_EQ(::GetCurrentObject(memory, OBJ_BITMAP), bitmap.GetSafeHandle());
        }
        EXPECT_EQ(::GetCurrentObject(memory, OBJ_BITMAP), original);
        loaded = bitmap;
    }
    EXPECT_EQ(::GetObjectType(loaded), 0u);
}

} // namespace
