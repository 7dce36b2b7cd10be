// Typing, clicking, lists and wizard buttons.
#include "UiHarness.h"

#include <commctrl.h>
#include <prsht.h>

#include <vector>

namespace uitest {

namespace {

constexpr UINT kSendTimeoutMs = 3000;

LRESULT SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, bool* ok = nullptr) {
    DWORD_PTR result = 0;
    LRESULT sent = ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
    if (ok) *ok = sent != 0;
    return static_cast<LRESULT>(result);
}

bool Usable(HWND control) { return control && ::IsWindowVisible(control) && ::IsWindowEnabled(control); }

// The dialog that tracks the focus for a control: the top-level window
// (the sheet, for a control on a wizard page).
HWND FocusOwnerOf(HWND control) { return ::GetAncestor(control, GA_ROOT); }

}  // namespace

bool FocusControl(HWND dialog, int controlId) {
    HWND control = ::GetDlgItem(dialog, controlId);
    if (!control) return false;
    // Sent, not posted: once it returns, the focus change (and the text
    // selection it makes in an edit field) is done.
    bool sent = false;
    SendWithTimeout(FocusOwnerOf(control), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE, &sent);
    return sent && WaitUntil([&] { return FocusedWindow(control) == control; });
}

bool SetControlText(HWND dialog, int controlId, const std::wstring& text) {
    HWND control = ::GetDlgItem(dialog, controlId);
    if (!control) return false;
    bool ok = false;
    SendWithTimeout(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), &ok);
    return ok;
}

bool TypeText(HWND dialog, int controlId, const std::wstring& text) {
    if (!FocusControl(dialog, controlId)) return false;
    HWND control = ::GetDlgItem(dialog, controlId);
    // Focusing an edit field selects its text, so typing replaces it.
    for (wchar_t ch : text) {
        bool ok = false;
        SendWithTimeout(control, WM_CHAR, static_cast<WPARAM>(ch), 1, &ok);
        if (!ok) return false;
    }
    return true;
}

bool ClickButton(HWND dialog, int controlId) {
    // A page that has just appeared may enable its buttons a moment later.
    HWND button = nullptr;
    WaitUntil(
        [&] {
            button = ::GetDlgItem(dialog, controlId);
            return Usable(button) || !::IsWindow(dialog);
        },
        Millis(10000));
    if (!Usable(button)) return false;
    // A click moves the focus to the button first, then the dialog hears of it.
    ::PostMessageW(FocusOwnerOf(button), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
    return true;
}

bool PressEscape(HWND dialog) {
    HWND focus = FocusedWindow(dialog);
    HWND target = focus ? focus : dialog;
    ::PostMessageW(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageW(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    return true;
}

void RequestClose(HWND window) { ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0); }

std::vector<std::wstring> ComboItems(HWND dialog, int controlId) {
    std::vector<std::wstring> items;
    HWND combo = ::GetDlgItem(dialog, controlId);
    if (!combo) return items;
    LRESULT count = SendWithTimeout(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT length = SendWithTimeout(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0) length = 0;
        std::vector<wchar_t> text(static_cast<size_t>(length) + 2, L'\0');
        SendWithTimeout(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
        items.emplace_back(text.data());
    }
    return items;
}

std::wstring ComboSelection(HWND dialog, int controlId) {
    HWND combo = ::GetDlgItem(dialog, controlId);
    if (!combo) return std::wstring();
    LRESULT selected = SendWithTimeout(combo, CB_GETCURSEL, 0, 0);
    if (selected < 0) return std::wstring();
    std::vector<std::wstring> items = ComboItems(dialog, controlId);
    return static_cast<size_t>(selected) < items.size() ? items[static_cast<size_t>(selected)] : std::wstring();
}

bool SelectComboItem(HWND dialog, int controlId, const std::wstring& text) {
    HWND combo = ::GetDlgItem(dialog, controlId);
    if (!Usable(combo)) return false;
    std::vector<std::wstring> items = ComboItems(dialog, controlId);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] != text) continue;
        SendWithTimeout(combo, CB_SETCURSEL, i, 0);
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
        ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, CBN_SELENDOK), reinterpret_cast<LPARAM>(combo));
        return true;
    }
    return false;
}

// ------------------------------------------------------------ wizards

namespace {
// Control ids of a property sheet's wizard buttons.
constexpr int kBackId = 0x3023;
constexpr int kNextId = 0x3024;
constexpr int kFinishId = 0x3025;

int IdOf(WizardButton button) {
    switch (button) {
    case WizardButton::Back:
        return kBackId;
    case WizardButton::Next:
        return kNextId;
    case WizardButton::Finish:
        return kFinishId;
    case WizardButton::Cancel:
        return IDCANCEL;
    }
    return 0;
}
}  // namespace

HWND CurrentPage(HWND sheet) {
    return reinterpret_cast<HWND>(SendWithTimeout(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
}

WizardButtonStates WizardButtons(HWND sheet) {
    WizardButtonStates states;
    states.back = Usable(::GetDlgItem(sheet, kBackId));
    states.next = Usable(::GetDlgItem(sheet, kNextId));
    states.finish = Usable(::GetDlgItem(sheet, kFinishId));
    states.cancel = Usable(::GetDlgItem(sheet, IDCANCEL));
    return states;
}

bool PressWizardButton(HWND sheet, WizardButton button) { return ClickButton(sheet, IdOf(button)); }

HWND WaitForPageChange(HWND sheet, HWND previous, Millis timeout) {
    HWND page = nullptr;
    WaitUntil(
        [&] {
            if (!::IsWindow(sheet)) return true;
            page = CurrentPage(sheet);
            return page && page != previous;
        },
        timeout);
    return ::IsWindow(sheet) ? page : nullptr;
}

}  // namespace uitest
