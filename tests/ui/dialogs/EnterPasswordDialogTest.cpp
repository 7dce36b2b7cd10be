// The password prompt: its look, Ok with and without a password set, the
// forgot-password link, and the vault's variant without settings.
#include <algorithm>
#include <memory>
#include <vector>

#include "DialogIds.h"
#include "DialogTestSupport.h"

#include <commctrl.h>
#include "EnterPasswordDialog.h"
#include "HyperlinkButton.h"
#include "PasswordPromptDialog.h"
#include "engine/Secrets.h"
#include "settings/PasswordStore.h"
#include "settings/Settings.h"

using namespace uitest;

namespace dialogtest {
namespace {

const wchar_t kCaption[] = L"Enter password";
const wchar_t kWrongPrompt[] =
    L"The password you entered is incorrect. Please try again or click I Forgot My Password to reset your password.";

class EnterPasswordTest : public DialogUiTest {
protected:
    // Opens an EnterPasswordDialog on a thread of its own.
    void Open(const std::wstring& prompt = std::wstring()) {
        dialog_ = std::make_unique<EnterPasswordDialog>();
        if (!prompt.empty()) dialog_->SetPrompt(prompt);
        EnterPasswordDialog* d = dialog_.get();
        thread_ = std::make_unique<UiThread>([d] { return d->ShowModal(nullptr); });
        window_ = WaitForDialog(thread_->GetScope(), kCaption);
        ASSERT_NE(window_, nullptr) << "the enter-password dialog did not show";
    }
    void TearDown() override {
        thread_.reset();
        dialog_.reset();
        DialogUiTest::TearDown();
    }
    Scope scope() const { return thread_->GetScope(); }

    std::unique_ptr<EnterPasswordDialog> dialog_;
    std::unique_ptr<UiThread> thread_;
    HWND window_ = nullptr;
};

TEST_F(EnterPasswordTest, ShowsPromptFieldButtonsLinkAndIcons) {
    StorePassword("pw");
    Open();
    Shoot(window_, L"enter-password");
    EXPECT_EQ(ControlText(window_, IDC_ENTER_PROMPT), L"Please enter your password to continue.");
    EXPECT_EQ(ControlText(window_, IDOK), L"Ok");
    EXPECT_EQ(ControlText(window_, IDCANCEL), L"Cancel");
    EXPECT_TRUE(::GetWindowLongPtrW(::GetDlgItem(window_, IDC_ENTER_PASSWORD), GWL_STYLE) & ES_PASSWORD);
    ExpectIcons(window_);

    // The link: a command button at 12,100-140,117 (pixels at 96 dpi).
    HWND link = ::GetDlgItem(window_, IDC_FORGOT_LINK);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(WindowText(link), L"I forgot my password.");
    EXPECT_EQ(ClassNameOf(link), L"Button");
    RECT r = ControlRect(window_, IDC_FORGOT_LINK);
    const int dpi = Dpi();
    EXPECT_EQ(r.left, ::MulDiv(12, dpi, 96));
    EXPECT_EQ(r.top, ::MulDiv(100, dpi, 96));
    EXPECT_EQ(r.right, ::MulDiv(140, dpi, 96));
    EXPECT_EQ(r.bottom, ::MulDiv(117, dpi, 96));

    // Size of the prompt: 191 x 30 dialog units.
    RECT units{0, 0, 191, 30};
    ::MapDialogRect(window_, &units);
    RECT prompt = ControlRect(window_, IDC_ENTER_PROMPT);
    EXPECT_EQ(prompt.right - prompt.left, units.right);
    EXPECT_EQ(prompt.bottom - prompt.top, units.bottom);

    // Drawn as a link: an underline in the link colour runs under the text.
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
    ASSERT_TRUE(CaptureWindow(link, &width, &height, &pixels));
    const COLORREF linkColour = corva::ui::HyperlinkButton::kLinkColour;
    int longestRun = 0;
    for (int y = 0; y < height; ++y) {
        int run = 0;
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
            bool match = RGB(p[2], p[1], p[0]) == linkColour;
            run = match ? run + 1 : 0;
            longestRun = std::max(longestRun, run);
        }
    }
    EXPECT_GE(longestRun, width / 2) << "no underline in the link colour";

    // Its label is its tooltip.
    WindowQuery tips;
    tips.scope = scope();
    tips.className = L"tooltips_class32";
    tips.visibleOnly = false;
    tips.filter = [&](HWND w) { return ::GetWindow(w, GW_OWNER) == window_; };
    HWND tip = FindWindowOnce(tips);
    ASSERT_NE(tip, nullptr) << "no tooltip";
    wchar_t tipText[80] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.lpszText = tipText;
    ASSERT_TRUE(::SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)));
    EXPECT_EQ(std::wstring(tipText), L"I forgot my password.");
    EXPECT_EQ(tool.uId, reinterpret_cast<UINT_PTR>(link));
}

TEST_F(EnterPasswordTest, ShowsTheCallersPrompt) {
    StorePassword("pw");
    Open(kWrongPrompt);
    EXPECT_EQ(ControlText(window_, IDC_ENTER_PROMPT), kWrongPrompt);
    Shoot(window_, L"enter-password-retry");
    ASSERT_TRUE(ClickButton(window_, IDCANCEL));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDCANCEL);
}

TEST_F(EnterPasswordTest, OkRefusesAnEmptyFieldAndTakesTheTypedPassword) {
    StorePassword("Secret pass");
    Open();
    ASSERT_TRUE(ClickButton(window_, IDOK));
    ExpectMessage(scope(), kNoPasswordText, kNoPasswordCaption);
    EXPECT_TRUE(WaitUntil([&] { return FocusedControlId(window_) == IDC_ENTER_PASSWORD; }));
    EXPECT_FALSE(thread_->Done());

    // The dialog does not judge the password: a wrong one closes it as well.
    ASSERT_TRUE(TypeText(window_, IDC_ENTER_PASSWORD, L"Secret pass"));
    ASSERT_TRUE(ClickButton(window_, IDOK));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDOK);
    EXPECT_EQ(dialog_->Password(), "Secret pass");
}

TEST_F(EnterPasswordTest, OkWithoutAStoredPasswordRunsTheSetupWizardAndStaysOpen) {
    Open();
    ASSERT_TRUE(TypeText(window_, IDC_ENTER_PASSWORD, L"anything"));
    ASSERT_TRUE(ClickButton(window_, IDOK));
    HWND wizard = WaitForDialog(scope(), L"Password Setup");
    ASSERT_NE(wizard, nullptr) << "Ok did not open the setup wizard";
    EXPECT_EQ(::GetWindow(wizard, GW_OWNER), window_);
    EXPECT_FALSE(::IsWindowEnabled(window_));
    ASSERT_TRUE(PressWizardButton(wizard, WizardButton::Cancel));
    ASSERT_TRUE(WaitForWindowGone(wizard));

    EXPECT_TRUE(::IsWindowVisible(window_));
    EXPECT_TRUE(WaitUntil([&] { return ::IsWindowEnabled(window_) != FALSE; }));
    EXPECT_FALSE(thread_->Done());
    EXPECT_TRUE(GetSetting("passwordhash").empty());
    ASSERT_TRUE(ClickButton(window_, IDCANCEL));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDCANCEL);
}

TEST_F(EnterPasswordTest, CancelEscapeAndTheCloseBoxAllCancel) {
    StorePassword("pw");
    for (int way = 0; way < 3; ++way) {
        Open();
        ASSERT_TRUE(TypeText(window_, IDC_ENTER_PASSWORD, L"pw"));
        if (way == 0) {
            ASSERT_TRUE(ClickButton(window_, IDCANCEL));
        }
        if (way == 1) {
            ASSERT_TRUE(PressEscape(window_));
        }
        if (way == 2) {
            RequestClose(window_);
        }
        ASSERT_TRUE(thread_->WaitDone()) << "way " << way;
        EXPECT_EQ(thread_->Result(), IDCANCEL) << "way " << way;
        EXPECT_TRUE(dialog_->Password().empty()) << "way " << way;
    }
}

TEST_F(EnterPasswordTest, TheLinkLeadsThroughTheResetAndTheSameDialogTakesTheNewPassword) {
    StorePassword("old password");
    StoreQuestions("What was your childhood nickname?", "In what town was your first job?",
                   "What was the color of your first car?", "Bumble", "Leeds", "green");
    Open();
    ASSERT_TRUE(ClickButton(window_, IDC_FORGOT_LINK));
    HWND wizard = WaitForDialog(scope(), L"Forgot Password");
    ASSERT_NE(wizard, nullptr) << "the link did not open the reset";
    EXPECT_EQ(::GetWindow(wizard, GW_OWNER), window_);
    HWND page = WaitForPage(wizard, L"What was your childhood nickname?");
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(TypeText(page, IDC_ANSWER1, L"Bumble"));
    ASSERT_TRUE(TypeText(page, IDC_ANSWER2, L"Leeds"));
    ASSERT_TRUE(TypeText(page, IDC_ANSWER3, L"green"));
    ASSERT_TRUE(PressWizardButton(wizard, WizardButton::Next));
    page = WaitForPage(wizard, L"Correct answers! Enter a new password below.");
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(TypeText(page, IDC_PAGE_PASSWORD, L"new password"));
    ASSERT_TRUE(TypeText(page, IDC_PAGE_CONFIRM, L"new password"));
    ASSERT_TRUE(PressWizardButton(wizard, WizardButton::Next));
    ASSERT_NE(WaitForPage(wizard, L"Congratulations You have successfully created a new password."), nullptr);
    ASSERT_TRUE(PressWizardButton(wizard, WizardButton::Finish));
    ASSERT_TRUE(WaitForWindowGone(wizard));

    // Back in the same prompt, which now takes the new password.
    EXPECT_TRUE(::IsWindowVisible(window_));
    EXPECT_FALSE(thread_->Done());
    EXPECT_TRUE(WaitUntil([&] { return FocusedControlId(window_) == IDC_ENTER_PASSWORD; }));
    ASSERT_TRUE(TypeText(window_, IDC_ENTER_PASSWORD, L"new password"));
    ASSERT_TRUE(ClickButton(window_, IDOK));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDOK);
    EXPECT_TRUE(CheckPassword(dialog_->Password()));
    EXPECT_FALSE(CheckPassword("old password"));
}

TEST_F(EnterPasswordTest, TheLinkRunsTheSetupWizardWhileNoPasswordIsSet) {
    Open();
    ASSERT_TRUE(ClickButton(window_, IDC_FORGOT_LINK));
    HWND wizard = WaitForDialog(scope(), L"Password Setup");
    ASSERT_NE(wizard, nullptr);
    EXPECT_EQ(FindWindowOnce(WindowQuery::Dialog(scope(), L"Forgot Password")), nullptr);
    ASSERT_TRUE(PressWizardButton(wizard, WizardButton::Cancel));
    ASSERT_TRUE(WaitForWindowGone(wizard));
    EXPECT_FALSE(thread_->Done());
}

// ------------------------------------------------------------ vault variant

TEST_F(DialogUiTest, VaultPromptHasNoLinkRefusesEmptyAndNeverTouchesSettings) {
    VaultEnterPasswordDialog dialog;
    UiThread thread([&] { return dialog.ShowModal(nullptr); });
    HWND window = WaitForDialog(thread.GetScope(), kCaption);
    ASSERT_NE(window, nullptr);
    Shoot(window, L"vault-enter-password");
    EXPECT_FALSE(ControlExists(window, IDC_FORGOT_LINK));
    EXPECT_EQ(ControlText(window, IDC_ENTER_PROMPT), L"Please enter your password to continue.");
    ExpectIcons(window);

    ASSERT_TRUE(ClickButton(window, IDOK));
    ExpectMessage(thread.GetScope(), kNoPasswordText, kNoPasswordCaption);
    EXPECT_TRUE(WaitUntil([&] { return FocusedControlId(window) == IDC_ENTER_PASSWORD; }));

    // Without any settings file, Ok takes the entry at once.
    ASSERT_TRUE(TypeText(window, IDC_ENTER_PASSWORD, L"vault pass"));
    ASSERT_TRUE(ClickButton(window, IDOK));
    ASSERT_TRUE(thread.WaitDone());
    EXPECT_EQ(thread.Result(), IDOK);
    EXPECT_EQ(dialog.Password(), "vault pass");
    EXPECT_EQ(::GetFileAttributesW(SettingsPath().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(DialogUiTest, PromptTakesAtMost1023Characters) {
    VaultEnterPasswordDialog dialog;
    UiThread thread([&] { return dialog.ShowModal(nullptr); });
    HWND window = WaitForDialog(thread.GetScope(), kCaption);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(TypeText(window, IDC_ENTER_PASSWORD, std::wstring(1030, L'k')));
    ASSERT_TRUE(ClickButton(window, IDOK));
    ASSERT_TRUE(thread.WaitDone());
    EXPECT_EQ(dialog.Password(), std::string(1023, 'k'));
}

}  // namespace
}  // namespace dialogtest
