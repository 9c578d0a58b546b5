// Whether every heap of the test process is whole. Under heap checking (the
// test run sets the images' global flags) freed blocks are filled with a
// pattern, so a write into a deleted object is seen here.
#pragma once

#include <windows.h>

inline bool HeapsValid()
{
    HANDLE heaps[64];
    const DWORD count = ::GetProcessHeaps(64, heaps);
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!::HeapValidate(heaps[i], 0, nullptr))
            return false;
    }
    return true;
}
