// The password accepted at start-up, held in memory for the whole run (the
// lock and unlock commands use it), and the start-up gate that sets it.
// The text is wiped when the program ends; it is never written anywhere.
#pragma once

#include <string>

#include "engine/SecretText.h"

namespace corva::desktop {

// The process-wide start-up password: empty until the gate accepts one.
// Written on the window thread: by the gate before its window exists, and
// when the user sets a new password while the program runs.
const corva::SecretText& StartupPassword();

// Replaces the start-up password with a new one the user has just set
// (Tools -> Change Password, a reset), wiping the old text.
void ReplaceStartupPassword(const corva::SecretText& password);

// Makes sure the settings file exists, runs the setup wizard when no
// password is stored, then asks for the password until it matches (the
// enter-password dialog, owned by the active window). True when a correct
// password was entered (it is then StartupPassword()), false on Cancel.
bool StartupPasswordGate();

// Forgets the start-up password, wiping its text.
void ClearStartupPassword();

// Test hook: sets the start-up password as the gate would.
void SetStartupPasswordForTesting(const std::string& password);

}  // namespace corva::desktop
