// The start-up password gate's sequence, apart from the dialogs and the
// settings file it uses (GatePorts), so that the sequence runs in tests:
// make sure the settings exist; when no password is stored, run the setup
// wizard (whatever its outcome); then ask for the password until it matches
// or the user cancels, with the "incorrect" prompt after each mismatch and
// no limit on the attempts. Nothing here fails by itself.
#pragma once

#include <string>

#include "engine/SecretText.h"

namespace corva::desktop {

extern const wchar_t kEnterPrompt[];      // "Please enter your password to continue."
extern const wchar_t kIncorrectPrompt[];  // "The password you entered is incorrect. ..."

class GatePorts {
public:
    virtual ~GatePorts() = default;
    virtual void EnsureSettings() = 0;
    virtual bool PasswordStored() = 0;
    virtual void RunSetupWizard() = 0;
    // Shows the prompt; false when the user cancelled, else *entered holds
    // what was typed (the caller wipes it).
    virtual bool AskPassword(const std::wstring& prompt, std::string* entered) = 0;
    virtual bool CheckPassword(const std::string& password) = 0;
};

// True with *accepted set to the matching password; false when the user
// cancelled a prompt (*accepted is then left empty).
bool RunPasswordGate(GatePorts& ports, std::string* accepted);

// Overwrites a string's whole buffer and empties it.
inline void WipeString(std::string& text) noexcept { corva::SecretText::WipeString(text); }

}  // namespace corva::desktop
