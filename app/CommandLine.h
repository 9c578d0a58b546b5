// Which of the three run modes the screen-saver machinery asked for.
// Platform-free: only the first argument's text and the argument count matter.
#pragma once

#include <cstdint>

enum class RunMode { Settings, Preview, FullScreen };

// argc counts the program name, as the C runtime does; arg1 may be null when
// argc is 1. The tests are case-sensitive substring searches, "c" before "p".
RunMode ChooseRunMode(int argc, const char* arg1);

// The preview's parent handle from argument 2: white space, an optional
// sign, decimal digits up to the first other character, read as an unsigned
// 32-bit number. Window handles may have the top bit set, so values above
// 2147483647 are kept, and larger ones (or negative ones, as a signed print
// of such a handle gives) wrap as 32-bit. A missing argument reads as 0.
uint32_t ParsePreviewHandle(const char* arg2);
