// Change Password (dialog 209): a new password typed twice, stored when Ok
// is pressed. The current password is not asked for. The dialog closes
// with IDOK only once the new password has been stored; it then keeps that
// password, for a program that holds the password in memory, until it is
// taken or the dialog object is destroyed (wiped either way).
#pragma once

#include <windows.h>

#include "ModalDialog.h"
#include "engine/SecretText.h"

class ChangePasswordDialog final : public corva::ui::ModalDialog {
public:
    ChangePasswordDialog();

    // The password stored by Ok; empty after Cancel.
    corva::SecretText& StoredPassword() { return stored_; }

protected:
    bool OnInit() override;
    void OnOk() override;
    void OnDestroy() override;

private:
    corva::SecretText stored_;
};
