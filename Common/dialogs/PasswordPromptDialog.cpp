#include "PasswordPromptDialog.h"

#include "DialogIds.h"
#include "DialogSupport.h"
#include "PasswordRules.h"
#include "ui/PasswordGate.h"

using corva::ui::SecretText;

PasswordPromptDialog::PasswordPromptDialog() : ModalDialog(IDD_ENTER_PASSWORD), prompt_(corva::ui::kEnterPrompt) {}

void PasswordPromptDialog::OnShowing() { password_.Wipe(); }

bool PasswordPromptDialog::OnInit() {
    corva::ui::SetDialogIcons(Handle());
    corva::ui::LimitFieldLength(Handle(), {IDC_ENTER_PASSWORD});
    OnCreated();
    ::SetDlgItemTextW(Handle(), IDC_ENTER_PROMPT, prompt_.c_str());
    corva::ui::CenterOnWindow(Handle(), ::GetWindow(Handle(), GW_OWNER));
    return true;
}

void PasswordPromptDialog::OnOk() {
    if (!MayAccept()) return;
    SecretText entered = corva::ui::ReadSecretField(Handle(), IDC_ENTER_PASSWORD, corva::ui::kFieldChars);
    if (entered.Empty()) {
        corva::ui::ComplainNoPassword(Handle(), IDC_ENTER_PASSWORD);
        return;
    }
    password_ = std::move(entered);
    Close(IDOK);
}

void PasswordPromptDialog::OnDestroy() { corva::ui::WipeField(Handle(), IDC_ENTER_PASSWORD); }

bool AskInPasswordDialog(PasswordPromptDialog& dialog, HWND owner, const std::wstring& prompt,
                         corva::SecretText* entered) {
    dialog.SetPrompt(prompt);
    if (dialog.ShowModal(owner) != IDOK) return false;
    *entered = corva::SecretText(dialog.Password());
    return true;
}
