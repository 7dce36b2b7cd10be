// The desktop program's private window messages (WM_APP + n). The start-up
// thread manager's request for another window thread stays WM_USER, a
// thread message.
#pragma once

#include <windows.h>

namespace corva::desktop {

// Posted to the main window by other windows of the program that want a
// command run (the tips panel's links): wParam is the command number.
constexpr UINT kPostCommand = WM_APP + 1;

}  // namespace corva::desktop
