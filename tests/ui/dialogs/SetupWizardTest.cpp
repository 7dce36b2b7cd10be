// The password setup wizard: its four pages, the checks of the questions
// and password pages in their order, what is stored when, and failed writes.
#include <algorithm>
#include <memory>
#include <vector>

#include "DialogIds.h"
#include "DialogTestSupport.h"
#include "PasswordSetupWizard.h"
#include "SecurityQuestions.h"
#include "WizardTexts.h"
#include "engine/Secrets.h"
#include "settings/PasswordStore.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

using namespace uitest;

namespace dialogtest {
namespace {

const int kLists[3] = {IDC_QUESTION_LIST1, IDC_QUESTION_LIST2, IDC_QUESTION_LIST3};
const int kAnswers[3] = {IDC_ANSWER1, IDC_ANSWER2, IDC_ANSWER3};

class SetupWizardTest : public WizardUiTest {
protected:
    void Open(SetupWizardHost host = SetupWizardHost::Desktop) {
        OpenWizard([host] { return static_cast<INT_PTR>(PasswordSetupWizard(nullptr, host)); }, L"Password Setup",
                   kWelcomeTitle);
    }
    void GoToPasswordPage() {
        NextTo(L"Question 1:");
        FillAnswers(L"one", L"two", L"three");
        NextTo(kSetupPasswordIntro);
    }
};

TEST_F(SetupWizardTest, WalksThroughTheFourPagesAndStoresQuestionsAnswersAndPassword) {
    Open();
    Shoot(sheet_, L"setup-1-welcome");
    ExpectButtons(false, true, false);
    ExpectIcons(sheet_);
    EXPECT_EQ(ControlText(page_, IDC_WELCOME_BODY), kDesktopWelcome);
    EXPECT_NE(::GetFileAttributesW(SettingsPath().c_str()), INVALID_FILE_ATTRIBUTES) << "the wizard did not make sure of the settings file";

    NextTo(L"Question 1:");
    Shoot(sheet_, L"setup-2-questions");
    ExpectButtons(true, true, false);
    EXPECT_NE(WaitForPage(sheet_, kQuestionsIntro), nullptr);
    EXPECT_NE(WaitForPage(sheet_, kQuestionsWarning), nullptr);
    for (const wchar_t* label : {L"Question 2:", L"Question 3:", L"Answer 1", L"Answer 2", L"Answer 3"}) {
        EXPECT_NE(WaitForPage(sheet_, label), nullptr) << "missing label";
    }
    // Every question in every list, sorted by the list; the three lists open
    // on the first three.
    std::vector<std::wstring> table(SecurityQuestions, SecurityQuestions + kSecurityQuestionCount);
    for (int list : kLists) {
        std::vector<std::wstring> items = ComboItems(page_, list);
        ASSERT_EQ(items.size(), 21u);
        EXPECT_TRUE(std::is_sorted(items.begin(), items.end(), [](const std::wstring& a, const std::wstring& b) {
            return ::lstrcmpiW(a.c_str(), b.c_str()) < 0;
        }));
        std::vector<std::wstring> sortedItems = items, sortedTable = table;
        std::sort(sortedItems.begin(), sortedItems.end());
        std::sort(sortedTable.begin(), sortedTable.end());
        EXPECT_EQ(sortedItems, sortedTable);
        LONG_PTR style = ::GetWindowLongPtrW(::GetDlgItem(page_, list), GWL_STYLE);
        EXPECT_EQ(style & 3, CBS_DROPDOWNLIST) << "the lists are choose-only";
        EXPECT_TRUE(style & CBS_SORT);
    }
    EXPECT_EQ(ComboSelection(page_, IDC_QUESTION_LIST1), kFirstQuestion);
    EXPECT_EQ(ComboSelection(page_, IDC_QUESTION_LIST2), kSecondQuestion);
    EXPECT_EQ(ComboSelection(page_, IDC_QUESTION_LIST3), kThirdQuestion);
    for (int answer : kAnswers) {
        EXPECT_FALSE(::GetWindowLongPtrW(::GetDlgItem(page_, answer), GWL_STYLE) & ES_PASSWORD) << "answers show";
    }

    // The longest question fits the list box.
    const std::wstring longest =
        L"What was your childhood phone number including area code? (e.g., 000-000-0000)";
    ASSERT_TRUE(SelectComboItem(page_, IDC_QUESTION_LIST2, longest));
    ASSERT_TRUE(SelectComboItem(page_, IDC_QUESTION_LIST3, L"What was the color of your first car?"));
    Shoot(sheet_, L"setup-2-questions-long");
    ASSERT_TRUE(TypeText(page_, IDC_ANSWER1, L"Paris"));
    ASSERT_TRUE(TypeText(page_, IDC_ANSWER2, L"555-123-4567"));
    ASSERT_TRUE(TypeText(page_, IDC_ANSWER3, L"Red"));
    NextTo(kSetupPasswordIntro);
    EXPECT_EQ(GetSetting("question1"), plat::WideToNarrow(kFirstQuestion));
    EXPECT_EQ(GetSetting("question2"), plat::WideToNarrow(longest));
    EXPECT_EQ(GetSetting("question3"), "What was the color of your first car?");
    EXPECT_TRUE(CheckAnswers("Paris", "555-123-4567", "Red"));
    EXPECT_TRUE(GetSetting("passwordhash").empty());

    Shoot(sheet_, L"setup-3-password");
    ExpectButtons(true, true, false);
    EXPECT_NE(WaitForPage(sheet_, L"Password:"), nullptr);
    EXPECT_NE(WaitForPage(sheet_, L"Confirm Password:"), nullptr);
    EXPECT_TRUE(::GetWindowLongPtrW(::GetDlgItem(page_, IDC_PAGE_PASSWORD), GWL_STYLE) & ES_PASSWORD);
    EXPECT_TRUE(::GetWindowLongPtrW(::GetDlgItem(page_, IDC_PAGE_CONFIRM), GWL_STYLE) & ES_PASSWORD);
    ASSERT_TRUE(TypeText(page_, IDC_PAGE_PASSWORD, L"My Password"));
    ASSERT_TRUE(TypeText(page_, IDC_PAGE_CONFIRM, L"My Password"));
    NextTo(kSetupFinish);
    EXPECT_TRUE(CheckPassword("My Password"));

    Shoot(sheet_, L"setup-4-finish");
    ExpectButtons(true, false, true);
    ASSERT_TRUE(PressWizardButton(sheet_, WizardButton::Finish));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), 1);
}

TEST_F(SetupWizardTest, TheShellExtensionGetsItsOwnWelcomeText) {
    Open(SetupWizardHost::ShellExtension);
    EXPECT_EQ(ControlText(page_, IDC_WELCOME_BODY), kShellExtensionWelcome);
    Shoot(sheet_, L"setup-1-welcome-shell");
}

TEST_F(SetupWizardTest, QuestionsPageChecksAnswersThenQuestionsInOrderAndStoresNothing) {
    Open();
    NextTo(L"Question 1:");
    FillAnswers(L"", L"", L"");
    FocusControl(page_, IDC_ANSWER3);
    ExpectRefusal(L"Answer can't be empty.", kCorvastine, IDC_ANSWER1);
    ASSERT_TRUE(SetControlText(page_, IDC_ANSWER1, L"a"));
    ExpectRefusal(L"Answer can't be empty.", kCorvastine, IDC_ANSWER2);
    ASSERT_TRUE(SetControlText(page_, IDC_ANSWER2, L"b"));
    FocusControl(page_, IDC_ANSWER1);
    ExpectRefusal(L"Answer can't be empty.", kCorvastine, IDC_ANSWER3);
    ASSERT_TRUE(SetControlText(page_, IDC_ANSWER3, L"c"));

    // Lists 1 and 2 on the same question.
    ASSERT_TRUE(SelectComboItem(page_, IDC_QUESTION_LIST2, kFirstQuestion));
    FocusControl(page_, IDC_ANSWER3);
    ExpectRefusal(L"Questions can't be same.", kCorvastine, IDC_ANSWER1);
    // Lists 1 and 3.
    ASSERT_TRUE(SelectComboItem(page_, IDC_QUESTION_LIST2, kSecondQuestion));
    ASSERT_TRUE(SelectComboItem(page_, IDC_QUESTION_LIST3, kFirstQuestion));
    FocusControl(page_, IDC_ANSWER3);
    ExpectRefusal(L"Questions can't be same.", kCorvastine, IDC_ANSWER1);
    // Lists 2 and 3, list 1 different.
    ASSERT_TRUE(SelectComboItem(page_, IDC_QUESTION_LIST3, kSecondQuestion));
    FocusControl(page_, IDC_ANSWER2);
    ASSERT_TRUE(PressWizardButton(sheet_, WizardButton::Next));
    ExpectMessage(scope(), L"Questions can't be same.", kCorvastine, MessageIcon::Information,
                  L"message-questions-same");
    EXPECT_NE(WaitForPage(sheet_, L"Question 1:"), nullptr) << "the page was left";
    ExpectFocus(IDC_ANSWER1);

    EXPECT_TRUE(GetSetting("a1").empty());
    EXPECT_TRUE(GetSetting("question1").empty());

    // All different now: on to the password page.
    ASSERT_TRUE(SelectComboItem(page_, IDC_QUESTION_LIST3, kThirdQuestion));
    NextTo(kSetupPasswordIntro);
    EXPECT_TRUE(CheckAnswers("a", "b", "c"));
}

TEST_F(SetupWizardTest, AnswersAreStoredExactlyAsTyped) {
    Open();
    NextTo(L"Question 1:");
    FillAnswers(L" Blue", L"Rex", L"Oak Street ");
    NextTo(kSetupPasswordIntro);
    EXPECT_TRUE(CheckAnswers(" Blue", "Rex", "Oak Street "));
    EXPECT_FALSE(CheckAnswers("Blue", "Rex", "Oak Street "));
    EXPECT_FALSE(CheckAnswers(" blue", "Rex", "Oak Street "));
    EXPECT_FALSE(CheckAnswers(" Blue", "rex", "Oak Street "));
    EXPECT_FALSE(CheckAnswers(" Blue", "Rex", "Oak Street"));
}

TEST_F(SetupWizardTest, PasswordPageChecksInOrderWithTheFocusOnTheFirstField) {
    Open();
    GoToPasswordPage();
    FocusControl(page_, IDC_PAGE_CONFIRM);
    ExpectRefusal(kNoPasswordText, kNoPasswordCaption, IDC_PAGE_PASSWORD);
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_PASSWORD, L"Word"));
    FocusControl(page_, IDC_PAGE_CONFIRM);
    ExpectRefusal(kNoPasswordText, kNoPasswordCaption, IDC_PAGE_PASSWORD);
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_CONFIRM, L"word"));
    FocusControl(page_, IDC_PAGE_CONFIRM);
    ExpectRefusal(kDifferentText, kDifferentCaption, IDC_PAGE_PASSWORD);
    EXPECT_TRUE(GetSetting("passwordhash").empty());

    // One character is enough.
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_PASSWORD, L"x"));
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_CONFIRM, L"x"));
    NextTo(kSetupFinish);
    EXPECT_TRUE(CheckPassword("x"));
}

TEST_F(SetupWizardTest, BackThenNextStoresEachPageAgain) {
    Open();
    GoToPasswordPage();
    ASSERT_TRUE(SetSetting("a1", "changed elsewhere"));
    ASSERT_TRUE(SetSetting("question1", "changed elsewhere"));
    BackTo(L"Question 1:");
    NextTo(kSetupPasswordIntro);
    EXPECT_TRUE(CheckAnswers("one", "two", "three"));
    EXPECT_EQ(GetSetting("question1"), plat::WideToNarrow(kFirstQuestion));

    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_PASSWORD, L"pw"));
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_CONFIRM, L"pw"));
    NextTo(kSetupFinish);
    ASSERT_TRUE(SetSetting("passwordhash", "changed elsewhere"));
    BackTo(kSetupPasswordIntro);
    NextTo(kSetupFinish);
    EXPECT_TRUE(CheckPassword("pw"));
}

TEST_F(SetupWizardTest, CancelAfterTheQuestionsPageKeepsThemWithoutAPassword) {
    Open();
    GoToPasswordPage();
    ASSERT_TRUE(PressWizardButton(sheet_, WizardButton::Cancel));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), 0);
    EXPECT_TRUE(CheckAnswers("one", "two", "three"));
    EXPECT_EQ(GetSetting("question3"), plat::WideToNarrow(kThirdQuestion));
    EXPECT_TRUE(GetSetting("passwordhash").empty());
}

TEST_F(SetupWizardTest, AReopenedQuestionsPageSelectsTheStoredQuestions) {
    StoreQuestions("What is your maternal grandmother's maiden name?", "Where does your nearest sibling live?",
                   "What was your childhood nickname?", "x", "y", "z");
    Open();
    NextTo(L"Question 1:");
    EXPECT_EQ(ComboSelection(page_, IDC_QUESTION_LIST1), L"What is your maternal grandmother's maiden name?");
    EXPECT_EQ(ComboSelection(page_, IDC_QUESTION_LIST2), L"Where does your nearest sibling live?");
    EXPECT_EQ(ComboSelection(page_, IDC_QUESTION_LIST3), L"What was your childhood nickname?");
}

TEST_F(SetupWizardTest, AnswerFieldsTakeAtMost1023Characters) {
    Open();
    NextTo(L"Question 1:");
    ASSERT_TRUE(TypeText(page_, IDC_ANSWER1, std::wstring(1030, L'q')));
    EXPECT_EQ(ControlText(page_, IDC_ANSWER1).size(), 1023u);
}

TEST_F(SetupWizardTest, AFailedWriteOnTheQuestionsPageIsToldAndThePageKept) {
    Open();
    NextTo(L"Question 1:");
    FillAnswers(L"one", L"two", L"three");
    {
        SettingsFileBusy busy;
        ASSERT_TRUE(busy.Held());
        ASSERT_TRUE(PressWizardButton(sheet_, WizardButton::Next));
        std::wstring text = ExpectMessageStartingWith(scope(), L"Your security questions and answers could not be "
                                                               L"saved.", kCorvastine, MessageIcon::Warning);
        EXPECT_NE(text.find(L"in use by another program"), std::wstring::npos);
        EXPECT_NE(WaitForPage(sheet_, L"Question 1:"), nullptr) << "the page was left";
    }
    NextTo(kSetupPasswordIntro);
    EXPECT_TRUE(CheckAnswers("one", "two", "three"));
}

TEST_F(SetupWizardTest, AFailedPasswordWriteNeverReachesTheFinishPage) {
    Open();
    GoToPasswordPage();
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_PASSWORD, L"pw"));
    ASSERT_TRUE(SetControlText(page_, IDC_PAGE_CONFIRM, L"pw"));
    {
        SettingsFileBusy busy;
        ASSERT_TRUE(busy.Held());
        ASSERT_TRUE(PressWizardButton(sheet_, WizardButton::Next));
        std::wstring text = ExpectMessageStartingWith(scope(), L"Your password could not be saved", kCorvastine,
                                                      MessageIcon::Warning);
        EXPECT_NE(text.find(L"in use by another program"), std::wstring::npos);
        EXPECT_NE(WaitForPage(sheet_, kSetupPasswordIntro), nullptr) << "the page was left";
        ExpectFocus(IDC_PAGE_PASSWORD);
    }
    EXPECT_TRUE(GetSetting("passwordhash").empty());
    NextTo(kSetupFinish);
    EXPECT_TRUE(CheckPassword("pw"));
}

}  // namespace
}  // namespace dialogtest
