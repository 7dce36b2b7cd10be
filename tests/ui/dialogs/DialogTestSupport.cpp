#include "DialogTestSupport.h"

#include <vector>

#include "DialogIds.h"
#include "engine/Secrets.h"
#include "settings/PasswordStore.h"
#include "settings/Settings.h"

namespace dialogtest {

const wchar_t kNoPasswordText[] = L"Please enter a password.";
const wchar_t kNoPasswordCaption[] = L"No password";
const wchar_t kDifferentText[] =
    L"You entered two different passwords. Please make sure that you enter the same password twice in exactly the "
    L"same way.";
const wchar_t kDifferentCaption[] = L"Passwords different";
const wchar_t kCorvastine[] = L"Corvastine";

void DialogUiTest::SetUp() {
    // A fixed drive: the settings file is scrambled, and no device queries.
    corva::SetModuleOnUsbForTesting(0);
    corva::SetSettingsFolderForTesting(std::wstring());
    RemoveSettingsFiles();
}

void DialogUiTest::TearDown() { RemoveSettingsFiles(); }

std::wstring DialogUiTest::SettingsPath() { return ModuleFilePath(L"config.xml"); }

void DialogUiTest::RemoveSettingsFiles() {
    std::wstring path = SettingsPath();
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileW(path.c_str());
    std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW((path + L".*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring aside = folder + found.cFileName;
        ::SetFileAttributesW(aside.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(aside.c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

void DialogUiTest::StorePassword(const std::string& password) {
    EnsureSettingsFile();
    ASSERT_TRUE(SetPassword(password));
}

void DialogUiTest::StoreQuestions(const std::string& q1, const std::string& q2, const std::string& q3,
                                  const std::string& a1, const std::string& a2, const std::string& a3) {
    EnsureSettingsFile();
    ASSERT_TRUE(SetAnswers(a1, a2, a3));
    ASSERT_TRUE(SetSetting("question1", q1));
    ASSERT_TRUE(SetSetting("question2", q2));
    ASSERT_TRUE(SetSetting("question3", q3));
}

namespace {
int DialogUiTestDpi() {
    HDC screen = ::GetDC(nullptr);
    int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}
}  // namespace

int DialogUiTest::Dpi() { return DialogUiTestDpi(); }

void DialogUiTest::Shoot(HWND window, const std::wstring& base) {
    ASSERT_TRUE(::IsWindow(window)) << "no window for the screenshot " << std::string(base.begin(), base.end());
    std::wstring name = base + L"-" + std::to_wstring(Dpi()) + L"dpi";
    std::wstring saved = uitest::SaveScreenshot(window, name);
    EXPECT_FALSE(saved.empty()) << "screenshot not saved: " << std::string(name.begin(), name.end());
    for (const std::wstring& problem : uitest::LayoutProblems(window)) {
        ADD_FAILURE() << "layout of " << std::string(base.begin(), base.end()) << " at " << Dpi()
                      << " dpi: " << std::string(problem.begin(), problem.end());
    }
}

namespace {
std::string Narrow(const std::wstring& w) {
    std::string out;
    for (wchar_t c : w) out += (c < 128) ? static_cast<char>(c) : '?';
    return out;
}
}  // namespace

namespace {
// A message box is the system's own: pictured, but its layout not judged.
void ShootMessage(HWND box, const std::wstring& base) {
    std::wstring name = base + L"-" + std::to_wstring(DialogUiTestDpi()) + L"dpi";
    EXPECT_FALSE(uitest::SaveScreenshot(box, name).empty());
}
}  // namespace

void DialogUiTest::ExpectMessage(uitest::Scope scope, const std::wstring& text, const std::wstring& caption,
                                 uitest::MessageIcon icon, const std::wstring& shot) {
    auto box = uitest::WaitForMessageBox(scope);
    ASSERT_TRUE(box.has_value()) << "no message box \"" << Narrow(text) << "\"";
    if (!shot.empty()) ShootMessage(box->window, shot);
    EXPECT_EQ(Narrow(box->text), Narrow(text));
    EXPECT_TRUE(box->text == text);
    EXPECT_EQ(Narrow(box->caption), Narrow(caption));
    EXPECT_STREQ(uitest::ToString(box->icon), uitest::ToString(icon));
    EXPECT_EQ(box->buttons.size(), 1u);
    EXPECT_TRUE(uitest::AnswerMessageBox(*box, IDOK));
}

std::wstring DialogUiTest::ExpectMessageStartingWith(uitest::Scope scope, const std::wstring& prefix,
                                                     const std::wstring& caption, uitest::MessageIcon icon,
                                                     const std::wstring& shot) {
    auto box = uitest::WaitForMessageBox(scope);
    if (!box) {
        ADD_FAILURE() << "no message box starting \"" << Narrow(prefix) << "\"";
        return std::wstring();
    }
    if (!shot.empty()) ShootMessage(box->window, shot);
    EXPECT_EQ(Narrow(box->text.substr(0, prefix.size())), Narrow(prefix));
    EXPECT_EQ(Narrow(box->caption), Narrow(caption));
    EXPECT_STREQ(uitest::ToString(box->icon), uitest::ToString(icon));
    std::wstring text = box->text;
    EXPECT_TRUE(uitest::AnswerMessageBox(*box, IDOK));
    return text;
}

void DialogUiTest::ExpectNoMessage(uitest::Scope scope) {
    bool appeared = uitest::WaitUntil([&] { return uitest::FindMessageBox(scope).has_value(); }, uitest::Millis(700));
    if (appeared) {
        auto box = uitest::FindMessageBox(scope);
        ADD_FAILURE() << "unexpected message box: " << (box ? Narrow(box->text) : std::string());
        if (box) uitest::AnswerMessageBox(*box, IDOK);
    }
}

HWND DialogUiTest::WaitForDialog(uitest::Scope scope, const std::wstring& caption) {
    return uitest::WaitForWindow(uitest::WindowQuery::Dialog(scope, caption));
}

HWND DialogUiTest::WaitForPage(HWND sheet, const std::wstring& text) {
    HWND page = nullptr;
    bool shown = uitest::WaitUntil([&] {
        page = uitest::CurrentPage(sheet);
        if (!page) return false;
        for (HWND child = ::GetWindow(page, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
            if (uitest::WindowText(child) == text) return true;
        }
        return false;
    });
    return shown ? page : nullptr;
}

void DialogUiTest::ExpectIcons(HWND window) {
    DWORD_PTR big = 0, small = 0;
    ::SendMessageTimeoutW(window, WM_GETICON, ICON_BIG, 0, SMTO_ABORTIFHUNG, 3000, &big);
    ::SendMessageTimeoutW(window, WM_GETICON, ICON_SMALL, 0, SMTO_ABORTIFHUNG, 3000, &small);
    EXPECT_NE(big, 0u) << "no large icon";
    EXPECT_NE(small, 0u) << "no small icon";
}

SettingsFileBusy::SettingsFileBusy() {
    std::wstring path = ModuleFilePath(L"config.xml");
    handle_ = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
}

SettingsFileBusy::~SettingsFileBusy() { Release(); }

void SettingsFileBusy::Release() {
    if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
}

void WizardUiTest::TearDown() {
    thread_.reset();
    DialogUiTest::TearDown();
}

void WizardUiTest::OpenWizard(std::function<INT_PTR()> body, const std::wstring& caption,
                              const std::wstring& firstPageText) {
    caption_ = caption;
    thread_ = std::make_unique<uitest::UiThread>(std::move(body));
    sheet_ = WaitForDialog(scope(), caption);
    ASSERT_NE(sheet_, nullptr) << "the wizard did not show";
    page_ = WaitForPage(sheet_, firstPageText);
    ASSERT_NE(page_, nullptr) << "the wizard did not start on its first page";
}

void WizardUiTest::NextTo(const std::wstring& text) {
    ASSERT_TRUE(uitest::PressWizardButton(sheet_, uitest::WizardButton::Next));
    page_ = WaitForPage(sheet_, text);
    ASSERT_NE(page_, nullptr) << "Next did not lead to the expected page";
}

void WizardUiTest::BackTo(const std::wstring& text) {
    ASSERT_TRUE(uitest::PressWizardButton(sheet_, uitest::WizardButton::Back));
    page_ = WaitForPage(sheet_, text);
    ASSERT_NE(page_, nullptr) << "Back did not lead to the expected page";
}

void WizardUiTest::FillAnswers(const std::wstring& a1, const std::wstring& a2, const std::wstring& a3) {
    ASSERT_TRUE(uitest::SetControlText(page_, IDC_ANSWER1, a1));
    ASSERT_TRUE(uitest::SetControlText(page_, IDC_ANSWER2, a2));
    ASSERT_TRUE(uitest::SetControlText(page_, IDC_ANSWER3, a3));
}

void WizardUiTest::ExpectButtons(bool back, bool next, bool finish) {
    const uitest::WizardButtonStates s = uitest::WizardButtons(sheet_);
    EXPECT_EQ(s.back, back);
    EXPECT_EQ(s.next, next);
    EXPECT_EQ(s.finish, finish);
    EXPECT_TRUE(s.cancel);
    EXPECT_EQ(uitest::WindowText(sheet_), caption_);
}

void WizardUiTest::ExpectFocus(int controlId) {
    EXPECT_TRUE(uitest::WaitUntil([&] { return uitest::FocusedControlId(page_) == controlId; }))
        << "focus on " << uitest::FocusedControlId(page_) << ", expected " << controlId;
}

void WizardUiTest::ExpectRefusal(const std::wstring& text, const std::wstring& caption, int focusId) {
    HWND before = page_;
    ASSERT_TRUE(uitest::PressWizardButton(sheet_, uitest::WizardButton::Next));
    ExpectMessage(scope(), text, caption);
    EXPECT_EQ(uitest::CurrentPage(sheet_), before) << "the page was left";
    ExpectFocus(focusId);
}

}  // namespace dialogtest
