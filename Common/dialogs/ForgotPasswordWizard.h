// The forgot-password reset: three pages (the stored questions with answer
// fields, a new password, done). Only correct answers lead on, and the done
// page is reached only once the new password has been stored.
#pragma once

#include <windows.h>

#include "PasswordSetupWizard.h"
#include "engine/SecretText.h"

// Runs the reset modally, owned by owner. True when it ended with Finish.
// When a new password was stored (also by a wizard cancelled afterwards)
// and stored is given, *stored receives the last one stored.
bool ForgotPasswordWizard(HWND owner, corva::SecretText* stored = nullptr);

// The forgot-password command: runs the setup wizard instead when no
// password has ever been set (with host's welcome text), otherwise the reset.
// *stored as for ForgotPasswordWizard, from whichever of the two ran.
void ForgotPasswordCommand(HWND owner, SetupWizardHost host = SetupWizardHost::Desktop,
                           corva::SecretText* stored = nullptr);
