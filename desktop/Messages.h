// The desktop program's private window messages (WM_APP + n), and how the
// program's other windows ask the main window for a command. The start-up
// thread manager's request for another window thread stays WM_USER, a
// thread message.
#pragma once

#include <windows.h>

#include "Command.h"

namespace corva::desktop {

// Posts a command to the main window, as the menu would send it (the tips
// panel's links, the file list's keys and context menu).
inline void PostCommand(HWND target, Command command) {
    ::PostMessageW(target, WM_COMMAND, MAKEWPARAM(IdOf(command), 0), 0);
}

}  // namespace corva::desktop
