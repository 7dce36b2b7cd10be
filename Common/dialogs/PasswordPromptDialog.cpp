#include "PasswordPromptDialog.h"

#include "DialogIds.h"
#include "DialogSupport.h"
#include "PasswordRules.h"

using corva::ui::SecretText;

const wchar_t PasswordPromptDialog::kDefaultPrompt[] = L"Please enter your password to continue.";

PasswordPromptDialog::PasswordPromptDialog() : ModalDialog(IDD_ENTER_PASSWORD), prompt_(kDefaultPrompt) {}

INT_PTR PasswordPromptDialog::DoModal(HWND owner) {
    password_.Wipe();
    return RunModal(owner);
}

bool PasswordPromptDialog::OnInit() {
    corva::ui::SetDialogIcons(Handle());
    corva::ui::LimitFieldLength(Handle(), {IDC_ENTER_PASSWORD});
    OnCreated();
    ::SetDlgItemTextW(Handle(), IDC_ENTER_PROMPT, prompt_.c_str());
    corva::ui::CenterOnWindow(Handle(), ::GetWindow(Handle(), GW_OWNER));
    return true;
}

bool PasswordPromptDialog::OnCommand(int id, int code, HWND) {
    if (code != BN_CLICKED) return false;
    switch (id) {
    case IDOK:
        Accept();
        return true;
    case IDCANCEL:
        Close(IDCANCEL);
        return true;
    default:
        return false;
    }
}

void PasswordPromptDialog::Accept() {
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
