#include "app/CommandLine.h"

#include <cstring>

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

uint32_t ParsePreviewHandle(const char* arg2)
{
    if (!arg2)
        return 0;
    const char* p = arg2;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    // Unsigned arithmetic wraps modulo 2^32, which is the reading wanted.
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = value * 10u + static_cast<uint32_t>(*p - '0');
    return negative ? 0u - value : value;
}
