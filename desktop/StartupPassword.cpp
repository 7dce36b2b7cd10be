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
struct HeldPassword {
    std::string text;
    ~HeldPassword() { WipeString(text); }
};
HeldPassword g_startupPassword;

class DialogPorts final : public GatePorts {
public:
    void EnsureSettings() override { EnsureSettingsFile(); }
    bool PasswordStored() override { return HasPassword(); }
    void RunSetupWizard() override { PasswordSetupWizard(::GetActiveWindow()); }
    bool AskPassword(const std::wstring& prompt, std::string* entered) override {
        EnterPasswordDialog dialog;
        dialog.SetPrompt(prompt);
        if (dialog.DoModal(::GetActiveWindow()) != IDOK) return false;
        *entered = dialog.Password();
        return true;
    }
    bool CheckPassword(const std::string& password) override { return ::CheckPassword(password); }
};

}  // namespace

const std::string& StartupPassword() { return g_startupPassword.text; }

void ClearStartupPassword() { WipeString(g_startupPassword.text); }

void ReplaceStartupPassword(const std::string& password) {
    WipeString(g_startupPassword.text);
    g_startupPassword.text = password;
}

void SetStartupPasswordForTesting(const std::string& password) { ReplaceStartupPassword(password); }

bool StartupPasswordGate() {
    DialogPorts ports;
    return RunPasswordGate(ports, &g_startupPassword.text);
}

}  // namespace corva::desktop
