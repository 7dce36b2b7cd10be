// Telling the user that something could not be written to the settings
// file, with the likely cause in plain words. The dialog that tried stays
// where it is, so that nothing announces a success that did not happen.
#pragma once

#include <windows.h>

#include <string>

namespace corva::ui {

// What was being saved, as the message names it.
enum class SavedItem {
    Password,           // the password digest
    SecurityQuestions,  // the answers' digests and the question texts
};

// The cause of a failed write of the settings file at path, in plain words.
std::wstring DescribeSettingsWriteProblem(const std::wstring& path);

// Shows the failure (caption "Corvastine", warning icon) owned by owner.
void ReportSettingsWriteFailure(HWND owner, SavedItem item);

}  // namespace corva::ui
