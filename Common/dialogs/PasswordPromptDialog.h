// The password prompt (dialog 135): a prompt text, a masked field and Ok /
// Cancel. It does not verify the password; the caller compares what was
// entered. EnterPasswordDialog adds the settings checks and the forgot-
// password link; VaultEnterPasswordDialog is the prompt alone, for the
// vault program, which keeps no settings.
#pragma once

#include <windows.h>

#include <string>

#include "ModalDialog.h"
#include "SecretField.h"

class PasswordPromptDialog : public corva::ui::ModalDialog {
public:
    PasswordPromptDialog();
    ~PasswordPromptDialog() override = default;

    // Replaces the prompt; call before ShowModal.
    void SetPrompt(const std::wstring& prompt) { prompt_ = prompt; }
    const std::wstring& Prompt() const { return prompt_; }

    // After IDOK: the entered password (narrow text, as typed). Wiped when
    // the dialog object is destroyed or shown again.
    const std::string& Password() const { return password_.Text(); }

protected:
    void OnShowing() override;
    bool OnInit() override;
    void OnOk() override;
    void OnDestroy() override;

    // Called on Ok before the field is read; false keeps the dialog open
    // without reading it.
    virtual bool MayAccept() { return true; }
    // Called at the end of OnInit, to add controls.
    virtual void OnCreated() {}

private:
    std::wstring prompt_;
    corva::ui::SecretText password_;
};

// The vault program's prompt: no link, and Ok only refuses an empty entry.
class VaultEnterPasswordDialog final : public PasswordPromptDialog {};

// One prompt of the password loop (ui/PasswordGate.h) in this dialog:
// shown modally, owned by owner, with the prompt text. False on Cancel;
// else *entered holds the entry.
bool AskInPasswordDialog(PasswordPromptDialog& dialog, HWND owner, const std::wstring& prompt,
                         corva::SecretText* entered);
