#include "PasswordGate.h"

namespace corva::desktop {

bool RunPasswordGate(GatePorts& ports, corva::SecretText* accepted) {
    accepted->Wipe();
    ports.EnsureSettings();
    if (!ports.PasswordStored()) ports.RunSetupWizard();
    return corva::ui::AskUntilMatch(
        [&](const std::wstring& prompt, corva::SecretText* entered) { return ports.AskPassword(prompt, entered); },
        [&](const corva::SecretText& entered) { return ports.CheckPassword(entered); }, kIncorrectPrompt, accepted);
}

}  // namespace corva::desktop
