// CFile: an unbuffered binary file on a Win32 handle, opened and closed by its
// owner, with the status query the program uses to learn a file's size.
#pragma once

#include <windows.h>

struct CFileStatus {
    LONG m_size = 0;       // the low 32 bits of the size in the directory entry
    BYTE m_attribute = 0;  // FILE_ATTRIBUTE_* bits, low byte
};

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        modeCreate = 0x1000,
    };

    CFile() = default;
    ~CFile() { Close(); }
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    BOOL Open(LPCSTR path, UINT flags);
    // Bytes actually read; 0 at the end or on failure.
    UINT Read(void* buffer, UINT count);
    // TRUE only when every byte was written.
    BOOL Write(const void* buffer, UINT count);
    // The file's length, or 0 when it cannot be read.
    DWORD GetLength() const;
    void Close();
    bool IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }

    static BOOL GetStatus(LPCSTR path, CFileStatus& status);

private:
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
};
