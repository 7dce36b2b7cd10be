// Wizard-style property sheets (no Apply button, no context help) built
// from pages that are dialog resources. A page decides which buttons it
// shows, whether Next or Finish may leave it, and handles its own controls.
#pragma once

#include <windows.h>
#include <prsht.h>

#include <initializer_list>

namespace corva::ui {

class WizardPage {
public:
    explicit WizardPage(int templateId) : templateId_(templateId) {}
    virtual ~WizardPage() = default;
    WizardPage(const WizardPage&) = delete;
    WizardPage& operator=(const WizardPage&) = delete;

    // The page's description for the property sheet; every page shows the
    // wizard's title, also one whose template has no caption.
    PROPSHEETPAGEW Describe(const wchar_t* title);

protected:
    HWND Handle() const { return hwnd_; }
    HWND Sheet() const { return ::GetParent(hwnd_); }

    // PSWIZB_* flags shown each time the page becomes active.
    virtual DWORD WizardButtons() const = 0;
    // WM_INITDIALOG of the page.
    virtual void OnInit() {}
    // The page became active (after its buttons were set).
    virtual void OnActivate() {}
    // Next: true moves on, false keeps the page.
    virtual bool OnNext() { return true; }
    // Finish: true closes the wizard, false keeps it open.
    virtual bool OnFinish() { return true; }
    virtual bool OnCommand(int /*id*/, int /*code*/, HWND /*control*/) { return false; }
    // WM_DESTROY of the page.
    virtual void OnDestroy() {}

private:
    // Posted to the page when it becomes active.
    static constexpr UINT kSettleFocusMessage = WM_APP + 0x31;
    // Leaves the keyboard focus inside the sheet: on the default button when
    // it is nowhere (a page of text alone), so that Enter and Escape work.
    void SettleFocus();
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Notify(const NMHDR* header);

    int templateId_;
    HWND hwnd_ = nullptr;
};

// Runs the pages as a modal wizard owned by owner, starting on the first.
// True when it was closed with Finish.
bool RunWizard(HWND owner, const wchar_t* caption, std::initializer_list<WizardPage*> pages);

}  // namespace corva::ui
