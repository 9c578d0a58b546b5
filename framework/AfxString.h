// CString: the framework's single-byte string, a thin owner of std::string
// with the operations the program uses.
#pragma once

#include <windows.h>

#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text ? text : "") {}
    CString(const char* text, int length) : m_text(text, static_cast<size_t>(length)) {}
    CString(std::string text) : m_text(std::move(text)) {}

    operator LPCSTR() const { return m_text.c_str(); }
    const std::string& str() const { return m_text; }

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }

    // Index of the first occurrence, or -1.
    int Find(const char* sub) const { return ToIndex(m_text.find(sub)); }
    int ReverseFind(char ch) const { return ToIndex(m_text.rfind(ch)); }
    CString Left(int count) const;
    CString Mid(int first) const;

    // Loads a string resource of the program; FALSE when there is none.
    BOOL LoadString(UINT id);

    CString& operator=(const char* text) { m_text = text ? text : ""; return *this; }
    CString& operator+=(const char* text) { m_text += text ? text : ""; return *this; }
    CString& operator+=(const CString& other) { m_text += other.m_text; return *this; }

    friend CString operator+(const CString& a, const char* b) { CString r(a); r += b; return r; }
    friend CString operator+(const CString& a, const CString& b) { CString r(a); r += b; return r; }
    friend bool operator==(const CString& a, const char* b) { return a.m_text == (b ? b : ""); }
    friend bool operator!=(const CString& a, const char* b) { return !(a == b); }
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }

private:
    static int ToIndex(size_t pos) { return pos == std::string::npos ? -1 : static_cast<int>(pos); }

    std::string m_text;
};
