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

namespace {

// The bar whose popup is open on this thread (one at a time: popups are
// modal).
thread_local CommandBar* t_tracking = nullptr;

// Whether the highlighted item of a popup opens a popup of its own.
bool HighlightedOpensSubmenu(HMENU menu) {
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        const UINT state = ::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
        if (state & MF_HILITE) return (state & MF_POPUP) != 0;
    }
    return false;
}

}  // namespace

LRESULT CALLBACK CommandBar::MenuKeys(int code, WPARAM wParam, LPARAM lParam) {
    CommandBar* self = t_tracking;
    const auto* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_MENU && self && msg && msg->message == WM_KEYDOWN &&
        (msg->wParam == VK_LEFT || msg->wParam == VK_RIGHT)) {
        const int count = ::GetMenuItemCount(self->menu_);
        HMENU open = ::GetSubMenu(self->menu_, self->openIndex_);
        const bool right = msg->wParam == VK_RIGHT;
        // Right on an item with a popup of its own opens that one, as usual.
        if (count > 1 && open && !(right && HighlightedOpensSubmenu(open))) {
            self->next_ = (self->openIndex_ + (right ? 1 : count - 1)) % count;
            ::EndMenu();
            return 1;
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void CommandBar::OpenMenu(int index, bool fromKeyboard) {
    if (open_) return;
    next_ = -1;
    TrackOne(index, fromKeyboard);
    // Left or Right closed it: on to the next popup, from the keyboard.
    while (next_ >= 0) {
        const int next = next_;
        next_ = -1;
        TrackOne(next, true);
    }
}

void CommandBar::TrackOne(int index, bool fromKeyboard) {
    HMENU popup = ::GetSubMenu(menu_, index);
    if (!popup) return;
    const int button = kFirstButtonId + index;
    RECT rect{};
    ::SendMessageW(bar_, TB_GETRECT, button, reinterpret_cast<LPARAM>(&rect));
    ::MapWindowPoints(bar_, HWND_DESKTOP, reinterpret_cast<POINT*>(&rect), 2);
    ::SendMessageW(bar_, TB_PRESSBUTTON, button, MAKELPARAM(TRUE, 0));
    if (fromKeyboard) ::PostMessageW(owner_, WM_KEYDOWN, VK_DOWN, 0);
    TPMPARAMS params{sizeof params, rect};
    open_ = true;
    openIndex_ = index;
    CommandBar* outer = t_tracking;
    t_tracking = this;
    HHOOK hook = ::SetWindowsHookExW(WH_MSGFILTER, &CommandBar::MenuKeys, nullptr, ::GetCurrentThreadId());
    ::TrackPopupMenuEx(popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_VERTICAL | TPM_LEFTBUTTON, rect.left,
                       rect.bottom, owner_, &params);
    if (hook) ::UnhookWindowsHookEx(hook);
    t_tracking = outer;
    open_ = false;
    openIndex_ = -1;
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
