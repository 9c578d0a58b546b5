#include "settings/Settings.h"

#include <string>

#include "settings/SettingsText.h"

namespace {

// The whole file, or false when it cannot be opened or read.
bool ReadSettingsFile(std::string& bytes)
{
    CFile file;
    if (!file.Open(SettingsFilePath(), CFile::modeRead))
        return false;
    const DWORD length = file.GetLength();
    try {
        bytes.assign(length, '\0');
    } catch (const std::bad_alloc&) {
        return false;
    }
    DWORD done = 0;
    while (done < length) {
        const UINT read = file.Read(&bytes[done], length - done);
        if (read == 0)
            break;
        done += read;
    }
    bytes.resize(done);
    return true;
}

} // namespace

CString SettingsFilePath()
{
    char directory[MAX_PATH] = "";
    const UINT length = ::GetWindowsDirectoryA(directory, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        directory[0] = '\0';
    return CString(directory) + "\\" + "Morva" + "lst.txt";
}

int LoadEffectMode()
{
    std::string bytes;
    if (!ReadSettingsFile(bytes))
        return 0;
    return ParseEffectMode(bytes);
}

void SaveEffectMode(int mode)
{
    std::string bytes;
    if (!ReadSettingsFile(bytes))
        return;
    const std::string content = ComposeSettings(bytes, mode);
    CFile file;
    if (file.Open(SettingsFilePath(), CFile::modeCreate | CFile::modeWrite)) {
        file.Write(content.data(), static_cast<UINT>(content.size()));
        file.Close();
    }
}
