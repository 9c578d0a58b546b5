// The settings file's text, from any bytes: the mode it loads is the mode
// that storing it and loading again gives; a store keeps the carried text and
// stores exactly the mode asked for; the decimal parse agrees with the C
// library's strtoll clamped to 32 bits.
#include "settings/SettingsText.h"

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void Check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "settings text: %s\n", what);
        std::abort();
    }
}

int ClampedStrtoll(const std::string& text)
{
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v > INT32_MAX)
        return INT32_MAX;
    if (v < INT32_MIN)
        return INT32_MIN;
    return static_cast<int>(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const int mode = ParseEffectMode(bytes);
    const std::string stored = ComposeSettings(bytes, mode);
    Check(ParseEffectMode(stored) == mode, "load, store, load changed the mode");

    const std::string_view text = SettingsTextOf(bytes);
    Check(text.find('\0') == std::string_view::npos, "the text holds a NUL");
    const size_t crlf = text.find("\r\n");
    const std::string_view carried = crlf == std::string_view::npos ? std::string_view{} : text.substr(0, crlf);
    Check(stored.size() >= carried.size() + 2 && std::string_view(stored).substr(0, carried.size()) == carried
            && stored.compare(carried.size(), 2, "\r\n") == 0,
        "the store lost the carried text");

    // Any other mode, taken from the input's last bytes.
    int other = 0;
    if (size >= 4)
        std::memcpy(&other, data + size - 4, 4);
    const std::string again = ComposeSettings(stored, other);
    Check(ParseEffectMode(again) == other, "a stored mode did not load back");
    Check(ComposeSettings(again, other) == again, "storing the same mode twice changed the file");
    Check(again.compare(0, carried.size(), carried) == 0, "a second store lost the carried text");

    // The parse stops at the first NUL, as strtoll does.
    const std::string terminated(text);
    Check(ParseDecimalLikeAtol(terminated) == ClampedStrtoll(terminated), "the parse differs from strtoll");
    return 0;
}
