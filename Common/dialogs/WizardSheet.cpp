#include "WizardSheet.h"

#include <commctrl.h>

#include <vector>

#include "DialogRouting.h"
#include "DialogSupport.h"

namespace corva::ui {

PROPSHEETPAGEW WizardPage::Describe(const wchar_t* title) {
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USETITLE;
    page.pszTitle = title;
    page.hInstance = ResourceModule();
    page.pszTemplate = MAKEINTRESOURCEW(templateId_);
    page.pfnDlgProc = &WizardPage::Procedure;
    page.lParam = reinterpret_cast<LPARAM>(this);
    return page;
}

INT_PTR CALLBACK WizardPage::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WizardPage* created = nullptr;
    if (message == WM_INITDIALOG)
        created = reinterpret_cast<WizardPage*>(reinterpret_cast<const PROPSHEETPAGEW*>(lParam)->lParam);
    return RouteToOwner(hwnd, message, wParam, lParam, created, &WizardPage::hwnd_, &WizardPage::Dispatch);
}

INT_PTR WizardPage::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit();
        return TRUE;
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_NOTIFY:
        return Notify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    case kSettleFocusMessage:
        SettleFocus();
        return TRUE;
    default:
        return FALSE;
    }
}

void WizardPage::SettleFocus() {
    // A page of text alone leaves the keyboard focus nowhere, and then Enter
    // and Escape reach no dialog: the focus goes to the default button.
    HWND sheet = Sheet();
    HWND focus = ::GetFocus();
    if (focus && (focus == sheet || ::IsChild(sheet, focus))) return;
    LRESULT defId = ::SendMessageW(sheet, DM_GETDEFID, 0, 0);
    HWND button = HIWORD(defId) == DC_HASDEFID ? ::GetDlgItem(sheet, LOWORD(defId)) : nullptr;
    if (!button || !::IsWindowVisible(button) || !::IsWindowEnabled(button)) button = ::GetDlgItem(sheet, IDCANCEL);
    if (button) ::SendMessageW(sheet, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
}

INT_PTR WizardPage::Notify(const NMHDR* header) {
    LONG_PTR answer = 0;
    switch (header->code) {
    case PSN_SETACTIVE:
        PropSheet_SetWizButtons(Sheet(), WizardButtons());
        OnActivate();
        // Once the sheet has shown the page and placed the focus.
        ::PostMessageW(hwnd_, kSettleFocusMessage, 0, 0);
        answer = 0;
        break;
    case PSN_WIZNEXT:
        answer = OnNext() ? 0 : -1;
        break;
    case PSN_WIZFINISH:
        answer = OnFinish() ? FALSE : TRUE;
        break;
    default:
        return FALSE;
    }
    ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, answer);
    return TRUE;
}

bool RunWizard(HWND owner, const wchar_t* caption, std::initializer_list<WizardPage*> pages) {
    EnsureCommonControls();
    std::vector<PROPSHEETPAGEW> described;
    for (WizardPage* page : pages) described.push_back(page->Describe(caption));

    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_WIZARD | PSH_NOAPPLYNOW | PSH_NOCONTEXTHELP | PSH_PROPSHEETPAGE;
    header.hwndParent = owner;
    header.hInstance = ResourceModule();
    header.pszCaption = caption;
    header.nPages = static_cast<UINT>(described.size());
    header.nStartPage = 0;
    header.ppsp = described.data();
    return ::PropertySheetW(&header) > 0;
}

}  // namespace corva::ui
