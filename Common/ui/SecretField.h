// Reading secrets out of dialog fields without leaving copies behind: the
// field's text goes straight into a SecretText, and a field can be emptied
// so that the control's own buffer keeps nothing.
#pragma once

#include <windows.h>

#include <cstddef>

#include "engine/SecretText.h"

namespace corva::ui {

using corva::SecretText;

// The text of a dialog field, at most maxChars characters, converted to the
// system ANSI code page. The wide copy is wiped before returning.
SecretText ReadSecretField(HWND dialog, int controlId, size_t maxChars);

// Overwrites the text an edit control holds with filler of the same length,
// then empties it, so that the control's buffer keeps no secret.
void WipeField(HWND dialog, int controlId);

}  // namespace corva::ui
