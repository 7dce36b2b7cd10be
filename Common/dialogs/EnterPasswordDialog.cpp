#include "EnterPasswordDialog.h"

#include "DialogIds.h"
#include "DialogSupport.h"
#include "ForgotPasswordWizard.h"
#include "PasswordSetupWizard.h"
#include "settings/PasswordStore.h"

const wchar_t EnterPasswordDialog::kForgotLinkText[] = L"I forgot my password.";

bool EnterPasswordDialog::MayAccept() {
    if (HasPassword()) return true;
    PasswordSetupWizard(Handle(), host_);
    corva::ui::FocusControl(Handle(), IDC_ENTER_PASSWORD);
    return false;
}

void EnterPasswordDialog::OnCreated() {
    const RECT linkRect{12, 100, 140, 117};
    if (!link_.Create(Handle(), IDC_FORGOT_LINK, linkRect, kForgotLinkText)) return;
    // The link is placed in pixels, the buttons in dialog units: line them
    // up whatever the font.
    AlignWithLink(IDOK);
    AlignWithLink(IDCANCEL);
}

void EnterPasswordDialog::AlignWithLink(int controlId) {
    HWND button = ::GetDlgItem(Handle(), controlId);
    RECT link{}, own{}, client{};
    if (!button || !::GetWindowRect(link_.Handle(), &link) || !::GetWindowRect(button, &own)) return;
    ::MapWindowPoints(HWND_DESKTOP, Handle(), reinterpret_cast<POINT*>(&link), 2);
    ::MapWindowPoints(HWND_DESKTOP, Handle(), reinterpret_cast<POINT*>(&own), 2);
    ::GetClientRect(Handle(), &client);
    const int height = own.bottom - own.top;
    const int top = (link.top + link.bottom) / 2 - height / 2;
    if (top < 0 || top + height > client.bottom) return;
    ::SetWindowPos(button, nullptr, own.left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool EnterPasswordDialog::OnCommand(int id, int code, HWND control) {
    if (id == IDC_FORGOT_LINK && code == BN_CLICKED) {
        ForgotPasswordCommand(Handle(), host_);
        corva::ui::FocusControl(Handle(), IDC_ENTER_PASSWORD);
        return true;
    }
    return PasswordPromptDialog::OnCommand(id, code, control);
}

bool EnterPasswordDialog::OnMessage(UINT message, WPARAM, LPARAM lParam, INT_PTR* result) {
    if (message == WM_DRAWITEM && link_.Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) {
        *result = TRUE;
        return true;
    }
    return false;
}

bool AskWithEnterPasswordDialog(SetupWizardHost host, HWND owner, const std::wstring& prompt,
                                corva::SecretText* entered) {
    EnterPasswordDialog dialog(host);
    return AskInPasswordDialog(dialog, owner, prompt, entered);
}
