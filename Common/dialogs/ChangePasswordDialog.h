// Change Password (dialog 209): a new password typed twice, stored when Ok
// is pressed. The current password is not asked for. The dialog closes
// with IDOK only once the new password has been stored; it then keeps that
// password, for a program that holds the password in memory, until it is
// taken or the dialog object is destroyed (wiped either way).
#pragma once

#include <windows.h>

#include "ModalDialog.h"
#include "engine/SecretText.h"

class ChangePasswordDialog final : protected corva::ui::ModalDialog {
public:
    ChangePasswordDialog();

    // Shows the dialog modally (callers pass the active window); IDOK or
    // IDCANCEL.
    INT_PTR DoModal(HWND owner);

    // The password stored by Ok; empty after Cancel.
    corva::SecretText& StoredPassword() { return stored_; }

protected:
    bool OnInit() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnDestroy() override;

private:
    void Accept();

    corva::SecretText stored_;
};
