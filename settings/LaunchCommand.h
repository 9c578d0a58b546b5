// The browser command line of the home-page button, without the registry:
// the registered command text followed at once by the address, with no blank,
// quotes or placeholder handling, in at most 255 characters.
#pragma once

#include <cstddef>
#include <string>

constexpr std::size_t kLaunchBufferBytes = 256;

// `data` is the registry value's bytes (`size` of them, at most the 256-byte
// buffer); `isText` whether the value is a string. False, with nothing to
// start, when the value is not text, the command is empty, or the command and the address together
// exceed 255 characters.
bool BuildLaunchCommand(bool isText, const unsigned char* data, std::size_t size, const std::string& address,
                        std::string& line);
