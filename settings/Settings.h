// The stored effect mode, kept as text in "Morvalst.txt" in the Windows
// directory.
#pragma once

#include "framework/AfxWin.h"

// The stored mode, or 0 when nothing can be read.
int LoadEffectMode();
// Rewrites the file with its carried text and `mode`; a file that cannot be
// read is left alone and none is created.
void SaveEffectMode(int mode);

// The settings file's full path.
CString SettingsFilePath();
