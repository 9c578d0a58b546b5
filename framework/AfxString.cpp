#include "framework/AfxString.h"

#include "framework/AfxWin.h"

CString CString::Left(int count) const
{
    if (count <= 0)
        return CString();
    return CString(m_text.substr(0, static_cast<size_t>(count)));
}

CString CString::Mid(int first) const
{
    if (first < 0)
        first = 0;
    if (static_cast<size_t>(first) >= m_text.size())
        return CString();
    return CString(m_text.substr(static_cast<size_t>(first)));
}

BOOL CString::LoadString(UINT id)
{
    // String resources are at most 4097 characters with the terminator.
    char buffer[4097];
    const int length = ::LoadStringA(AfxGetResourceHandle(), id, buffer, sizeof buffer);
    m_text.assign(buffer, length > 0 ? static_cast<size_t>(length) : 0);
    return length > 0;
}
