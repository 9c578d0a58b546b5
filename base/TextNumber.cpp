#include "base/TextNumber.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>

bool ParseWhole(const char* text, int base, unsigned long long limit, unsigned long long& value)
{
    if (!*text)
        return false;
    for (const char* c = text; *c; ++c) {
        const unsigned char u = static_cast<unsigned char>(*c);
        if (base == 16 ? !std::isxdigit(u) : !std::isdigit(u))
            return false;
    }
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, base);
    if (errno != 0 || *end != '\0' || v > limit)
        return false;
    value = v;
    return true;
}

bool ParseInt(const char* text, int& value)
{
    const bool negative = *text == '-';
    unsigned long long v = 0;
    if (!ParseWhole(negative ? text + 1 : text, 10, static_cast<unsigned long long>(INT_MAX), v))
        return false;
    value = negative ? -static_cast<int>(v) : static_cast<int>(v);
    return true;
}
