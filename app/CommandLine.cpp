#include "app/CommandLine.h"

#include <cstring>

#include "settings/SettingsText.h"

RunMode ChooseRunMode(int argc, const char* arg1)
{
    if (argc <= 1 || arg1 == nullptr)
        return RunMode::Settings;
    if (std::strchr(arg1, 'c'))
        return RunMode::Settings;
    if (std::strchr(arg1, 'p'))
        return RunMode::Preview;
    return RunMode::FullScreen;
}

long ParsePreviewHandle(const char* arg2)
{
    return arg2 ? ParseDecimalLikeAtol(arg2) : 0;
}
