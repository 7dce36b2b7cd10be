// The password prompt of the desktop program and the shell extension:
// Ok while no password has been set runs the setup wizard instead (the
// prompt stays open), and the link "I forgot my password." runs the
// forgot-password reset, after which the prompt takes the new password.
#pragma once

#include "HyperlinkButton.h"
#include "PasswordPromptDialog.h"
#include "PasswordSetupWizard.h"

class EnterPasswordDialog final : public PasswordPromptDialog {
public:
    static const wchar_t kForgotLinkText[];  // "I forgot my password."

    // host chooses the welcome text of a setup wizard the prompt starts.
    explicit EnterPasswordDialog(SetupWizardHost host = SetupWizardHost::Desktop) : host_(host) {}

protected:
    bool MayAccept() override;
    void OnCreated() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;

private:
    // Moves a button so that it sits on the link's line.
    void AlignWithLink(int controlId);

    SetupWizardHost host_;
    corva::ui::HyperlinkButton link_;
};

// One prompt of the password loop (ui/PasswordGate.h) in a fresh
// EnterPasswordDialog of this host, owned by owner. False on Cancel.
bool AskWithEnterPasswordDialog(SetupWizardHost host, HWND owner, const std::wstring& prompt,
                                corva::SecretText* entered);
