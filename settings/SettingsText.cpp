#include "settings/SettingsText.h"

#include <cstdint>

int ParseDecimalLikeAtol(std::string_view text)
{
    std::size_t i = 0;
    // isspace in the "C" locale.
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate the magnitude in 64 bits and stop growing once it is past the
    // 32-bit range, so any number of digits is safe.
    const std::int64_t limit = std::int64_t{INT32_MAX} + 1;
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value <= limit)
            value = value * 10 + (text[i] - '0');
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX)
        return INT32_MAX;
    if (value < INT32_MIN)
        return INT32_MIN;
    return static_cast<int>(value);
}

std::string_view SettingsTextOf(std::string_view fileBytes)
{
    const std::size_t nul = fileBytes.find('\0');
    return nul == std::string_view::npos ? fileBytes : fileBytes.substr(0, nul);
}

int ParseEffectMode(std::string_view fileBytes)
{
    const std::string_view text = SettingsTextOf(fileBytes);
    const std::size_t crlf = text.find("\r\n");
    // With no CR LF the index -1 + 2 points at the second character.
    const std::size_t start = crlf == std::string_view::npos ? 1 : crlf + 2;
    if (start >= text.size())
        return 0;
    return ParseDecimalLikeAtol(text.substr(start));
}

std::string ComposeSettings(std::string_view fileBytes, int mode)
{
    const std::string_view text = SettingsTextOf(fileBytes);
    const std::size_t crlf = text.find("\r\n");
    std::string content(crlf == std::string_view::npos ? std::string_view{} : text.substr(0, crlf));
    content += "\r\n";
    content += std::to_string(mode);
    return content;
}
