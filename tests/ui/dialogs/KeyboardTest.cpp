// Every dialog and wizard page driven with real key presses (SendInput):
// Tab moves the focus, Space presses the focused button, Enter presses the
// default button (or the focused link), Escape cancels, and after a
// message the text to correct is selected, so typing replaces it.
#include <atomic>
#include <memory>

#include "ChangePasswordDialog.h"
#include "DialogIds.h"
#include "DialogTestSupport.h"
#include "EnterPasswordDialog.h"
#include "ForgotPasswordWizard.h"
#include "PasswordSetupWizard.h"
#include "WizardTexts.h"
#include "settings/PasswordStore.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

using namespace uitest;

namespace dialogtest {
namespace {

// Control ids of a wizard's own buttons.
constexpr int kBackButton = 0x3023;

class KeyboardTest : public WizardUiTest {
protected:
    // Waits for a message box with this text, then answers it with Enter.
    void AnswerWithEnter(const std::wstring& text) {
        auto box = WaitForMessageBox(scope());
        ASSERT_TRUE(box.has_value()) << "no message box";
        EXPECT_TRUE(box->text == text) << "unexpected message";
        ASSERT_TRUE(PressKey(box->window, VK_RETURN));
        ASSERT_TRUE(WaitForWindowGone(box->window)) << "Enter did not answer the message";
    }
    // The control holds the focus and its whole text is selected.
    void ExpectFocusOnSelectedText(HWND dialog, int controlId) {
        EXPECT_TRUE(WaitUntil([&] { return FocusedControlId(dialog) == controlId; }))
            << "focus on " << FocusedControlId(dialog) << ", expected " << controlId;
        EXPECT_TRUE(EditSelectionIsWholeText(dialog, controlId)) << "the text to correct is not selected";
    }
    // Types into the focused field with the keyboard and waits for the text.
    void TypeInto(HWND dialog, int controlId, const std::wstring& typed, const std::wstring& expected) {
        ASSERT_TRUE(WaitUntil([&] { return FocusedControlId(dialog) == controlId; }))
            << "focus on " << FocusedControlId(dialog) << ", expected " << controlId;
        ASSERT_TRUE(TypeKeys(dialog, typed));
        EXPECT_TRUE(WaitUntil([&] { return ControlText(dialog, controlId) == expected; }))
            << "field holds \"" << plat::WideToNarrow(ControlText(dialog, controlId)) << "\"";
    }
    HWND WaitForPageWith(HWND sheet, const std::wstring& text) {
        HWND page = WaitForPage(sheet, text);
        EXPECT_NE(page, nullptr) << "page \"" << plat::WideToNarrow(text) << "\" did not show";
        return page;
    }
    // Enter presses Next (a wizard's default button).
    void EnterTo(const std::wstring& text) {
        ASSERT_TRUE(PressKey(sheet_, VK_RETURN));
        page_ = WaitForPageWith(sheet_, text);
        ASSERT_NE(page_, nullptr);
    }

    // The dialogs shown on the thread; the fixture's TearDown ends the
    // thread before they go.
    EnterPasswordDialog enterDialog_;
    ChangePasswordDialog changeDialog_;
};

// ------------------------------------------------------------ enter password

TEST_F(KeyboardTest, EnterPasswordTabEnterSpaceAndEscape) {
    StorePassword("pw");
    StoreQuestions("What was your childhood nickname?", "In what town was your first job?",
                   "What was the color of your first car?", "Bumble", "Leeds", "green");
    EnterPasswordDialog& dialog = enterDialog_;
    thread_ = std::make_unique<UiThread>([&dialog] { return dialog.ShowModal(nullptr); });
    HWND window = WaitForDialog(scope(), L"Enter password");
    ASSERT_NE(window, nullptr);

    // Space on the focused link opens the reset.
    ASSERT_TRUE(TabToControl(window, IDC_FORGOT_LINK));
    ASSERT_TRUE(PressKey(window, VK_SPACE));
    HWND wizard = WaitForDialog(scope(), L"Forgot Password");
    ASSERT_NE(wizard, nullptr) << "Space on the link did not open the reset";
    ASSERT_TRUE(PressKey(wizard, VK_ESCAPE));
    ASSERT_TRUE(WaitForWindowGone(wizard)) << "Escape did not close the reset";
    // The prompt gives the focus back to its field once the reset returns.
    ASSERT_TRUE(WaitUntil([&] { return FocusedControlId(window) == IDC_ENTER_PASSWORD; }));

    // Enter on the focused link opens it as well, even with an empty field.
    ASSERT_TRUE(TabToControl(window, IDC_FORGOT_LINK));
    ASSERT_TRUE(PressKey(window, VK_RETURN));
    wizard = WaitForDialog(scope(), L"Forgot Password");
    ASSERT_NE(wizard, nullptr) << "Enter on the link did not open the reset";
    EXPECT_FALSE(FindMessageBox(scope()).has_value()) << "Enter on the link pressed Ok";
    ASSERT_TRUE(PressKey(wizard, VK_ESCAPE));
    ASSERT_TRUE(WaitForWindowGone(wizard)) << "Escape did not close the reset";
    // The prompt gives the focus back to its field once the reset returns.
    ASSERT_TRUE(WaitUntil([&] { return FocusedControlId(window) == IDC_ENTER_PASSWORD; }));
    EXPECT_FALSE(thread_->Done());
    // And Space once more after that.
    ASSERT_TRUE(TabToControl(window, IDC_FORGOT_LINK));
    ASSERT_TRUE(PressKey(window, VK_SPACE));
    wizard = WaitForDialog(scope(), L"Forgot Password");
    ASSERT_NE(wizard, nullptr) << "Space on the link did not open the reset after Enter did";
    ASSERT_TRUE(PressKey(wizard, VK_ESCAPE));
    ASSERT_TRUE(WaitForWindowGone(wizard)) << "Escape did not close the reset";
    // The prompt gives the focus back to its field once the reset returns.
    ASSERT_TRUE(WaitUntil([&] { return FocusedControlId(window) == IDC_ENTER_PASSWORD; }));

    // Back in the field: Enter with nothing typed is refused, the message
    // is answered with Enter, and the typed password is taken with Enter.
    ASSERT_TRUE(WaitUntil([&] { return FocusedControlId(window) == IDC_ENTER_PASSWORD; }));
    ASSERT_TRUE(PressKey(window, VK_RETURN));
    AnswerWithEnter(kNoPasswordText);
    TypeInto(window, IDC_ENTER_PASSWORD, L"pw", L"pw");
    // Tab leaves the field for Ok; Shift+Tab comes back.
    ASSERT_TRUE(PressKey(window, VK_TAB));
    EXPECT_TRUE(WaitUntil([&] { return FocusedControlId(window) == IDOK; }));
    ASSERT_TRUE(TabToControl(window, IDC_ENTER_PASSWORD, true));
    ASSERT_TRUE(PressKey(window, VK_RETURN));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDOK);
    EXPECT_EQ(dialog.Password(), "pw");

    // Escape cancels.
    thread_ = std::make_unique<UiThread>([&dialog] { return dialog.ShowModal(nullptr); });
    window = WaitForDialog(scope(), L"Enter password");
    ASSERT_NE(window, nullptr);
    TypeInto(window, IDC_ENTER_PASSWORD, L"x", L"x");
    ASSERT_TRUE(PressKey(window, VK_ESCAPE));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDCANCEL);
    EXPECT_TRUE(dialog.Password().empty());
}

// ------------------------------------------------------------ change password

TEST_F(KeyboardTest, ChangePasswordTypingTabEnterSpaceAndEscape) {
    StorePassword("first");
    ChangePasswordDialog& dialog = changeDialog_;
    thread_ = std::make_unique<UiThread>([&dialog] { return dialog.ShowModal(nullptr); });
    HWND window = WaitForDialog(scope(), L"Change Password");
    ASSERT_NE(window, nullptr);

    TypeInto(window, IDC_CHANGE_NEW, L"second", L"second");
    ASSERT_TRUE(TabToControl(window, IDC_CHANGE_CONFIRM));
    TypeInto(window, IDC_CHANGE_CONFIRM, L"secnod", L"secnod");
    ASSERT_TRUE(PressKey(window, VK_RETURN));
    AnswerWithEnter(kDifferentText);
    // The confirmation again, its text selected: typing replaces it.
    ExpectFocusOnSelectedText(window, IDC_CHANGE_CONFIRM);
    TypeInto(window, IDC_CHANGE_CONFIRM, L"second", L"second");
    // Space on the focused Ok button stores the password.
    ASSERT_TRUE(TabToControl(window, IDOK));
    ASSERT_TRUE(PressKey(window, VK_SPACE));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDOK);
    EXPECT_TRUE(CheckPassword("second"));

    thread_ = std::make_unique<UiThread>([&dialog] { return dialog.ShowModal(nullptr); });
    window = WaitForDialog(scope(), L"Change Password");
    ASSERT_NE(window, nullptr);
    TypeInto(window, IDC_CHANGE_NEW, L"third", L"third");
    ASSERT_TRUE(PressKey(window, VK_ESCAPE));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDCANCEL);
    EXPECT_TRUE(CheckPassword("second"));
}

// ------------------------------------------------------------ setup wizard

class SetupKeyboardTest : public KeyboardTest {
protected:
    void Open() {
        OpenWizard([] { return static_cast<INT_PTR>(PasswordSetupWizard(nullptr)); }, L"Password Setup",
                   kWelcomeTitle);
    }
    void AnswerQuestions() {
        for (int id : {IDC_ANSWER1, IDC_ANSWER2, IDC_ANSWER3}) {
            ASSERT_TRUE(TabToControl(page_, id));
            TypeInto(page_, id, L"answer " + std::to_wstring(id), L"answer " + std::to_wstring(id));
        }
    }
};

TEST_F(SetupKeyboardTest, EveryPageWithTheKeyboard) {
    Open();
    EnterTo(L"Question 1:");

    // Questions: Enter with empty answers is refused; the answers are typed
    // after Tab; Space on Back returns to the welcome page.
    ASSERT_TRUE(PressKey(sheet_, VK_RETURN));
    AnswerWithEnter(L"Answer can't be empty.");
    EXPECT_TRUE(WaitUntil([&] { return FocusedControlId(page_) == IDC_ANSWER1; }));
    AnswerQuestions();
    ASSERT_TRUE(TabToControl(sheet_, kBackButton));
    ASSERT_TRUE(PressKey(sheet_, VK_SPACE));
    page_ = WaitForPageWith(sheet_, kWelcomeTitle);
    ASSERT_NE(page_, nullptr);
    EnterTo(L"Question 1:");
    EXPECT_EQ(ControlText(page_, IDC_ANSWER1), L"answer 1000");

    // Password: a mismatch selects the first field's text for retyping.
    EnterTo(kSetupPasswordIntro);
    ASSERT_TRUE(TabToControl(page_, IDC_PAGE_PASSWORD));
    TypeInto(page_, IDC_PAGE_PASSWORD, L"one pass", L"one pass");
    ASSERT_TRUE(TabToControl(page_, IDC_PAGE_CONFIRM));
    TypeInto(page_, IDC_PAGE_CONFIRM, L"one psas", L"one psas");
    ASSERT_TRUE(PressKey(sheet_, VK_RETURN));
    AnswerWithEnter(kDifferentText);
    ExpectFocusOnSelectedText(page_, IDC_PAGE_PASSWORD);
    TypeInto(page_, IDC_PAGE_PASSWORD, L"one psas", L"one psas");
    EnterTo(kSetupFinish);
    EXPECT_TRUE(CheckPassword("one psas"));

    // Finish: Enter presses Finish.
    ASSERT_TRUE(PressKey(sheet_, VK_RETURN));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), 1);
}

TEST_F(SetupKeyboardTest, EscapeCancelsOnEveryPage) {
    const wchar_t* const pages[] = {kWelcomeTitle, L"Question 1:", kSetupPasswordIntro, kSetupFinish};
    for (int last = 0; last < 4; ++last) {
        RemoveSettingsFiles();
        Open();
        for (int p = 1; p <= last; ++p) {
            if (p == 2) AnswerQuestions();
            if (p == 3) {
                ASSERT_TRUE(TabToControl(page_, IDC_PAGE_PASSWORD));
                TypeInto(page_, IDC_PAGE_PASSWORD, L"pw", L"pw");
                ASSERT_TRUE(TabToControl(page_, IDC_PAGE_CONFIRM));
                TypeInto(page_, IDC_PAGE_CONFIRM, L"pw", L"pw");
            }
            EnterTo(pages[p]);
        }
        ASSERT_TRUE(PressKey(sheet_, VK_ESCAPE));
        ASSERT_TRUE(thread_->WaitDone()) << "Escape did not close the wizard on page " << last + 1;
        EXPECT_EQ(thread_->Result(), 0) << "page " << last + 1;
    }
}

// ------------------------------------------------------------ reset wizard

class ForgotKeyboardTest : public KeyboardTest {
protected:
    void SetUp() override {
        KeyboardTest::SetUp();
        StorePassword("old");
        StoreQuestions("What was your childhood nickname?", "In what town was your first job?",
                       "What was the color of your first car?", "Bumble", "Leeds", "green");
    }
    void Open() {
        OpenWizard([] { return static_cast<INT_PTR>(ForgotPasswordWizard(nullptr)); }, L"Forgot Password",
                   kForgotIntro);
    }
    void TypeAnswers(const std::wstring& a1) {
        const std::wstring answers[3] = {a1, L"Leeds", L"green"};
        const int ids[3] = {IDC_ANSWER1, IDC_ANSWER2, IDC_ANSWER3};
        for (int i = 0; i < 3; ++i) {
            ASSERT_TRUE(TabToControl(page_, ids[i]));
            TypeInto(page_, ids[i], answers[i], answers[i]);
        }
    }
};

TEST_F(ForgotKeyboardTest, EveryPageWithTheKeyboard) {
    Open();
    // Wrong answers: the first answer is selected for retyping.
    TypeAnswers(L"Bumbel");
    ASSERT_TRUE(PressKey(sheet_, VK_RETURN));
    AnswerWithEnter(L"Wrong answers.");
    ExpectFocusOnSelectedText(page_, IDC_ANSWER1);
    TypeInto(page_, IDC_ANSWER1, L"Bumble", L"Bumble");
    EnterTo(kForgotNewPassword);

    // New password: Enter with nothing typed is refused; a mismatch selects
    // the first field.
    // The refusal puts the focus back in the password field. (A Tab
    // pressed before it got there would be taken in after it, and carry the
    // focus on to the confirmation.)
    ASSERT_TRUE(PressKey(sheet_, VK_RETURN));
    AnswerWithEnter(kNoPasswordText);
    EXPECT_TRUE(WaitUntil([&] { return FocusedControlId(page_) == IDC_PAGE_PASSWORD; }));
    TypeInto(page_, IDC_PAGE_PASSWORD, L"fresh", L"fresh");
    ASSERT_TRUE(TabToControl(page_, IDC_PAGE_CONFIRM));
    TypeInto(page_, IDC_PAGE_CONFIRM, L"frseh", L"frseh");
    ASSERT_TRUE(PressKey(sheet_, VK_RETURN));
    AnswerWithEnter(kDifferentText);
    ExpectFocusOnSelectedText(page_, IDC_PAGE_PASSWORD);
    TypeInto(page_, IDC_PAGE_PASSWORD, L"frseh", L"frseh");
    EnterTo(kForgotDone);
    EXPECT_TRUE(CheckPassword("frseh"));

    // Done: Space on Back returns to the password page, Enter finishes.
    ASSERT_TRUE(TabToControl(sheet_, kBackButton));
    ASSERT_TRUE(PressKey(sheet_, VK_SPACE));
    page_ = WaitForPageWith(sheet_, kForgotNewPassword);
    ASSERT_NE(page_, nullptr);
    EnterTo(kForgotDone);
    ASSERT_TRUE(PressKey(sheet_, VK_RETURN));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), 1);
}

TEST_F(ForgotKeyboardTest, EscapeCancelsOnEveryPage) {
    for (int last = 0; last < 3; ++last) {
        Open();
        if (last >= 1) {
            TypeAnswers(L"Bumble");
            EnterTo(kForgotNewPassword);
        }
        if (last >= 2) {
            ASSERT_TRUE(TabToControl(page_, IDC_PAGE_PASSWORD));
            TypeInto(page_, IDC_PAGE_PASSWORD, L"pw", L"pw");
            ASSERT_TRUE(TabToControl(page_, IDC_PAGE_CONFIRM));
            TypeInto(page_, IDC_PAGE_CONFIRM, L"pw", L"pw");
            EnterTo(kForgotDone);
        }
        ASSERT_TRUE(PressKey(sheet_, VK_ESCAPE));
        ASSERT_TRUE(thread_->WaitDone()) << "Escape did not close the reset on page " << last + 1;
        EXPECT_EQ(thread_->Result(), 0) << "page " << last + 1;
    }
}

}  // namespace
}  // namespace dialogtest
