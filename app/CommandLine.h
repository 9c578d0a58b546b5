// Which of the three run modes the screen-saver machinery asked for.
// Platform-free: only the first argument's text and the argument count matter.
#pragma once

enum class RunMode { Settings, Preview, FullScreen };

// argc counts the program name, as the C runtime does; arg1 may be null when
// argc is 1. The tests are case-sensitive substring searches, "c" before "p".
RunMode ChooseRunMode(int argc, const char* arg1);

// The preview's parent handle as the C library's atol reads argument 2
// (white space, optional sign, digits up to the first other character).
// A missing argument reads as 0.
long ParsePreviewHandle(const char* arg2);
