// Change Password: the checks of a new password in their order, with the
// focus after each message, storing it, and a failed write.
#include <memory>

#include "ChangePasswordDialog.h"
#include "DialogIds.h"
#include "DialogTestSupport.h"
#include "engine/Secrets.h"
#include "settings/PasswordStore.h"
#include "settings/Settings.h"

using namespace uitest;

namespace dialogtest {
namespace {

class ChangePasswordTest : public DialogUiTest {
protected:
    void SetUp() override {
        DialogUiTest::SetUp();
        StorePassword("first");
        thread_ = std::make_unique<UiThread>([this] { return dialog_.ShowModal(nullptr); });
        window_ = WaitForDialog(thread_->GetScope(), L"Change Password");
        ASSERT_NE(window_, nullptr) << "the change-password dialog did not show";
    }
    void TearDown() override {
        thread_.reset();
        DialogUiTest::TearDown();
    }
    Scope scope() const { return thread_->GetScope(); }
    void Fill(const std::wstring& password, const std::wstring& confirmation) {
        ASSERT_TRUE(SetControlText(window_, IDC_CHANGE_NEW, password));
        ASSERT_TRUE(SetControlText(window_, IDC_CHANGE_CONFIRM, confirmation));
    }
    void ExpectFocus(int controlId) {
        EXPECT_TRUE(WaitUntil([&] { return FocusedControlId(window_) == controlId; }))
            << "focus on " << FocusedControlId(window_) << ", expected " << controlId;
    }
    void ExpectStillOpenWithOldPassword() {
        EXPECT_FALSE(thread_->Done());
        EXPECT_TRUE(CheckPassword("first"));
    }

    ChangePasswordDialog dialog_;
    std::unique_ptr<UiThread> thread_;
    HWND window_ = nullptr;
};

TEST_F(ChangePasswordTest, ShowsItsTextsFieldsButtonsAndIcons) {
    Shoot(window_, L"change-password");
    ExpectIcons(window_);
    HWND child = ::GetWindow(window_, GW_CHILD);
    std::vector<std::wstring> texts;
    for (; child; child = ::GetWindow(child, GW_HWNDNEXT)) texts.push_back(WindowText(child));
    ASSERT_GE(texts.size(), 7u);
    EXPECT_EQ(texts[0], L"Enter and confirm your new password below, then click OK.");
    EXPECT_EQ(texts[1], L"New Password:");
    EXPECT_EQ(texts[3], L"Confirm Password:");
    EXPECT_EQ(ControlText(window_, IDOK), L"OK");
    EXPECT_EQ(ControlText(window_, IDCANCEL), L"Cancel");
    EXPECT_TRUE(::GetWindowLongPtrW(::GetDlgItem(window_, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON);
    EXPECT_TRUE(::GetWindowLongPtrW(::GetDlgItem(window_, IDC_CHANGE_NEW), GWL_STYLE) & ES_PASSWORD);
    EXPECT_TRUE(::GetWindowLongPtrW(::GetDlgItem(window_, IDC_CHANGE_CONFIRM), GWL_STYLE) & ES_PASSWORD);
}

TEST_F(ChangePasswordTest, EmptyNewPasswordIsRefusedWithTheFocusOnIt) {
    Fill(L"", L"second");
    FocusControl(window_, IDC_CHANGE_CONFIRM);
    ASSERT_TRUE(ClickButton(window_, IDOK));
    ExpectMessage(scope(), kNoPasswordText, kNoPasswordCaption);
    ExpectFocus(IDC_CHANGE_NEW);
    ExpectStillOpenWithOldPassword();
}

TEST_F(ChangePasswordTest, EmptyConfirmationIsRefusedWithTheFocusOnTheNewPassword) {
    Fill(L"second", L"");
    FocusControl(window_, IDC_CHANGE_CONFIRM);
    ASSERT_TRUE(ClickButton(window_, IDOK));
    ExpectMessage(scope(), kNoPasswordText, kNoPasswordCaption);
    ExpectFocus(IDC_CHANGE_NEW);
    ExpectStillOpenWithOldPassword();
}

TEST_F(ChangePasswordTest, PasswordsDifferingOnlyInLetterCaseAreRefusedWithTheFocusOnTheConfirmation) {
    Fill(L"Second", L"second");
    FocusControl(window_, IDC_CHANGE_NEW);
    ASSERT_TRUE(ClickButton(window_, IDOK));
    ExpectMessage(scope(), kDifferentText, kDifferentCaption, MessageIcon::Information, L"message-passwords-different");
    ExpectFocus(IDC_CHANGE_CONFIRM);
    ExpectStillOpenWithOldPassword();
}

TEST_F(ChangePasswordTest, MatchingPasswordsAreStoredWithoutAskingForTheOldOne) {
    ASSERT_TRUE(TypeText(window_, IDC_CHANGE_NEW, L"s"));
    ASSERT_TRUE(TypeText(window_, IDC_CHANGE_CONFIRM, L"s"));
    ASSERT_TRUE(ClickButton(window_, IDOK));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDOK);
    EXPECT_TRUE(CheckPassword("s"));
    EXPECT_FALSE(CheckPassword("first"));
}

TEST_F(ChangePasswordTest, CancelStoresNothing) {
    Fill(L"second", L"second");
    ASSERT_TRUE(ClickButton(window_, IDCANCEL));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDCANCEL);
    EXPECT_TRUE(CheckPassword("first"));
}

TEST_F(ChangePasswordTest, AFailedWriteIsToldAndTheDialogStaysOpen) {
    Fill(L"second", L"second");
    {
        SettingsFileBusy busy;
        ASSERT_TRUE(busy.Held());
        ASSERT_TRUE(ClickButton(window_, IDOK));
        std::wstring text = ExpectMessageStartingWith(scope(), L"Your password could not be saved, so it has not "
                                                               L"been changed.", kCorvastine, MessageIcon::Warning,
                                                      L"message-settings-write-failed");
        EXPECT_NE(text.find(L"config.xml"), std::wstring::npos) << "the message does not name the file";
        EXPECT_NE(text.find(L"in use by another program"), std::wstring::npos) << "the message names no cause";
        ExpectFocus(IDC_CHANGE_NEW);
        EXPECT_FALSE(thread_->Done());
    }
    EXPECT_TRUE(CheckPassword("first"));
    // Once the file is free again, the same Ok stores the password.
    ASSERT_TRUE(ClickButton(window_, IDOK));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDOK);
    EXPECT_TRUE(CheckPassword("second"));
}

TEST_F(ChangePasswordTest, ADamagedSettingsFileIsNamedAsTheCause) {
    HANDLE file = ::CreateFileW(SettingsPath().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(file, "not a settings file", 19, &written, nullptr);
    ::CloseHandle(file);

    Fill(L"second", L"second");
    ASSERT_TRUE(ClickButton(window_, IDOK));
    std::wstring text = ExpectMessageStartingWith(scope(), L"Your password could not be saved", kCorvastine,
                                                  MessageIcon::Warning);
    EXPECT_NE(text.find(L"damaged"), std::wstring::npos) << std::string(text.begin(), text.end());
    EXPECT_FALSE(thread_->Done());
}

}  // namespace
}  // namespace dialogtest
