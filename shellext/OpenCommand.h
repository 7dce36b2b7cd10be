// Open from the context menu: the locked file is unlocked into a working
// copy and shown by its default program; a thread of its own, which holds
// the library (a module reference and a load count) until it has ended,
// waits with back-off until no program has the copy any more, then locks
// it again when it changed and shreds it. Explorer's thread never waits.
// Every command, once it has the password, first finishes what an earlier
// run left in the working folder (asking before it locks anything again).
#pragma once

#include <windows.h>

#include <string>

#include "engine/SecretText.h"

namespace corva::shell {

// Copies left by an earlier run: unchanged ones shredded, changed ones
// locked again after a question naming them; a message for what was not
// done. The password has been checked.
void RecoverWorkingCopies(const corva::SecretText& password, HWND owner);

// Opens target in its program and starts the thread that finishes it.
void OpenForEditing(const std::wstring& target, const corva::SecretText& password, HWND owner);

}  // namespace corva::shell
