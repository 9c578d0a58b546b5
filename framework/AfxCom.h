// Releases a COM interface when it goes out of scope.
#pragma once

template <class T>
class CComRelease {
public:
    CComRelease() = default;
    ~CComRelease()
    {
        if (p)
            p->Release();
    }
    CComRelease(const CComRelease&) = delete;
    CComRelease& operator=(const CComRelease&) = delete;

    T* p = nullptr;
};
