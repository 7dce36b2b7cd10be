// Private window messages of the vault program.
#pragma once

#include <windows.h>

namespace corva::vault {

// Posted by the drop target after a drop: the window takes the dropped
// paths it was handed and locks them into the vault. No parameters.
constexpr UINT kFilesDroppedMessage = WM_APP + 1;

}  // namespace corva::vault
