#include "PasswordRules.h"

#include "DialogSupport.h"

namespace corva::ui {

void ComplainNoPassword(HWND dialog, int controlId) {
    ShowInfoMessage(dialog, L"Please enter a password.", L"No password");
    FocusControl(dialog, controlId);
}

bool ReadNewPassword(HWND dialog, const NewPasswordFields& fields, SecretText* password) {
    password->Wipe();
    SecretText first = ReadSecretField(dialog, fields.password, kFieldChars);
    if (first.Empty()) {
        ComplainNoPassword(dialog, fields.focusWhenEmpty);
        return false;
    }
    SecretText second = ReadSecretField(dialog, fields.confirmation, kFieldChars);
    if (second.Empty()) {
        ComplainNoPassword(dialog, fields.focusWhenEmpty);
        return false;
    }
    if (first != second) {
        ShowInfoMessage(dialog,
                        L"You entered two different passwords. Please make sure that you enter the same password "
                        L"twice in exactly the same way.",
                        L"Passwords different");
        FocusControl(dialog, fields.focusWhenDifferent);
        return false;
    }
    *password = std::move(first);
    return true;
}

}  // namespace corva::ui
