// The harness driving a dialog of another process: found by process id,
// typed into, its message box read and answered, its focus checked.
#include "DialogIds.h"
#include "DialogTestSupport.h"

using namespace uitest;

namespace dialogtest {
namespace {

TEST(OtherProcessTest, DrivesThePromptOfAnotherProgram) {
    ChildProcess host;
    ASSERT_TRUE(host.Start(BesideProgram(L"ui_dialog_host.exe"), L"vault-prompt \"open sesame\""));
    HWND window = WaitForWindow(WindowQuery::Dialog(host.GetScope(), L"Enter password"));
    ASSERT_NE(window, nullptr) << "the other program's dialog did not show";
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    EXPECT_FALSE(SaveScreenshot(window, L"other-process-prompt-" + std::to_wstring(dpi) + L"dpi").empty());
    EXPECT_EQ(ControlText(window, IDC_ENTER_PROMPT), L"Please enter your password to continue.");

    ASSERT_TRUE(ClickButton(window, IDOK));
    auto box = WaitForMessageBox(host.GetScope());
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, L"Please enter a password.");
    EXPECT_EQ(box->caption, L"No password");
    EXPECT_EQ(box->owner, window);
    EXPECT_NE(box->icon, MessageIcon::None);
    ASSERT_TRUE(AnswerMessageBox(*box));
    EXPECT_TRUE(WaitUntil([&] { return FocusedControlId(window) == IDC_ENTER_PASSWORD; }));

    ASSERT_TRUE(TypeText(window, IDC_ENTER_PASSWORD, L"open sesame"));
    ASSERT_TRUE(ClickButton(window, IDOK));
    auto code = host.WaitExit();
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, 11u) << "the other program did not get the typed password";
}

TEST(OtherProcessTest, CancelEndsTheOtherProgramsDialog) {
    ChildProcess host;
    ASSERT_TRUE(host.Start(BesideProgram(L"ui_dialog_host.exe"), L"vault-prompt x"));
    HWND window = WaitForWindow(WindowQuery::Dialog(host.GetScope(), L"Enter password"));
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(ClickButton(window, IDCANCEL));
    auto code = host.WaitExit();
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, static_cast<DWORD>(IDCANCEL));
}

}  // namespace
}  // namespace dialogtest
