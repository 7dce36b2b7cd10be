// The help pages shipped in the "help" folder beside the program, opened in
// the default web browser. When the system cannot open a page (no program
// for web pages, a missing file), a message box owned by owner names the
// page's path; nothing is thrown.
#pragma once

#include <windows.h>

#include <string>

namespace corva::desktop {

// The full path of a page in the help folder.
std::wstring HelpPagePath(const std::wstring& page);

// Opens the page with the verb "open" in a maximised window. True when the
// system reported success.
bool OpenHelpPage(HWND owner, const std::wstring& page);

}  // namespace corva::desktop
