// The one ask-until-it-matches loop every program runs before it uses a
// password (portable, tested natively): the prompt is shown with the first
// text, and after every mismatch with the "incorrect" text, as often as the
// user types a wrong password; Cancel ends it at any prompt. How the
// password is asked (which dialog, owned by which window) and what it must
// match (the settings' digest, the vault's record) are the caller's. Every
// entry that did not match is wiped at once; nothing here fails by itself.
#pragma once

#include <functional>
#include <string>

#include "engine/SecretText.h"

namespace corva::ui {

extern const wchar_t kEnterPrompt[];  // "Please enter your password to continue."
// "The password you entered is incorrect. Please try again or click I
// Forgot My Password to reset your password."
extern const wchar_t kIncorrectPrompt[];

// Shows a prompt with this text; false when the user cancelled, else
// *entered holds what was typed.
using PasswordAsk = std::function<bool(const std::wstring& prompt, corva::SecretText* entered)>;
// True when the entry is the right password.
using PasswordCheck = std::function<bool(const corva::SecretText& entered)>;

// True with *accepted holding the matching entry; false when the user
// cancelled (*accepted is then empty).
bool AskUntilMatch(const PasswordAsk& ask, const PasswordCheck& check, const std::wstring& incorrectPrompt,
                   corva::SecretText* accepted);

}  // namespace corva::ui
