#include "WizardPages.h"

#include "DialogIds.h"
#include "DialogSupport.h"
#include "PasswordRules.h"
#include "SettingsFailure.h"
#include "settings/PasswordStore.h"

namespace corva::ui {

void NewPasswordPage::OnInit() { LimitFieldLength(Handle(), {IDC_PAGE_PASSWORD, IDC_PAGE_CONFIRM}); }

bool NewPasswordPage::OnNext() {
    SecretText password;
    const NewPasswordFields fields{IDC_PAGE_PASSWORD, IDC_PAGE_CONFIRM, IDC_PAGE_PASSWORD, IDC_PAGE_PASSWORD};
    if (!ReadNewPassword(Handle(), fields, &password)) return false;
    if (!SetPassword(password.Text())) {
        ReportSettingsWriteFailure(Handle(), SavedItem::Password);
        FocusControl(Handle(), IDC_PAGE_PASSWORD);
        return false;
    }
    stored_ = std::move(password);
    return true;
}

void NewPasswordPage::OnDestroy() {
    WipeField(Handle(), IDC_PAGE_PASSWORD);
    WipeField(Handle(), IDC_PAGE_CONFIRM);
}

}  // namespace corva::ui
