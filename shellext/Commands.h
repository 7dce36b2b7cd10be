// Lock, Unlock and Shred as the context menu runs them: the password is
// asked for anew (as often as it is mistyped, until it matches or the user
// cancels), Shred asks once more before it destroys anything, and the batch
// runs in the progress dialog, owned by the active window. The library's
// manifest is active around every dialog. Writes no log.
#pragma once

#include <windows.h>

#include <string>

#include "MenuModel.h"

namespace corva::shell {

extern const wchar_t kIncorrectPasswordPrompt[];
extern const wchar_t kShredQuestion[];  // "Do you really want to shred the file?"
extern const wchar_t kShredCaption[];   // "Warning"

// Runs one command on target (CommandAction::None does nothing and shows
// nothing). fallbackOwner owns the dialogs when the thread has no active
// window.
void RunShellCommand(CommandAction action, const std::wstring& target, HWND fallbackOwner);

}  // namespace corva::shell
