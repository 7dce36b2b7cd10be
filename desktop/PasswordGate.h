// The start-up password gate's sequence, apart from the dialogs and the
// settings file it uses (GatePorts), so that the sequence runs in tests:
// make sure the settings exist; when no password is stored, run the setup
// wizard (whatever its outcome); then ask for the password until it matches
// or the user cancels (the shared loop of ui/PasswordGate.h: the
// "incorrect" prompt after each mismatch, no limit on the attempts).
// Nothing here fails by itself.
#pragma once

#include <string>

#include "ui/PasswordGate.h"
#include "engine/SecretText.h"

namespace corva::desktop {

using corva::ui::kEnterPrompt;
using corva::ui::kIncorrectPrompt;

class GatePorts {
public:
    virtual ~GatePorts() = default;
    virtual void EnsureSettings() = 0;
    virtual bool PasswordStored() = 0;
    virtual void RunSetupWizard() = 0;
    // Shows the prompt; false when the user cancelled, else *entered holds
    // what was typed.
    virtual bool AskPassword(const std::wstring& prompt, corva::SecretText* entered) = 0;
    virtual bool CheckPassword(const corva::SecretText& password) = 0;
};

// True with *accepted set to the matching password; false when the user
// cancelled a prompt (*accepted is then left empty).
bool RunPasswordGate(GatePorts& ports, corva::SecretText* accepted);

}  // namespace corva::desktop
