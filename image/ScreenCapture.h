// The screen as the capture file holds it: the file's 40-byte info header
// and its pixel rows, bottom row first, in one fixed zero-filled block. The
// show keeps it until its picture is loaded, so that a capture file that
// cannot be written or read back still leaves the show its picture.
#pragma once

#include <windows.h>

class CScreenCapture {
public:
    CScreenCapture() = default;
    ~CScreenCapture() { Free(); }
    CScreenCapture(const CScreenCapture&) = delete;
    CScreenCapture& operator=(const CScreenCapture&) = delete;

    // A zero-filled block of header.biSizeImage bytes for the pixels.
    BOOL Allocate(const BITMAPINFOHEADER& header)
    {
        Free();
        m_hBlock = ::GlobalAlloc(GPTR, header.biSizeImage);
        if (!m_hBlock)
            return FALSE;
        m_pBits = ::GlobalLock(m_hBlock);
        if (!m_pBits) {
            Free();
            return FALSE;
        }
        m_header = header;
        return TRUE;
    }

    void Free()
    {
        if (m_hBlock) {
            if (m_pBits)
                ::GlobalUnlock(m_hBlock);
            ::GlobalFree(m_hBlock);
        }
        m_hBlock = nullptr;
        m_pBits = nullptr;
        m_header = {};
    }

    bool IsEmpty() const { return m_pBits == nullptr; }
    const BITMAPINFOHEADER& Header() const { return m_header; }
    void* Bits() const { return m_pBits; }

private:
    BITMAPINFOHEADER m_header = {};
    HGLOBAL m_hBlock = nullptr;
    void* m_pBits = nullptr;
};
