// The forgot-password reset: three pages (the stored questions with answer
// fields, a new password, done). Only correct answers lead on, and the done
// page is reached only once the new password has been stored.
#pragma once

#include <windows.h>

#include "PasswordSetupWizard.h"

// Runs the reset modally, owned by owner. True when it ended with Finish.
bool ForgotPasswordWizard(HWND owner);

// The forgot-password command: runs the setup wizard instead when no
// password has ever been set (with host's welcome text), otherwise the reset.
void ForgotPasswordCommand(HWND owner, SetupWizardHost host = SetupWizardHost::Desktop);
