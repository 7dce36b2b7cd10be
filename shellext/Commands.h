// Lock, Unlock and Shred as the context menu runs them, on every selected
// item: the password is asked for anew (as often as it is mistyped, until
// it matches or the user cancels), Shred asks once more before it destroys
// anything, naming the item or the number of items, and the batch runs in
// the progress dialog, owned by the active window, with the summary of
// what it did not do. Open (one locked file) shows it in its program
// (OpenCommand.h). Once the password matches, every command first finishes
// the working copies an earlier run left. The library's manifest is active
// around every dialog. Writes no log.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "MenuModel.h"

namespace corva::shell {

// Runs one command on the targets, in their order (CommandAction::None
// does nothing and shows nothing). fallbackOwner owns the dialogs when the
// thread has no active window.
void RunShellCommand(CommandAction action, const std::vector<std::wstring>& targets, HWND fallbackOwner);

}  // namespace corva::shell
