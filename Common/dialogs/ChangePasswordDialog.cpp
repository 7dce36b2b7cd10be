#include "ChangePasswordDialog.h"

#include "DialogIds.h"
#include "DialogSupport.h"
#include "PasswordRules.h"
#include "SettingsFailure.h"
#include "settings/PasswordStore.h"

ChangePasswordDialog::ChangePasswordDialog() : ModalDialog(IDD_CHANGE_PASSWORD) {}

bool ChangePasswordDialog::OnInit() {
    corva::ui::SetDialogIcons(Handle());
    corva::ui::LimitFieldLength(Handle(), {IDC_CHANGE_NEW, IDC_CHANGE_CONFIRM});
    corva::ui::CenterOnWindow(Handle(), ::GetWindow(Handle(), GW_OWNER));
    return true;
}

void ChangePasswordDialog::OnOk() {
    corva::ui::SecretText password;
    const corva::ui::NewPasswordFields fields{IDC_CHANGE_NEW, IDC_CHANGE_CONFIRM, IDC_CHANGE_NEW, IDC_CHANGE_CONFIRM};
    if (!corva::ui::ReadNewPassword(Handle(), fields, &password)) return;
    if (!SetPassword(password.Text())) {
        corva::ui::ReportSettingsWriteFailure(Handle(), corva::ui::SavedItem::Password);
        corva::ui::FocusControl(Handle(), IDC_CHANGE_NEW);
        return;
    }
    stored_ = std::move(password);
    Close(IDOK);
}

void ChangePasswordDialog::OnDestroy() {
    corva::ui::WipeField(Handle(), IDC_CHANGE_NEW);
    corva::ui::WipeField(Handle(), IDC_CHANGE_CONFIRM);
}
