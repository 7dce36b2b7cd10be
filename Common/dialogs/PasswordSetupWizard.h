// The one-time setup: a four-page wizard (welcome, security questions,
// password, finish) that stores the answers' digests and the question
// texts, then the password's digest. Each page stores what it collected
// when it is left with Next, so a wizard cancelled later keeps it.
#pragma once

#include <windows.h>

#include "engine/SecretText.h"

// Which program hosts the wizard; chooses the welcome page's text.
enum class SetupWizardHost { Desktop, ShellExtension };

// Runs the wizard modally, owned by owner (callers pass the active window),
// with the welcome text of the host program. Makes sure the settings file
// exists first. True when it ended with Finish, which it only reaches once
// the password has been stored. When a password was stored (also by a
// wizard cancelled afterwards) and stored is given, *stored receives it.
bool PasswordSetupWizard(HWND owner, SetupWizardHost host = SetupWizardHost::Desktop,
                         corva::SecretText* stored = nullptr);
