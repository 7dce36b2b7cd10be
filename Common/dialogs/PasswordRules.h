// The check every new password passes before it is stored: both fields
// filled, and the two texts equal (letter case counts). Failures are told
// in a message box and the focus goes to the field to correct.
#pragma once

#include <windows.h>

#include "SecretField.h"

namespace corva::ui {

struct NewPasswordFields {
    int password;        // first field
    int confirmation;    // second field
    int focusWhenEmpty;  // field focused after "Please enter a password."
    int focusWhenDifferent;  // field focused after the mismatch message
};

// True with *password set when the two fields hold the same, non-empty
// text; otherwise the message has been shown and *password is empty.
bool ReadNewPassword(HWND dialog, const NewPasswordFields& fields, SecretText* password);

// "Please enter a password." / "No password", then the focus to controlId.
void ComplainNoPassword(HWND dialog, int controlId);

}  // namespace corva::ui
