#include "StartupPassword.h"

#include <windows.h>

#include "EnterPasswordDialog.h"
#include "PasswordGate.h"
#include "PasswordSetupWizard.h"
#include "settings/PasswordStore.h"
#include "settings/Settings.h"

namespace corva::desktop {

namespace {

// Wiped at exit with the rest of the program's statics.
corva::SecretText g_startupPassword;

class DialogPorts final : public GatePorts {
public:
    void EnsureSettings() override { EnsureSettingsFile(); }
    bool PasswordStored() override { return HasPassword(); }
    void RunSetupWizard() override { PasswordSetupWizard(::GetActiveWindow()); }
    bool AskPassword(const std::wstring& prompt, corva::SecretText* entered) override {
        return AskWithEnterPasswordDialog(SetupWizardHost::Desktop, ::GetActiveWindow(), prompt, entered);
    }
    bool CheckPassword(const corva::SecretText& password) override { return ::CheckPassword(password.Text()); }
};

}  // namespace

const corva::SecretText& StartupPassword() { return g_startupPassword; }

void ClearStartupPassword() { g_startupPassword.Wipe(); }

void ReplaceStartupPassword(const corva::SecretText& password) {
    g_startupPassword = corva::SecretText(password.Text());
}

void SetStartupPasswordForTesting(const std::string& password) {
    ReplaceStartupPassword(corva::SecretText(password));
}

bool StartupPasswordGate() {
    DialogPorts ports;
    return RunPasswordGate(ports, &g_startupPassword);
}

}  // namespace corva::desktop
