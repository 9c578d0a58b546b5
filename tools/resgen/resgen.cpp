// Writes icon128.ico, cursor129.cur and bitmap135.bmp into the directory
// named on the command line (the current directory by default).
#include "tools/resgen/ResourceArt.h"

#include <cstdio>
#include <string>

static bool WriteFile(const std::string& path, const Bytes& data)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        return false;
    }
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    ok = (std::fclose(f) == 0) && ok;
    if (!ok)
        std::fprintf(stderr, "%s: write failed\n", path.c_str());
    return ok;
}

int main(int argc, char** argv)
{
    std::string dir = argc > 1 ? argv[1] : ".";
    bool ok = WriteFile(dir + "/icon128.ico", MakeMainIcon());
    ok = WriteFile(dir + "/cursor129.cur", MakeBlankCursor()) && ok;
    ok = WriteFile(dir + "/bitmap135.bmp", MakeTileBitmap()) && ok;
    return ok ? 0 : 1;
}
