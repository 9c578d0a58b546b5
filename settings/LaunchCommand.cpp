#include "settings/LaunchCommand.h"

#include <cstring>

bool BuildLaunchCommand(bool isText, const unsigned char* data, std::size_t size, const std::string& address,
                        std::string& line)
{
    if (!isText || !data || size == 0 || size > kLaunchBufferBytes)
        return false;
    // The value need not end in a NUL: the text ends at the first one, or at
    // the end of the data.
    const void* nul = std::memchr(data, '\0', size);
    const std::size_t length = nul ? static_cast<std::size_t>(static_cast<const unsigned char*>(nul) - data) : size;
    // An empty command would try to run the address itself.
    if (length == 0 || length + address.size() > kLaunchBufferBytes - 1)
        return false;
    line.assign(reinterpret_cast<const char*>(data), length);
    line += address;
    return true;
}
