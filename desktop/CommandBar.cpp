#include "CommandBar.h"

#include <commctrl.h>

#include <cwctype>
#include <string>
#include <vector>

namespace corva::desktop {

bool CommandBar::Create(HWND parent, HWND owner, HMENU menu, int id) {
    owner_ = owner;
    menu_ = menu;
    bar_ = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                             WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | TBSTYLE_FLAT |
                                 TBSTYLE_LIST | TBSTYLE_TRANSPARENT | CCS_NODIVIDER | CCS_NORESIZE |
                                 CCS_NOPARENTALIGN,
                             0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleW(nullptr), nullptr);
    if (!bar_) return false;
    ::SendMessageW(bar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ::SendMessageW(bar_, TB_SETPARENT, reinterpret_cast<WPARAM>(owner), 0);
    ::SendMessageW(bar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
    const int count = ::GetMenuItemCount(menu);
    std::vector<std::wstring> texts(count > 0 ? count : 0);
    std::vector<TBBUTTON> buttons;
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        ::GetMenuStringW(menu, i, text, 64, MF_BYPOSITION);
        texts[i] = text;
        TBBUTTON b{};
        b.iBitmap = I_IMAGENONE;
        b.idCommand = kFirstButtonId + i;
        b.fsState = TBSTATE_ENABLED;
        b.fsStyle = BTNS_DROPDOWN | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
        b.iString = reinterpret_cast<INT_PTR>(texts[i].c_str());
        buttons.push_back(b);
    }
    ::SendMessageW(bar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    ::SendMessageW(bar_, TB_AUTOSIZE, 0, 0);
    return true;
}

SIZE CommandBar::IdealSize() const {
    SIZE size{};
    ::SendMessageW(bar_, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&size));
    return size;
}

void CommandBar::OpenMenu(int index, bool fromKeyboard) {
    HMENU popup = ::GetSubMenu(menu_, index);
    if (!popup || open_) return;
    const int button = kFirstButtonId + index;
    RECT rect{};
    ::SendMessageW(bar_, TB_GETRECT, button, reinterpret_cast<LPARAM>(&rect));
    ::MapWindowPoints(bar_, HWND_DESKTOP, reinterpret_cast<POINT*>(&rect), 2);
    ::SendMessageW(bar_, TB_PRESSBUTTON, button, MAKELPARAM(TRUE, 0));
    if (fromKeyboard) ::PostMessageW(owner_, WM_KEYDOWN, VK_DOWN, 0);
    TPMPARAMS params{sizeof params, rect};
    open_ = true;
    ::TrackPopupMenuEx(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_VERTICAL | TPM_LEFTBUTTON, rect.left,
                       rect.bottom, owner_, &params);
    open_ = false;
    ::SendMessageW(bar_, TB_PRESSBUTTON, button, MAKELPARAM(FALSE, 0));
}

bool CommandBar::OpenMenuByLetter(wchar_t letter) {
    const wchar_t wanted = static_cast<wchar_t>(std::towlower(letter));
    const int count = ::GetMenuItemCount(menu_);
    for (int i = 0; i < count; ++i) {
        wchar_t text[64] = {};
        ::GetMenuStringW(menu_, i, text, 64, MF_BYPOSITION);
        for (const wchar_t* p = text; *p; ++p) {
            if (p[0] == L'&' && p[1] && p[1] != L'&') {
                if (static_cast<wchar_t>(std::towlower(p[1])) == wanted) {
                    OpenMenu(i, true);
                    return true;
                }
                break;
            }
        }
    }
    return false;
}

bool CommandBar::OnNotify(const NMHDR& header, LRESULT* result) {
    if (header.hwndFrom != bar_ || header.code != static_cast<UINT>(TBN_DROPDOWN)) return false;
    const auto& dropdown = reinterpret_cast<const NMTOOLBARW&>(header);
    const int index = dropdown.iItem - kFirstButtonId;
    *result = TBDDRET_DEFAULT;
    OpenMenu(index, false);
    return true;
}

}  // namespace corva::desktop
