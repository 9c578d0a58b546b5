// The animation window as the preview: a child filling a window of this
// process, painted black and tiled with bitmap 135 from its top-left corner,
// with a running timer that draws nothing and plays no music.
#include "show/ShowWnd.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "app/ShowApp.h"
#include "res/resource.h"
#include "tests/win32/gdi_test_support.h"

namespace {

constexpr int kTileWidth = 157;
constexpr int kTileHeight = 113;

class CProbeShowWnd : public CShowWnd {
public:
    explicit CProbeShowWnd(int* deleted) : CShowWnd(TRUE), m_pDeleted(deleted) {}
    ~CProbeShowWnd() override { ++*m_pDeleted; }

    int m_nTicks = 0;
    bool m_bMusicEverOpen = false;
    // Whether the full-screen preparation (screen capture, images, scene) ran.
    bool Prepared() const { return m_nScreenWidth != 0 || m_dibSource.GetBits() != nullptr || m_pScene; }

protected:
    void OnTimer(UINT_PTR id)
    {
        CShowWnd::OnTimer(id);
        ++m_nTicks;
        m_bMusicEverOpen = m_bMusicEverOpen || m_music.IsOpen();
    }

    DECLARE_MESSAGE_MAP()

private:
    int* m_pDeleted;
};

BEGIN_MESSAGE_MAP(CProbeShowWnd, CShowWnd)
    ON_WM_TIMER()
END_MESSAGE_MAP()

std::vector<uint32_t> TilePixels()
{
    const HBITMAP tile = static_cast<HBITMAP>(::LoadImageA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDB_TILE),
                                                           IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!tile)
        return {};
    const HDC screen = ::GetDC(nullptr);
    const HDC memory = ::CreateCompatibleDC(screen);
    const HGDIOBJ old = ::SelectObject(memory, tile);
    std::vector<uint32_t> pixels = DcPixels(memory, kTileWidth, kTileHeight);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    ::DeleteObject(tile);
    return pixels;
}

// Dispatches this thread's messages, then waits for more until `done` says
// so, for at most ten seconds.
template <typename Done>
void Pump(Done done)
{
    const DWORD end = ::GetTickCount() + 10000;
    MSG msg;
    do {
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    } while (!done() && static_cast<LONG>(end - ::GetTickCount()) > 0 &&
             ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT) != WAIT_FAILED);
}

class PreviewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_app.m_strRunMode = "p";
        WNDCLASSA wc = {};
        wc.lpfnWndProc = ::DefWindowProcA;
        wc.hInstance = ::GetModuleHandleA(nullptr);
        wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
        wc.lpszClassName = "MorvaPreviewHost";
        ::RegisterClassA(&wc);
        m_hHost = ::CreateWindowExA(0, wc.lpszClassName, "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 30, 420, 320,
                                    nullptr, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(m_hHost, nullptr);
        ::GetClientRect(m_hHost, &m_client);
        m_pWnd = new CProbeShowWnd(&m_nDeleted);
        ASSERT_TRUE(m_pWnd->Create(0, WS_CHILD | WS_VISIBLE, m_client, CWnd::FromHandle(m_hHost)));
        m_hChild = m_pWnd->m_hWnd;
        ::RedrawWindow(m_hHost, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    void TearDown() override
    {
        if (m_hHost)
            ::DestroyWindow(m_hHost);
        Pump([] { return true; });
    }

    // Counts the child's pixels that differ from bitmap 135 tiled from
    // (-dx, -dy); the preview's own tiling starts at its top-left corner.
    int TiledMismatches(int dx = 0, int dy = 0)
    {
        const std::vector<uint32_t> tile = TilePixels();
        EXPECT_EQ(tile.size(), static_cast<size_t>(kTileWidth * kTileHeight));
        if (tile.empty())
            return -1;
        // A plain tile would hide a shifted tiling.
        EXPECT_GT(std::set<uint32_t>(tile.begin(), tile.end()).size(), 16u);
        const int width = m_client.right;
        const int height = m_client.bottom;
        const HDC dc = ::GetDC(m_hChild);
        const std::vector<uint32_t> shown = DcPixels(dc, width, height);
        ::ReleaseDC(m_hChild, dc);
        int mismatches = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const size_t tx = static_cast<size_t>((x + dx) % kTileWidth);
                const size_t ty = static_cast<size_t>((y + dy) % kTileHeight);
                mismatches += shown[static_cast<size_t>(y) * width + x] != tile[ty * kTileWidth + tx];
            }
        }
        return mismatches;
    }

    CShowApp m_app;
    HWND m_hHost = nullptr;
    HWND m_hChild = nullptr;
    RECT m_client = {};
    CProbeShowWnd* m_pWnd = nullptr;
    int m_nDeleted = 0;
};

TEST_F(PreviewTest, VisibleChildFillsTheClientArea)
{
    EXPECT_EQ(::GetParent(m_hChild), m_hHost);
    const DWORD style = static_cast<DWORD>(::GetWindowLongA(m_hChild, GWL_STYLE));
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE), static_cast<DWORD>(WS_CHILD | WS_VISIBLE));
    EXPECT_TRUE(::IsWindowVisible(m_hChild));
    RECT child;
    ::GetWindowRect(m_hChild, &child);
    ::MapWindowPoints(nullptr, m_hHost, reinterpret_cast<POINT*>(&child), 2);
    EXPECT_TRUE(::EqualRect(&child, &m_client));
    EXPECT_EQ(::ChildWindowFromPoint(m_hHost, POINT{m_client.right - 1, m_client.bottom - 1}), m_hChild);
}

TEST_F(PreviewTest, PaintingTilesBitmap135FromTheTopLeftCorner)
{
    EXPECT_EQ(TiledMismatches(), 0);
    EXPECT_GT(TiledMismatches(1, 0), 0);
    EXPECT_GT(TiledMismatches(0, 1), 0);

    // Ticks draw nothing over it, and the preview plays no music.
    Pump([this] { return m_pWnd->m_nTicks >= 2; });
    EXPECT_GE(m_pWnd->m_nTicks, 2);
    EXPECT_FALSE(m_pWnd->m_bMusicEverOpen);
    EXPECT_FALSE(m_pWnd->Prepared());
    EXPECT_EQ(TiledMismatches(), 0);
}

TEST_F(PreviewTest, PartialRepaintKeepsTheTiling)
{
    const RECT part = {100, 90, 260, 200};
    const HDC dc = ::GetDC(m_hChild);
    ::FillRect(dc, &part, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
    ::ReleaseDC(m_hChild, dc);
    ASSERT_GT(TiledMismatches(), 0);
    ::InvalidateRect(m_hChild, &part, FALSE);
    ::UpdateWindow(m_hChild);
    EXPECT_EQ(TiledMismatches(), 0);
}

TEST_F(PreviewTest, EndsWithItsParentAndDeletesItself)
{
    ::DestroyWindow(m_hHost);
    m_hHost = nullptr;
    EXPECT_FALSE(::IsWindow(m_hChild));
    EXPECT_EQ(m_nDeleted, 1);
}

} // namespace
