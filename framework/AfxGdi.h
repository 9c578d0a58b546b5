// GDI objects and drawing contexts. Each wrapper owns its handle and releases
// it in its destructor; none is copyable. CSelectGuard puts the previous
// object back into a DC when it goes out of scope, so no path leaks a
// selection.
#pragma once

#include <windows.h>

class CWnd;

class CGdiObject {
public:
    CGdiObject() = default;
    virtual ~CGdiObject() { DeleteObject(); }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    BOOL Attach(HGDIOBJ object);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    int GetObject(int size, void* buffer) const;

protected:
    HGDIOBJ m_hObject = nullptr;
};

class CBitmap : public CGdiObject {
public:
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
    BOOL LoadBitmap(UINT id);
    BOOL CreateCompatibleBitmap(HDC dc, int width, int height);
    BOOL CreateDiscardableBitmap(HDC dc, int width, int height);
    int GetBitmap(BITMAP* info) const { return GetObject(sizeof(BITMAP), info); }
};

class CPalette : public CGdiObject {
public:
    operator HPALETTE() const { return static_cast<HPALETTE>(m_hObject); }
    BOOL CreatePalette(const LOGPALETTE* palette);
};

class CBrush : public CGdiObject {
public:
    explicit CBrush(COLORREF color) { m_hObject = ::CreateSolidBrush(color); }
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }
};

// A drawing context. The base owns nothing: the kinds below say how their DC
// is obtained and released.
class CDC {
public:
    CDC() = default;
    virtual ~CDC();
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }

    // A memory DC, or a DC of a whole device ("DISPLAY"), deleted with this
    // object.
    BOOL CreateCompatibleDC(HDC reference);
    BOOL CreateDC(LPCSTR driver);
    int GetDeviceCaps(int index) const { return m_hDC ? ::GetDeviceCaps(m_hDC, index) : 0; }
    int GetClipBox(RECT* rect) const { return ::GetClipBox(m_hDC, rect); }
    HPALETTE SelectPalette(HPALETTE palette, BOOL forceBackground)
    {
        return ::SelectPalette(m_hDC, palette, forceBackground);
    }
    UINT RealizePalette() { return ::RealizePalette(m_hDC); }

protected:
    void DeleteOwnedDC();

    HDC m_hDC = nullptr;
    bool m_bOwnsDC = false;
};

// GetDC / ReleaseDC of a window's client area; with no window, the screen.
class CClientDC : public CDC {
public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

private:
    HWND m_hWnd;
};

// GetWindowDC / ReleaseDC; with no window, the whole screen.
class CWindowDC : public CDC {
public:
    explicit CWindowDC(CWnd* wnd);
    ~CWindowDC() override;

private:
    HWND m_hWnd;
};

// BeginPaint / EndPaint for one WM_PAINT.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;
    const PAINTSTRUCT& Paint() const { return m_ps; }

private:
    HWND m_hWnd;
    PAINTSTRUCT m_ps;
};

// Selects an object into a DC and puts the previous one back on scope exit.
class CSelectGuard {
public:
    CSelectGuard(HDC dc, HGDIOBJ object) : m_hDC(dc), m_hOld(dc && object ? ::SelectObject(dc, object) : nullptr) {}
    ~CSelectGuard()
    {
        if (m_hOld && m_hOld != HGDI_ERROR)
            ::SelectObject(m_hDC, m_hOld);
    }
    CSelectGuard(const CSelectGuard&) = delete;
    CSelectGuard& operator=(const CSelectGuard&) = delete;

    // False when the object could not be selected.
    bool Selected() const { return m_hOld && m_hOld != HGDI_ERROR; }

private:
    HDC m_hDC;
    HGDIOBJ m_hOld;
};
