#include "PasswordSetupWizard.h"

#include "DialogIds.h"
#include "DialogSupport.h"
#include "QuestionsPage.h"
#include "WizardPages.h"
#include "settings/Settings.h"

namespace {

const wchar_t kShellExtensionWelcome[] =
    L"The Setup Wizard will guide you through the installation of Corvastine. Click Next to continue or Cancel to "
    L"exit setup.";

// The welcome page: gives the wizard its icons, shows the title in bold and
// the host's text below it.
class WelcomePage final : public corva::ui::WizardPage {
public:
    explicit WelcomePage(SetupWizardHost host) : WizardPage(IDD_SETUP_WELCOME), host_(host) {}

protected:
    DWORD WizardButtons() const override { return PSWIZB_NEXT; }
    void OnInit() override {
        corva::ui::SetDialogIcons(Sheet());
        HWND title = ::GetDlgItem(Handle(), IDC_WELCOME_TITLE);
        bold_ = corva::ui::DeriveFont(title, [](LOGFONTW& lf) { lf.lfWeight = FW_BOLD; });
        if (bold_.Get()) ::SendMessageW(title, WM_SETFONT, reinterpret_cast<WPARAM>(bold_.Get()), TRUE);
        // The resource carries the desktop program's text.
        if (host_ == SetupWizardHost::ShellExtension) {
            ::SetDlgItemTextW(Handle(), IDC_WELCOME_BODY, kShellExtensionWelcome);
        }
    }

private:
    SetupWizardHost host_;
    corva::ui::UniqueFont bold_;  // outlives the page's window: owned by the wizard run
};

}  // namespace

bool PasswordSetupWizard(HWND owner, SetupWizardHost host, corva::SecretText* stored) {
    EnsureSettingsFile();
    WelcomePage welcome(host);
    corva::ui::QuestionsPage questions;
    corva::ui::NewPasswordPage password(IDD_SETUP_PASSWORD);
    corva::ui::TextPage finish(IDD_SETUP_FINISH, PSWIZB_BACK | PSWIZB_FINISH);
    const bool finished = corva::ui::RunWizard(owner, L"Password Setup", {&welcome, &questions, &password, &finish});
    if (stored && !password.StoredPassword().Empty()) *stored = std::move(password.StoredPassword());
    return finished;
}
