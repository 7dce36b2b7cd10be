// Shared set-up of the dialog tests: a clean settings file beside the test
// program for every test, direct access to what the dialogs store, and
// checks that every test applies to the windows it meets (screenshot, no
// clipped text, no overlapping controls, expected message boxes).
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "UiHarness.h"

namespace dialogtest {

// Texts the dialogs must show, exactly.
extern const wchar_t kNoPasswordText[];       // "Please enter a password."
extern const wchar_t kNoPasswordCaption[];    // "No password"
extern const wchar_t kDifferentText[];        // the mismatch message
extern const wchar_t kDifferentCaption[];     // "Passwords different"
extern const wchar_t kCorvastine[];           // "Corvastine"

class DialogUiTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // config.xml beside the program (where the dialogs look for it).
    static std::wstring SettingsPath();
    // Removes config.xml and any copies set aside beside it.
    static void RemoveSettingsFiles();
    static void StorePassword(const std::string& password);
    static void StoreQuestions(const std::string& q1, const std::string& q2, const std::string& q3,
                               const std::string& a1, const std::string& a2, const std::string& a3);

    // Resolution of the display, in dots per inch.
    static int Dpi();
    // Saves a screenshot named base-<dpi>dpi and checks the window's layout.
    static void Shoot(HWND window, const std::wstring& base);

    // Waits for a message box in scope with exactly this text, caption and
    // icon, presses OK and waits until it is gone. With a shot name, saves
    // a screenshot of the box first.
    static void ExpectMessage(uitest::Scope scope, const std::wstring& text, const std::wstring& caption,
                              uitest::MessageIcon icon = uitest::MessageIcon::Information,
                              const std::wstring& shot = std::wstring());
    // The same for a message whose text starts with prefix; returns the text.
    static std::wstring ExpectMessageStartingWith(uitest::Scope scope, const std::wstring& prefix,
                                                  const std::wstring& caption, uitest::MessageIcon icon,
                                                  const std::wstring& shot = std::wstring());
    // No message box shows up in scope within a short while.
    static void ExpectNoMessage(uitest::Scope scope);

    // Waits for a top-level dialog of the scope by caption.
    static HWND WaitForDialog(uitest::Scope scope, const std::wstring& caption);
    // Waits until the sheet's current page holds a control showing exactly
    // this text, and returns the page (null on time-out).
    static HWND WaitForPage(HWND sheet, const std::wstring& text);

    // The window's large and small icons are set.
    static void ExpectIcons(HWND window);
};

// A wizard shown on a thread of its own: its sheet, its current page, and
// the moves and checks the wizard tests make on them.
class WizardUiTest : public DialogUiTest {
protected:
    void TearDown() override;
    uitest::Scope scope() const { return thread_->GetScope(); }

    // Shows the wizard body runs, waits for its sheet by caption and for the
    // first page, the one holding firstPageText.
    void OpenWizard(std::function<INT_PTR()> body, const std::wstring& caption, const std::wstring& firstPageText);
    // Next (or Back), and wait for the page holding text.
    void NextTo(const std::wstring& text);
    void BackTo(const std::wstring& text);
    // Types the three answers of a questions or answers page.
    void FillAnswers(const std::wstring& a1, const std::wstring& a2, const std::wstring& a3);
    // Back, Next and Finish enabled as given, Cancel enabled, and the sheet
    // keeps its caption.
    void ExpectButtons(bool back, bool next, bool finish);
    void ExpectFocus(int controlId);
    // Presses Next on the current page, which must refuse with this message
    // (caption and icon) and keep the page, with the focus on focusId.
    void ExpectRefusal(const std::wstring& text, const std::wstring& caption, int focusId);

    std::unique_ptr<uitest::UiThread> thread_;
    HWND sheet_ = nullptr;
    HWND page_ = nullptr;

private:
    std::wstring caption_;
};

// Holds config.xml open without sharing, as another program writing it
// would, while the object lives.
class SettingsFileBusy {
public:
    SettingsFileBusy();
    ~SettingsFileBusy();
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release();

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace dialogtest
