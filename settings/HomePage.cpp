#include "settings/HomePage.h"

#include <windows.h>

#include <cstring>

#include "settings/LaunchCommand.h"

bool IsWin95Family()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    return ::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}

void LaunchBrowser(std::string address)
{
    HKEY root = nullptr;
    if (::RegOpenKeyA(HKEY_CLASSES_ROOT, nullptr, &root) != ERROR_SUCCESS)
        return;
    HKEY command = nullptr;
    // Read access is all this needs; asking for full access to a machine-wide
    // key fails for every user without administrator rights.
    if (::RegOpenKeyExA(root, "htmlfile\\shell\\open\\command", 0, KEY_QUERY_VALUE, &command) != ERROR_SUCCESS) {
        ::RegCloseKey(root);
        return;
    }
    char name[256];
    DWORD nameSize = sizeof name;
    BYTE data[256];
    DWORD dataSize = sizeof data;
    DWORD type = 0;
    const LONG read = ::RegEnumValueA(command, 0, name, &nameSize, nullptr, &type, data, &dataSize);
    std::string line;
    if (read == ERROR_SUCCESS && BuildLaunchCommand(type == REG_SZ || type == REG_EXPAND_SZ, data, dataSize,
                                                    address, line))
        ::WinExec(line.c_str(), SW_SHOW);
    ::RegCloseKey(command);
    ::RegCloseKey(root);
}
