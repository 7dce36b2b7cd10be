#include "ForgotPasswordWizard.h"

#include "DialogIds.h"
#include "DialogSupport.h"
#include "PasswordSetupWizard.h"
#include "SecretField.h"
#include "WizardPages.h"
#include "settings/PasswordStore.h"
#include "platform/Platform.h"
#include "settings/SettingKeys.h"
#include "settings/Settings.h"

namespace {

const int kAnswers[3] = {IDC_ANSWER1, IDC_ANSWER2, IDC_ANSWER3};
const int kQuestionTexts[3] = {IDC_QUESTION_TEXT1, IDC_QUESTION_TEXT2, IDC_QUESTION_TEXT3};

// Page 1: the three stored questions and the answers to them. The answers
// are read as typed, up to the same length the setup wizard reads, so that
// every answer that could be set up can be given again.
class AnswersPage final : public corva::ui::WizardPage {
public:
    AnswersPage() : WizardPage(IDD_FORGOT_ANSWERS) {}

protected:
    DWORD WizardButtons() const override { return PSWIZB_NEXT; }
    void OnInit() override {
        corva::ui::SetDialogIcons(Sheet());
        corva::ui::LimitFieldLength(Handle(), {IDC_ANSWER1, IDC_ANSWER2, IDC_ANSWER3});
    }
    void OnActivate() override {
        for (int i = 0; i < 3; ++i) {
            std::wstring question = plat::NarrowToWide(GetSetting(corva::kQuestionKeys[i]));
            ::SetDlgItemTextW(Handle(), kQuestionTexts[i], question.c_str());
        }
    }
    bool OnNext() override {
        corva::ui::SecretText answers[3];
        for (int i = 0; i < 3; ++i) {
            answers[i] = corva::ui::ReadSecretField(Handle(), kAnswers[i], corva::ui::kFieldChars);
        }
        if (CheckAnswers(answers[0].Text(), answers[1].Text(), answers[2].Text())) return true;
        corva::ui::ShowInfoMessage(Handle(), L"Wrong answers.", corva::kProductName);
        corva::ui::FocusControl(Handle(), IDC_ANSWER1);
        return false;
    }
    void OnDestroy() override {
        for (int id : kAnswers) corva::ui::WipeField(Handle(), id);
    }
};

}  // namespace

bool ForgotPasswordWizard(HWND owner, corva::SecretText* stored) {
    AnswersPage answers;
    corva::ui::NewPasswordPage password(IDD_FORGOT_NEW_PASSWORD);
    corva::ui::TextPage done(IDD_FORGOT_DONE, PSWIZB_BACK | PSWIZB_FINISH);
    const bool finished = corva::ui::RunWizard(owner, L"Forgot Password", {&answers, &password, &done});
    if (stored && !password.StoredPassword().Empty()) *stored = std::move(password.StoredPassword());
    return finished;
}

void ForgotPasswordCommand(HWND owner, SetupWizardHost host, corva::SecretText* stored) {
    if (!HasPassword()) {
        PasswordSetupWizard(owner, host, stored);
        return;
    }
    ForgotPasswordWizard(owner, stored);
}
