#include "framework/AfxFile.h"

BOOL CFile::Open(LPCSTR path, UINT flags)
{
    Close();
    DWORD access = GENERIC_READ;
    if (flags & modeWrite)
        access = GENERIC_WRITE;
    else if (flags & modeReadWrite)
        access = GENERIC_READ | GENERIC_WRITE;
    const DWORD creation = (flags & modeCreate) ? CREATE_ALWAYS : OPEN_EXISTING;
    m_hFile = ::CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, creation,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    return m_hFile != INVALID_HANDLE_VALUE;
}

UINT CFile::Read(void* buffer, UINT count)
{
    DWORD done = 0;
    if (!IsOpen() || !::ReadFile(m_hFile, buffer, count, &done, nullptr))
        return 0;
    return done;
}

BOOL CFile::Write(const void* buffer, UINT count)
{
    DWORD done = 0;
    return IsOpen() && ::WriteFile(m_hFile, buffer, count, &done, nullptr) && done == count;
}

DWORD CFile::GetLength() const
{
    if (!IsOpen())
        return 0;
    DWORD high = 0;
    const DWORD low = ::GetFileSize(m_hFile, &high);
    if (low == INVALID_FILE_SIZE && ::GetLastError() != NO_ERROR)
        return 0;
    return low;
}

void CFile::Close()
{
    if (IsOpen()) {
        ::CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }
}

BOOL CFile::GetStatus(LPCSTR path, CFileStatus& status)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return FALSE;
    status.m_size = static_cast<LONG>(data.nFileSizeLow);
    status.m_attribute = static_cast<BYTE>(data.dwFileAttributes);
    return TRUE;
}
