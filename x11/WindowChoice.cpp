#include "x11/WindowChoice.h"

bool ChooseWindow(const VelunorOptions& options, const char* screensaverWindow, WindowChoice& choice,
                  std::string& error)
{
    choice = WindowChoice();
    if (options.windowId) {
        choice.kind = WindowKind::Given;
        choice.id = options.windowId;
        return true;
    }
    if (screensaverWindow && *screensaverWindow) {
        if (!ParseWindowId(screensaverWindow, choice.id)) {
            error = std::string("XSCREENSAVER_WINDOW is not a window id: ") + screensaverWindow;
            return false;
        }
        choice.kind = WindowKind::Given;
        return true;
    }
    if (options.root)
        choice.kind = WindowKind::Root;
    return true;
}
