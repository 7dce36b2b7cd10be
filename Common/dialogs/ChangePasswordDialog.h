// Change Password (dialog 209): a new password typed twice, stored when Ok
// is pressed. The current password is not asked for. The dialog closes
// with IDOK only once the new password has been stored.
#pragma once

#include <windows.h>

#include "ModalDialog.h"

class ChangePasswordDialog final : protected corva::ui::ModalDialog {
public:
    ChangePasswordDialog();

    // Shows the dialog modally (callers pass the active window); IDOK or
    // IDCANCEL.
    INT_PTR DoModal(HWND owner);

protected:
    bool OnInit() override;
    bool OnCommand(int id, int code, HWND control) override;
    void OnDestroy() override;

private:
    void Accept();
};
