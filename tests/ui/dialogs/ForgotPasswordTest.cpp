// The forgot-password reset: its pages, wrong answers, the new-password
// checks, what is stored when, the command's choice between reset and
// setup, and long answers.
#include <memory>

#include "DialogIds.h"
#include "DialogTestSupport.h"
#include "ForgotPasswordWizard.h"
#include "PasswordSetupWizard.h"
#include "WizardTexts.h"
#include "engine/Secrets.h"
#include "settings/PasswordStore.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

using namespace uitest;

namespace dialogtest {
namespace {

const char kQ1[] = "What was your childhood nickname?";
const char kQ2[] = "What is the name of your favorite childhood friend?";
// The longest question of all: the labels must show it in full.
const char kQ3[] = "What was your childhood phone number including area code? (e.g., 000-000-0000)";

class ForgotPasswordTest : public WizardUiTest {
protected:
    void SetUp() override {
        WizardUiTest::SetUp();
        StorePassword("old");
        StoreQuestions(kQ1, kQ2, kQ3, "Bear", "Sam Lee", "12345");
    }
    void Open() {
        OpenWizard([] { return static_cast<INT_PTR>(ForgotPasswordWizard(nullptr)); }, L"Forgot Password",
                   kForgotIntro);
    }
    void ExpectWrongAnswers() {
        FocusControl(page_, IDC_ANSWER3);
        ExpectRefusal(L"Wrong answers.", kCorvastine, IDC_ANSWER1);
    }
};

TEST_F(ForgotPasswordTest, ShowsTheStoredQuestionsAndLeadsToANewPassword) {
    Open();
    Shoot(sheet_, L"forgot-1-answers");
    ExpectButtons(false, true, false);
    ExpectIcons(sheet_);
    EXPECT_EQ(ControlText(page_, IDC_QUESTION_TEXT1), plat::NarrowToWide(kQ1));
    EXPECT_EQ(ControlText(page_, IDC_QUESTION_TEXT2), plat::NarrowToWide(kQ2));
    EXPECT_EQ(ControlText(page_, IDC_QUESTION_TEXT3), plat::NarrowToWide(kQ3));
    for (const wchar_t* label : {L"Answer 1", L"Answer 2", L"Answer 3"}) {
        EXPECT_NE(WaitForPage(sheet_, label), nullptr) << "missing label";
    }
    FillAnswers(L"Bear", L"Sam Lee", L"12345");
    NextTo(kForgotNewPassword);
    Shoot(sheet_, L"forgot-2-new-password");
    ExpectButtons(true, true, false);
    ASSERT_TRUE(TypeText(page_, IDC_PAGE_PASSWORD, L"new"));
    ASSERT_TRUE(TypeText(page_, IDC_PAGE_CONFIRM, L"new"));
    NextTo(kForgotDone);
    EXPECT_TRUE(CheckPassword("new"));
    EXPECT_FALSE(CheckPassword("old"));
    Shoot(sheet_, L"forgot-3-done");
    ExpectButtons(true, false, true);
    ASSERT_TRUE(PressWizardButton(sheet_, WizardButton::Finish));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), 1);
    // The questions and answers stay valid for the next reset.
    EXPECT_TRUE(CheckAnswers("Bear", "Sam Lee", "12345"));
    EXPECT_EQ(GetSetting("question2"), kQ2);
}

TEST_F(ForgotPasswordTest, WrongAnswersKeepThePageAsOftenAsTheyAreGiven) {
    Open();
    FillAnswers(L"", L"", L"");
    ExpectWrongAnswers();
    FillAnswers(L"bear", L"Sam Lee", L"12345");
    ExpectWrongAnswers();
    FillAnswers(L"Bear", L"Sam Lee ", L"12345");
    ExpectWrongAnswers();
    FillAnswers(L"Bear", L"Sam Lee", L"1234");
    ExpectWrongAnswers();
    EXPECT_TRUE(CheckPassword("old"));
    FillAnswers(L"Bear", L"Sam Lee", L"12345");
    NextTo(kForgotNewPassword);
}

TEST_F(ForgotPasswordTest, NewPasswordChecksKeepThePageWithTheFocusOnTheFirstField) {
    Open();
    FillAnswers(L"Bear", L"Sam Lee", L"12345");
    NextTo(kForgotNewPassword);
    const HWND page = page_;
    struct Case {
        const wchar_t* password;
        const wchar_t* confirmation;
        const wchar_t* text;
        const wchar_t* caption;
    } cases[] = {{L"", L"", kNoPasswordText, kNoPasswordCaption},
                 {L"", L"abc", kNoPasswordText, kNoPasswordCaption},
                 {L"abc", L"", kNoPasswordText, kNoPasswordCaption},
                 {L"abc", L"ABC", kDifferentText, kDifferentCaption}};
    for (const Case& c : cases) {
        ASSERT_TRUE(SetControlText(page, IDC_PAGE_PASSWORD, c.password));
        ASSERT_TRUE(SetControlText(page, IDC_PAGE_CONFIRM, c.confirmation));
        FocusControl(page, IDC_PAGE_CONFIRM);
        ASSERT_TRUE(PressWizardButton(sheet_, WizardButton::Next));
        ExpectMessage(scope(), c.text, c.caption);
        EXPECT_EQ(CurrentPage(sheet_), page);
        ExpectFocus(IDC_PAGE_PASSWORD);
    }
    EXPECT_TRUE(CheckPassword("old"));
}

TEST_F(ForgotPasswordTest, BackFromTheDonePageAndNextStoresThePasswordAgain) {
    Open();
    FillAnswers(L"Bear", L"Sam Lee", L"12345");
    NextTo(kForgotNewPassword);
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_PASSWORD, L"again"));
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_CONFIRM, L"again"));
    NextTo(kForgotDone);
    ASSERT_TRUE(SetSetting("passwordhash", "changed elsewhere"));
    ASSERT_TRUE(PressWizardButton(sheet_, WizardButton::Back));
    page_ = WaitForPage(sheet_, kForgotNewPassword);
    ASSERT_NE(page_, nullptr);
    NextTo(kForgotDone);
    EXPECT_TRUE(CheckPassword("again"));
}

TEST_F(ForgotPasswordTest, CancelBeforeTheNewPasswordStoresNothing) {
    Open();
    FillAnswers(L"Bear", L"Sam Lee", L"12345");
    NextTo(kForgotNewPassword);
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_PASSWORD, L"never"));
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_CONFIRM, L"never"));
    ASSERT_TRUE(PressWizardButton(sheet_, WizardButton::Cancel));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), 0);
    EXPECT_TRUE(CheckPassword("old"));
}

TEST_F(ForgotPasswordTest, AFailedWriteOfTheNewPasswordIsToldAndTheDonePageNotShown) {
    Open();
    FillAnswers(L"Bear", L"Sam Lee", L"12345");
    NextTo(kForgotNewPassword);
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_PASSWORD, L"new"));
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_CONFIRM, L"new"));
    {
        SettingsFileBusy busy;
        ASSERT_TRUE(busy.Held());
        ASSERT_TRUE(PressWizardButton(sheet_, WizardButton::Next));
        ExpectMessageStartingWith(scope(), L"Your password could not be saved", kCorvastine, MessageIcon::Warning);
        EXPECT_NE(WaitForPage(sheet_, kForgotNewPassword), nullptr) << "the page was left";
    }
    EXPECT_TRUE(CheckPassword("old"));
    NextTo(kForgotDone);
    EXPECT_TRUE(CheckPassword("new"));
}

TEST_F(ForgotPasswordTest, TheCommandRunsTheResetWhenAPasswordIsSet) {
    thread_ = std::make_unique<UiThread>([] {
        ForgotPasswordCommand(nullptr);
        return INT_PTR(0);
    });
    sheet_ = WaitForDialog(scope(), L"Forgot Password");
    ASSERT_NE(sheet_, nullptr);
    EXPECT_EQ(FindWindowOnce(WindowQuery::Dialog(scope(), L"Password Setup")), nullptr);
}

TEST_F(DialogUiTest, TheForgotPasswordCommandRunsTheSetupWizardBeforeAnyPasswordExists) {
    StoreQuestions(kQ1, kQ2, kQ3, "a", "b", "c");  // questions alone do not count
    UiThread thread([] {
        ForgotPasswordCommand(nullptr);
        return INT_PTR(0);
    });
    HWND sheet = WaitForDialog(thread.GetScope(), L"Password Setup");
    ASSERT_NE(sheet, nullptr) << "no setup wizard";
    EXPECT_EQ(FindWindowOnce(WindowQuery::Dialog(thread.GetScope(), L"Forgot Password")), nullptr);
}

// An answer of more than 511 characters, set up in the setup wizard, is
// taken in full by the reset as well.
TEST_F(DialogUiTest, ALongAnswerSetUpInTheWizardPassesTheReset) {
    const std::wstring longAnswer = std::wstring(300, L'a') + std::wstring(300, L'b');  // 600 characters
    {
        UiThread setup([] { return static_cast<INT_PTR>(PasswordSetupWizard(nullptr)); });
        HWND sheet = WaitForDialog(setup.GetScope(), L"Password Setup");
        ASSERT_NE(sheet, nullptr);
        ASSERT_NE(WaitForPage(sheet, kWelcomeTitle), nullptr);
        ASSERT_TRUE(PressWizardButton(sheet, WizardButton::Next));
        HWND page = WaitForPage(sheet, L"Question 1:");
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(TypeText(page, IDC_ANSWER1, longAnswer));
        ASSERT_TRUE(TypeText(page, IDC_ANSWER2, L"two"));
        ASSERT_TRUE(TypeText(page, IDC_ANSWER3, L"three"));
        ASSERT_TRUE(PressWizardButton(sheet, WizardButton::Next));
        page = WaitForPage(sheet, kSetupPasswordIntro);
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(SetControlText(page, IDC_PAGE_PASSWORD, L"pw"));
        ASSERT_TRUE(SetControlText(page, IDC_PAGE_CONFIRM, L"pw"));
        ASSERT_TRUE(PressWizardButton(sheet, WizardButton::Next));
        ASSERT_NE(WaitForPage(sheet, kSetupFinish), nullptr);
        ASSERT_TRUE(PressWizardButton(sheet, WizardButton::Finish));
        ASSERT_TRUE(setup.WaitDone());
    }
    EXPECT_TRUE(CheckAnswers(plat::WideToNarrow(longAnswer), "two", "three"));

    UiThread reset([] { return static_cast<INT_PTR>(ForgotPasswordWizard(nullptr)); });
    HWND sheet = WaitForDialog(reset.GetScope(), L"Forgot Password");
    ASSERT_NE(sheet, nullptr);
    HWND page = WaitForPage(sheet, kForgotIntro);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(TypeText(page, IDC_ANSWER1, longAnswer));
    ASSERT_TRUE(TypeText(page, IDC_ANSWER2, L"two"));
    ASSERT_TRUE(TypeText(page, IDC_ANSWER3, L"three"));
    EXPECT_EQ(ControlText(page, IDC_ANSWER1), longAnswer);
    ASSERT_TRUE(PressWizardButton(sheet, WizardButton::Next));
    EXPECT_NE(WaitForPage(sheet, kForgotNewPassword), nullptr) << "the long answer was not accepted";
    ExpectNoMessage(reset.GetScope());
}

}  // namespace
}  // namespace dialogtest
