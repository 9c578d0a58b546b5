// Opening the maker's home page in the browser registered for HTML files.
#pragma once

#include <string>

#include "res/resource.h"

// The maker's home page, also the caption of the settings dialog's button.
constexpr const char kHomePageAddress[] = HOMEPAGE_ADDRESS;

bool IsWin95Family();

// Reads the browser's command line from
// HKEY_CLASSES_ROOT\htmlfile\shell\open\command, appends the address and
// starts the result. Starts nothing when the command cannot be read, is not
// text, or the two together do not fit in 255 characters.
void LaunchBrowser(std::string address);
