#include "HelpPages.h"

#include <shellapi.h>

#include "settings/Settings.h"

namespace corva::desktop {

std::wstring HelpPagePath(const std::wstring& page) { return ModuleFilePath(L"help\\" + page); }

bool OpenHelpPage(HWND owner, const std::wstring& page) {
    const std::wstring path = HelpPagePath(page);
    const auto code = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(owner, L"open", path.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED));
    if (code > 32) return true;
    const std::wstring text = L"The help page could not be opened:\n" + path;
    ::MessageBoxW(owner, text.c_str(), L"Corvastine", MB_OK | MB_ICONWARNING);
    return false;
}

}  // namespace corva::desktop
