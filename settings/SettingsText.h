// The settings file's text: a carried line, CR LF, then the effect mode in
// decimal. Platform-free so that reading and rewriting it can be tested
// without files.
#pragma once

#include <string>
#include <string_view>

// The C library's atol, made total: leading white space, an optional sign and
// decimal digits up to the first other character; no digits give 0. A value
// beyond the 32-bit range saturates at INT32_MIN or INT32_MAX instead of
// overflowing.
int ParseDecimalLikeAtol(std::string_view text);

// The file's text ends at its first NUL byte or at its end.
std::string_view SettingsTextOf(std::string_view fileBytes);

// The stored effect mode: what follows the first CR LF, read like atol. With
// no CR LF the parse starts at the second character.
int ParseEffectMode(std::string_view fileBytes);

// The new content that stores `mode`: the carried text (before the first
// CR LF; empty when there is none), CR LF, and the mode as "%d" writes it.
std::string ComposeSettings(std::string_view fileBytes, int mode);
