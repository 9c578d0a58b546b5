// Holds a file open with no sharing, as another program that has it open for
// writing would, so that every other open of it fails with a sharing
// violation (root under Wine ignores permission bits; it cannot ignore this).
//   locker PATH MS
// Prints "locked=1" once the file is held (or "locked=0" and exits 1), then
// holds it for MS milliseconds.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: locker PATH MS\n");
        return 2;
    }
    HANDLE file = ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::printf("locked=0\nerror=%lu\n", ::GetLastError());
        return 1;
    }
    std::printf("locked=1\n");
    std::fflush(stdout);
    ::Sleep(static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10)));
    ::CloseHandle(file);
    return 0;
}
