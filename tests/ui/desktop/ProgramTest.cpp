// Corvadesk.exe itself, started as a user would start it, in the private
// prefix run-desktop-ui-test.sh prepares (the program in C:\corva-app):
// single instance, the password gate, the window's place, the caption
// buttons, the minimum size while dragging each edge, and the help pages.
// Keys, clicks and drags are real input.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "DialogIds.h"
#include "FrameRules.h"
#include "PasswordGate.h"
#include "UiHarness.h"
#include "settings/PasswordStore.h"
#include "settings/Settings.h"

namespace {

using namespace uitest;

const std::wstring kAppDir = L"C:\\corva-app\\";
const std::wstring kProgram = kAppDir + L"Corvadesk.exe";
const std::wstring kBrowserLog = L"C:\\corva-test\\browser.txt";
constexpr wchar_t kFrameClass[] = L"CorvastineMainFrame";

int Dpi() {
    HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
    return dpi;
}

std::string ReadFile(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        corva::SetSettingsFolderForTesting(kAppDir);
        ::DeleteFileW((kAppDir + L"config.xml").c_str());
        ::DeleteFileW(kBrowserLog.c_str());
    }
    void TearDown() override { corva::SetSettingsFolderForTesting(L""); }

    static void StorePassword(const std::string& password) {
        ASSERT_TRUE(EnsureSettingsFile());
        ASSERT_TRUE(SetPassword(password));
    }
    static HWND WaitForPrompt(Scope scope) { return WaitForWindow(WindowQuery::Dialog(scope, L"Enter password")); }
    static HWND WaitForFrame(Scope scope) {
        WindowQuery q;
        q.scope = scope;
        q.className = kFrameClass;
        return WaitForWindow(q);
    }
    static HWND FindFrame(Scope scope) {
        WindowQuery q;
        q.scope = scope;
        q.className = kFrameClass;
        q.visibleOnly = false;
        return FindWindowOnce(q);
    }
    // Types a password into the prompt and presses Enter.
    static void Answer(HWND prompt, const std::wstring& password) {
        ASSERT_TRUE(SetControlText(prompt, IDC_ENTER_PASSWORD, password));
        ASSERT_TRUE(BringToForeground(prompt));
        ASSERT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return !::IsWindowVisible(prompt); }));
    }
    // Starts the program with a stored password and logs in.
    HWND StartLoggedIn(ChildProcess& program) {
        StorePassword("right");
        EXPECT_TRUE(program.Start(kProgram, L""));
        HWND prompt = WaitForPrompt(program.GetScope());
        EXPECT_NE(prompt, nullptr);
        if (!prompt) return nullptr;
        Answer(prompt, L"right");
        HWND frame = WaitForFrame(program.GetScope());
        EXPECT_NE(frame, nullptr);
        // The window is shown first, then given its place.
        EXPECT_TRUE(WaitUntil([&] { return WindowRect(frame).right - WindowRect(frame).left != 640; }));
        if (frame) {
            EXPECT_TRUE(BringToForeground(frame));
        }
        return frame;
    }
    static RECT WindowRect(HWND w) {
        RECT r{};
        ::GetWindowRect(w, &r);
        return r;
    }
    // Presses a key that ends the program, then checks that it ended.
    static void PressToEnd(ChildProcess& program, WORD key) {
        PressKeysUntil({key}, [&] { return program.WaitExit(Millis(0)).has_value(); });
        ExpectEnded(program);
    }
    static void ExpectEnded(ChildProcess& program) {
        const auto code = program.WaitExit();
        if (!code) SaveScreenshot(::GetDesktopWindow(), L"program-did-not-end");
        ASSERT_TRUE(code.has_value()) << "the program did not end";
        EXPECT_EQ(*code, 1u) << "exit status: the number of window threads started";
    }
    // Opens a menu of the bar and chooses an item, by their letters.
    static void Choose(HWND frame, Scope scope, WORD menuLetter, WORD itemLetter) {
        HWND menu = OpenMenuByKeys(frame, scope, menuLetter);
        ASSERT_NE(menu, nullptr) << "the menu did not open";
        EXPECT_TRUE(ChooseMenuLetter(menu, itemLetter));
    }
    static std::wstring Shot(const std::wstring& base) { return base + L"-" + std::to_wstring(Dpi()) + L"dpi"; }
};

TEST_F(ProgramTest, ASecondCopyShowsTheSingleInstanceMessageBeforeAnyPrompt) {
    StorePassword("right");
    ChildProcess first;
    ASSERT_TRUE(first.Start(kProgram, L""));
    HWND prompt = WaitForPrompt(first.GetScope());
    ASSERT_NE(prompt, nullptr);

    ChildProcess second;
    ASSERT_TRUE(second.Start(kProgram, L""));
    auto box = WaitForMessageBox(second.GetScope());
    ASSERT_TRUE(box.has_value()) << "the second copy showed no message";
    EXPECT_EQ(box->text, L"Another instance of Corvastine is running now, please close it first.");
    EXPECT_EQ(box->caption, L"Corvastine");
    EXPECT_EQ(FindWindowOnce(WindowQuery::Dialog(second.GetScope(), L"Enter password")), nullptr);
    ASSERT_TRUE(BringToForeground(box->window));
    PressToEnd(second, VK_RETURN);

    // Escape on the first copy's prompt ends it without a window.
    ASSERT_TRUE(BringToForeground(prompt));
    PressToEnd(first, VK_ESCAPE);
}

TEST_F(ProgramTest, FirstStartRunsTheWizardThenThePromptAndCancelKeepsTheNewPassword) {
    ChildProcess program;
    ASSERT_TRUE(program.Start(kProgram, L""));
    HWND sheet = WaitForWindow(WindowQuery::Dialog(program.GetScope(), L"Password Setup"));
    ASSERT_NE(sheet, nullptr) << "no setup wizard on the first start";
    EXPECT_EQ(FindWindowOnce(WindowQuery::Dialog(program.GetScope(), L"Enter password")), nullptr);
    HWND page = CurrentPage(sheet);
    ASSERT_TRUE(PressWizardButton(sheet, WizardButton::Next));
    page = WaitForPageChange(sheet, page);
    ASSERT_TRUE(SetControlText(page, IDC_ANSWER1, L"one"));
    ASSERT_TRUE(SetControlText(page, IDC_ANSWER2, L"two"));
    ASSERT_TRUE(SetControlText(page, IDC_ANSWER3, L"three"));
    ASSERT_TRUE(PressWizardButton(sheet, WizardButton::Next));
    HWND passwordPage = WaitForPageChange(sheet, page);
    ASSERT_NE(passwordPage, page);
    ASSERT_TRUE(SetControlText(passwordPage, IDC_PAGE_PASSWORD, L"chosen at setup"));
    ASSERT_TRUE(SetControlText(passwordPage, IDC_PAGE_CONFIRM, L"chosen at setup"));
    ASSERT_TRUE(PressWizardButton(sheet, WizardButton::Next));
    ASSERT_NE(WaitForPageChange(sheet, passwordPage), passwordPage) << "the password page was kept";
    EXPECT_TRUE(CheckPassword("chosen at setup")) << "the password page stored nothing";
    ASSERT_TRUE(PressWizardButton(sheet, WizardButton::Finish));
    ASSERT_TRUE(WaitForWindowGone(sheet));

    HWND prompt = WaitForPrompt(program.GetScope());
    ASSERT_NE(prompt, nullptr) << "no password prompt after the wizard";
    EXPECT_EQ(ControlText(prompt, IDC_ENTER_PROMPT), corva::desktop::kEnterPrompt);
    ASSERT_TRUE(BringToForeground(prompt));
    PressToEnd(program, VK_ESCAPE);
    EXPECT_EQ(FindFrame(Scope::Anywhere()), nullptr);
    EXPECT_TRUE(CheckPassword("chosen at setup")) << "the wizard's password was not kept";
}

TEST_F(ProgramTest, CancellingTheWizardStillLeadsToThePrompt) {
    ChildProcess program;
    // Arguments change nothing: the program takes none.
    ASSERT_TRUE(program.Start(kProgram, L"/password right --skip-setup"));
    HWND sheet = WaitForWindow(WindowQuery::Dialog(program.GetScope(), L"Password Setup"));
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(PressWizardButton(sheet, WizardButton::Cancel));
    HWND prompt = WaitForPrompt(program.GetScope());
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(BringToForeground(prompt));
    PressToEnd(program, VK_ESCAPE);
}

TEST_F(ProgramTest, WrongPasswordsBringTheIncorrectTextBackUntilTheRightOneOpensTheWindow) {
    StorePassword("right");
    ChildProcess program;
    ASSERT_TRUE(program.Start(kProgram, L""));
    HWND prompt = WaitForPrompt(program.GetScope());
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(ControlText(prompt, IDC_ENTER_PROMPT), corva::desktop::kEnterPrompt);
    for (const wchar_t* wrong : {L"wrong", L"Right", L"right ", L"another"}) {
        Answer(prompt, wrong);
        prompt = WaitForPrompt(program.GetScope());
        ASSERT_NE(prompt, nullptr) << "no prompt after a wrong password";
        EXPECT_EQ(ControlText(prompt, IDC_ENTER_PROMPT), corva::desktop::kIncorrectPrompt);
        EXPECT_EQ(FindFrame(program.GetScope()), nullptr);
    }
    Answer(prompt, L"right");
    HWND frame = WaitForFrame(program.GetScope());
    ASSERT_NE(frame, nullptr);

    // The window's place: min(900, screen) x min(600, screen), centred; the
    // 900 x 600 grow with the screen's dots per inch.
    const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
    RECT expected{};
    if (sw == 800 && sh == 600) expected = RECT{0, 0, 800, 600};
    else if (sw == 1280 && sh == 1024 && Dpi() == 96) expected = RECT{190, 212, 1090, 812};
    else if (sw == 1280 && sh == 1024 && Dpi() == 144) expected = RECT{0, 62, 1280, 962};
    else FAIL() << "no expectation for a " << sw << " x " << sh << " screen";
    EXPECT_TRUE(WaitUntil([&] {
        const RECT now = WindowRect(frame);
        return now.left == expected.left && now.top == expected.top && now.right == expected.right;
    }));
    const RECT r = WindowRect(frame);
    EXPECT_EQ(r.left, expected.left);
    EXPECT_EQ(r.top, expected.top);
    EXPECT_EQ(r.right, expected.right);
    EXPECT_EQ(r.bottom, expected.bottom);
    EXPECT_EQ(WindowText(frame), L"Corvastine");
    SaveScreenshot(frame, Shot(L"desktop-program-" + std::to_wstring(sw) + L"x" + std::to_wstring(sh)));

    // File, Exit.
    Choose(frame, program.GetScope(), 'F', 'X');
    ExpectEnded(program);
    EXPECT_EQ(::GetFileAttributesW((kAppDir + L"corvalog.log").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the program wrote a log file";
}

TEST_F(ProgramTest, CaptionButtonsActOnlyWhenReleasedOverThemselves) {
    ChildProcess program;
    HWND frame = StartLoggedIn(program);
    ASSERT_NE(frame, nullptr);
    const corva::desktop::CaptionMetrics m = corva::desktop::ScaledCaptionMetrics(Dpi());
    auto button = [&](int fromRight) {
        const RECT r = WindowRect(frame);
        return POINT{r.right - fromRight + m.hitBottom, r.top + (m.hitTop + m.hitBottom) / 2 + 1};
    };
    const RECT before = WindowRect(frame);
    const POINT caption{(before.left + before.right) / 2, before.top + (m.hitTop + m.hitBottom) / 2};

    // Press on close, leave it, release on the caption: nothing happens.
    ASSERT_TRUE(MovePointer(button(m.closeFromRight)));
    LeftDown(button(m.closeFromRight));
    ASSERT_TRUE(MovePointer(caption));
    LeftUp(caption);
    EXPECT_FALSE(WaitForWindowGone(frame, Millis(1500))) << "the window closed although released outside";
    EXPECT_FALSE(program.WaitExit(Millis(10)).has_value());

    // Maximise and back.
    ASSERT_TRUE(ClickAt(button(m.maximiseFromRight)));
    ASSERT_TRUE(WaitUntil([&] { return ::IsZoomed(frame) != FALSE; })) << "maximise did nothing";
    // The window takes the whole screen before the button is pressed where
    // it now is.
    ASSERT_TRUE(WaitUntil([&] {
        const RECT r = WindowRect(frame);
        return r.left <= 0 && r.top <= 0 && r.right >= ::GetSystemMetrics(SM_CXSCREEN);
    }));
    ASSERT_TRUE(BringToForeground(frame));
    ASSERT_TRUE(ClickAt(button(m.maximiseFromRight)));
    ASSERT_TRUE(WaitUntil([&] { return !::IsZoomed(frame); })) << "maximise did not restore";
    EXPECT_TRUE(WaitUntil([&] {
        const RECT r = WindowRect(frame);
        return r.left == before.left && r.right == before.right && r.top == before.top;
    }));

    // Minimise.
    ASSERT_TRUE(ClickAt(button(m.minimiseFromRight)));
    ASSERT_TRUE(WaitUntil([&] { return ::IsIconic(frame) != FALSE; })) << "minimise did nothing";
    ::ShowWindow(frame, SW_RESTORE);
    ASSERT_TRUE(WaitUntil([&] { return !::IsIconic(frame); }));
    ASSERT_TRUE(BringToForeground(frame));

    // Close, pressed and released on itself.
    ASSERT_TRUE(ClickAt(button(m.closeFromRight)));
    ExpectEnded(program);
}

TEST_F(ProgramTest, DraggedEdgesStopAtTheMinimumSize) {
    ChildProcess program;
    HWND frame = StartLoggedIn(program);
    ASSERT_NE(frame, nullptr);
    const RECT start = WindowRect(frame);
    const int midX = (start.left + start.right) / 2, midY = (start.top + start.bottom) / 2;
    // Drags that go 100 pixels past the minimum, whatever the start size.
    const int across = start.right - start.left - 640 + 100, down = start.bottom - start.top - 480 + 100;
    const DWORD thread = ::GetWindowThreadProcessId(frame, nullptr);
    // Whether the system's move-or-size loop still runs on the window.
    auto sizing = [&] {
        GUITHREADINFO info{sizeof info};
        return ::GetGUIThreadInfo(thread, &info) && (info.flags & GUI_INMOVESIZE);
    };
    auto restore = [&] {
        EXPECT_TRUE(WaitUntil([&] { return !sizing(); }));
        ::MoveWindow(frame, start.left, start.top, start.right - start.left, start.bottom - start.top, TRUE);
        EXPECT_TRUE(WaitUntil([&] {
            const RECT r = WindowRect(frame);
            return r.left == start.left && r.top == start.top && r.right == start.right && r.bottom == start.bottom;
        }));
        EXPECT_TRUE(BringToForeground(frame));
    };

    // Right edge dragged far to the left: 640 wide, the left edge stays.
    ASSERT_TRUE(DragFromTo(POINT{start.right - 2, midY}, POINT{start.right - 2 - across, midY}));
    EXPECT_TRUE(WaitUntil([&] { return WindowRect(frame).right - WindowRect(frame).left == 640; }));
    EXPECT_EQ(WindowRect(frame).left, start.left);
    restore();

    // Left edge dragged far to the right: stops at 640 wide, the right edge
    // stays. (Wine's sizing loop stops a left or top edge one pixel before
    // the minimum: it clamps the pointer, not the edge, so the window may
    // stay one pixel larger. Never smaller.)
    auto atMinimum = [](int size, int minimum) { return size == minimum || size == minimum + 1; };
    ASSERT_TRUE(DragFromTo(POINT{start.left + 1, midY}, POINT{start.left + 1 + across, midY}));
    EXPECT_TRUE(WaitUntil([&] { return !sizing() && atMinimum(WindowRect(frame).right - WindowRect(frame).left, 640); }))
        << WindowRect(frame).right - WindowRect(frame).left;
    EXPECT_EQ(WindowRect(frame).right, start.right);
    restore();

    // Bottom edge dragged far up: 480 high, the top stays.
    ASSERT_TRUE(DragFromTo(POINT{midX, start.bottom - 2}, POINT{midX, start.bottom - 2 - down}));
    EXPECT_TRUE(WaitUntil([&] { return WindowRect(frame).bottom - WindowRect(frame).top == 480; }));
    EXPECT_EQ(WindowRect(frame).top, start.top);
    restore();

    // Top edge dragged far down: 480 high, the bottom stays.
    ASSERT_TRUE(DragFromTo(POINT{midX - 150, start.top + 1}, POINT{midX - 150, start.top + 1 + down}));
    EXPECT_TRUE(WaitUntil([&] { return !sizing() && atMinimum(WindowRect(frame).bottom - WindowRect(frame).top, 480); }))
        << WindowRect(frame).bottom - WindowRect(frame).top;
    EXPECT_EQ(WindowRect(frame).bottom, start.bottom);
    SaveScreenshot(frame, Shot(L"desktop-program-smallest"));
}

TEST_F(ProgramTest, HelpPagesReachTheBrowserOrSayWhyNot) {
    ChildProcess program;
    HWND frame = StartLoggedIn(program);
    ASSERT_NE(frame, nullptr);

    Choose(frame, program.GetScope(), 'H', 'Q');
    ASSERT_TRUE(WaitUntil([] { return ReadFile(kBrowserLog).find("quickstart.html") != std::string::npos; }))
        << "the browser was not started: " << ReadFile(kBrowserLog);
    EXPECT_NE(ReadFile(kBrowserLog).find("C:\\corva-app\\help\\quickstart.html"), std::string::npos)
        << ReadFile(kBrowserLog);

    // The tips panel's "Learn More" link opens the questions page.
    HWND tips = ::FindWindowExW(frame, nullptr, nullptr, nullptr);
    while (tips && ::GetDlgCtrlID(tips) != 2007) tips = ::FindWindowExW(frame, tips, nullptr, nullptr);
    ASSERT_NE(tips, nullptr);
    HWND learnMore = ::GetDlgItem(tips, 1027);
    ASSERT_NE(learnMore, nullptr);
    ASSERT_TRUE(ClickAt(CentreOf(learnMore)));
    ASSERT_TRUE(WaitUntil([] { return ReadFile(kBrowserLog).find("faq.html") != std::string::npos; }))
        << ReadFile(kBrowserLog);

    // The About box: the version and the day of the build, and a link to
    // the support pages that opens in the browser.
    Choose(frame, program.GetScope(), 'H', 'A');
    HWND about = WaitForWindow(WindowQuery::Dialog(program.GetScope(), L"About Corvastine"));
    ASSERT_NE(about, nullptr);
    const std::wstring version = ControlText(about, 2101);
    const std::wstring expected = L"Version " CORVA_EXPECTED_VERSION L", built 20";
    EXPECT_EQ(version.substr(0, expected.size()), expected) << version;
    EXPECT_EQ(version.size(), expected.size() + 8) << "a date as YYYY-MM-DD: " << version;
    SaveScreenshot(about, Shot(L"desktop-about-program"));
    HWND link = ::GetDlgItem(about, 2102);
    ASSERT_NE(link, nullptr);
    ASSERT_TRUE(BringToForeground(about));
    RECT linkRect{};
    ::GetWindowRect(link, &linkRect);
    ASSERT_TRUE(ClickAt(POINT{linkRect.left + 12, (linkRect.top + linkRect.bottom) / 2}));
    ASSERT_TRUE(WaitUntil([] { return ReadFile(kBrowserLog).find("www.corvastine.com/support") != std::string::npos; }))
        << "the support link opened nothing: " << ReadFile(kBrowserLog);
    ASSERT_TRUE(BringToForeground(about));
    ASSERT_TRUE(PressKeysUntil({VK_ESCAPE}, [&] { return !::IsWindowVisible(about); }));

    // A page that cannot be opened is named in a message.
    const std::wstring page = kAppDir + L"help\\features.html";
    const std::wstring aside = kAppDir + L"help\\features.html.aside";
    ASSERT_TRUE(::MoveFileW(page.c_str(), aside.c_str()));
    Choose(frame, program.GetScope(), 'H', 'P');
    auto box = WaitForMessageBox(program.GetScope());
    ::MoveFileW(aside.c_str(), page.c_str());
    ASSERT_TRUE(box.has_value()) << "a failed page showed nothing";
    EXPECT_EQ(box->text, L"The help page could not be opened:\n" + page);
    EXPECT_EQ(box->caption, L"Corvastine");
    ASSERT_TRUE(BringToForeground(box->window));
    EXPECT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return !::IsWindowVisible(box->window); }));
    EXPECT_EQ(ReadFile(kBrowserLog).find("features.html"), std::string::npos);
}

}  // namespace
