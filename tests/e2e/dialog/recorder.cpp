// Stands in for the web browser in the home-page tests: appends the command
// line it was started with, exactly as received, as one line to the file
// named by the environment variable MORVA_RECORD, then exits.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char path[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("MORVA_RECORD", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return 2;
    std::FILE* file = std::fopen(path, "ab");
    if (!file)
        return 3;
    std::fprintf(file, "%s\n", GetCommandLineA());
    std::fclose(file);
    return 0;
}
