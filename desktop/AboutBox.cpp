#include "AboutBox.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "resource.h"

namespace corva::desktop {

AboutBox::AboutBox() : ModalDialog(IDD_ABOUTBOX) {}

bool AboutBox::OnInit() {
    ::SetDlgItemTextW(Handle(), IDC_ABOUT_VERSION, L"Version " CORVA_VERSION_TEXT L", built " CORVA_BUILD_DATE_TEXT);
    // OK has the keyboard first, so that Enter closes the box instead of
    // following the link.
    ::SetFocus(::GetDlgItem(Handle(), IDOK));
    return false;
}

bool AboutBox::OnMessage(UINT message, WPARAM, LPARAM lParam, INT_PTR* result) {
    if (message != WM_NOTIFY) return false;
    const auto& header = *reinterpret_cast<const NMHDR*>(lParam);
    if (header.idFrom != IDC_ABOUT_SUPPORT || (header.code != NM_CLICK && header.code != NM_RETURN)) return false;
    const auto& link = reinterpret_cast<const NMLINK&>(header);
    const auto code = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(Handle(), L"open", link.item.szUrl, nullptr, nullptr, SW_SHOWNORMAL));
    if (code <= 32) {
        const std::wstring text = std::wstring(L"The support pages could not be opened:\n") + link.item.szUrl;
        ::MessageBoxW(Handle(), text.c_str(), L"Corvastine", MB_OK | MB_ICONWARNING);
    }
    *result = TRUE;
    return true;
}

}  // namespace corva::desktop
