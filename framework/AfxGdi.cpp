#include "framework/AfxGdi.h"

#include "framework/AfxWin.h"

BOOL CGdiObject::Attach(HGDIOBJ object)
{
    DeleteObject();
    m_hObject = object;
    return object != nullptr;
}

HGDIOBJ CGdiObject::Detach()
{
    HGDIOBJ object = m_hObject;
    m_hObject = nullptr;
    return object;
}

BOOL CGdiObject::DeleteObject()
{
    if (!m_hObject)
        return FALSE;
    const BOOL deleted = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return deleted;
}

int CGdiObject::GetObject(int size, void* buffer) const
{
    return m_hObject ? ::GetObjectA(m_hObject, size, buffer) : 0;
}

BOOL CBitmap::LoadBitmap(UINT id)
{
    return Attach(::LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id)));
}

BOOL CBitmap::CreateCompatibleBitmap(HDC dc, int width, int height)
{
    return Attach(::CreateCompatibleBitmap(dc, width, height));
}

BOOL CBitmap::CreateDiscardableBitmap(HDC dc, int width, int height)
{
    return Attach(::CreateDiscardableBitmap(dc, width, height));
}

BOOL CPalette::CreatePalette(const LOGPALETTE* palette)
{
    return Attach(::CreatePalette(palette));
}

CDC::~CDC()
{
    DeleteOwnedDC();
}

void CDC::DeleteOwnedDC()
{
    if (m_bOwnsDC && m_hDC)
        ::DeleteDC(m_hDC);
    m_hDC = nullptr;
    m_bOwnsDC = false;
}

BOOL CDC::CreateCompatibleDC(HDC reference)
{
    DeleteOwnedDC();
    m_hDC = ::CreateCompatibleDC(reference);
    m_bOwnsDC = m_hDC != nullptr;
    return m_bOwnsDC;
}

BOOL CDC::CreateDC(LPCSTR driver)
{
    DeleteOwnedDC();
    m_hDC = ::CreateDCA(driver, nullptr, nullptr, nullptr);
    m_bOwnsDC = m_hDC != nullptr;
    return m_bOwnsDC;
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd ? wnd->GetSafeHwnd() : nullptr)
{
    m_hDC = ::GetDC(m_hWnd);
}

CClientDC::~CClientDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
}

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd ? wnd->GetSafeHwnd() : nullptr)
{
    m_hDC = ::GetWindowDC(m_hWnd);
}

CWindowDC::~CWindowDC()
{
    if (m_hDC)
        ::ReleaseDC(m_hWnd, m_hDC);
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->GetSafeHwnd()), m_ps()
{
    m_hDC = ::BeginPaint(m_hWnd, &m_ps);
}

CPaintDC::~CPaintDC()
{
    ::EndPaint(m_hWnd, &m_ps);
}
