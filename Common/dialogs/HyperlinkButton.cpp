#include "HyperlinkButton.h"

#include <commctrl.h>

#include "DialogSupport.h"

namespace corva::ui {

namespace {
constexpr UINT_PTR kSubclassId = 0x4C4E4B31;  // "LNK1"
}

bool HyperlinkButton::Create(HWND dialog, int controlId, const RECT& rectAt96, const std::wstring& label) {
    label_ = label;
    RECT r{ScaleForDpi(dialog, rectAt96.left), ScaleForDpi(dialog, rectAt96.top), ScaleForDpi(dialog, rectAt96.right),
           ScaleForDpi(dialog, rectAt96.bottom)};
    button_ = ::CreateWindowExW(0, WC_BUTTONW, label_.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW,
                                r.left, r.top, r.right - r.left, r.bottom - r.top, dialog,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)), ResourceModule(), nullptr);
    if (!button_) return false;

    font_ = DeriveFont(dialog, [](LOGFONTW& lf) { lf.lfUnderline = TRUE; });
    if (font_.Get()) ::SendMessageW(button_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.Get()), FALSE);
    ::SetWindowSubclass(button_, &HyperlinkButton::Subclass, kSubclassId, 0);

    tooltip_.Reset(::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                                     ResourceModule(), nullptr));
    if (tooltip_.Get()) {
        TTTOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = dialog;
        tool.uId = reinterpret_cast<UINT_PTR>(button_);
        tool.lpszText = const_cast<wchar_t*>(label_.c_str());
        ::SendMessageW(tooltip_.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    return true;
}

bool HyperlinkButton::Draw(const DRAWITEMSTRUCT& item) const {
    if (!button_ || item.hwndItem != button_) return false;
    HDC dc = item.hDC;
    RECT r = item.rcItem;
    ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_BTNFACE));
    HGDIOBJ oldFont = ::SelectObject(dc, font_.Get() ? static_cast<HGDIOBJ>(font_.Get())
                                                     : ::GetStockObject(DEFAULT_GUI_FONT));
    int oldMode = ::SetBkMode(dc, TRANSPARENT);
    COLORREF colour = (item.itemState & ODS_DISABLED) ? ::GetSysColor(COLOR_GRAYTEXT) : kLinkColour;
    COLORREF oldColour = ::SetTextColor(dc, colour);
    RECT text = r;
    ::DrawTextW(dc, label_.c_str(), -1, &text, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (item.itemState & ODS_FOCUS) {
        RECT measured = r;
        ::DrawTextW(dc, label_.c_str(), -1, &measured, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
        int h = measured.bottom - measured.top;
        measured.top = r.top + ((r.bottom - r.top) - h) / 2;
        measured.bottom = measured.top + h;
        ::InflateRect(&measured, 1, 0);
        ::DrawFocusRect(dc, &measured);
    }
    ::SetTextColor(dc, oldColour);
    ::SetBkMode(dc, oldMode);
    ::SelectObject(dc, oldFont);
    return true;
}

LRESULT CALLBACK HyperlinkButton::Subclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                           DWORD_PTR) {
    switch (message) {
    case WM_SETCURSOR:
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    case WM_GETDLGCODE: {
        // An owner-drawn button is never the default button, so the dialog
        // would give Enter to its default button (Ok) even while the link
        // has the focus: the link asks for Enter itself.
        const auto* key = reinterpret_cast<const MSG*>(lParam);
        LRESULT code = ::DefSubclassProc(hwnd, message, wParam, lParam);
        if (key && (key->message == WM_KEYDOWN || key->message == WM_CHAR) && key->wParam == VK_RETURN) {
            code |= DLGC_WANTMESSAGE;
        }
        return code;
    }
    case WM_KEYDOWN:
        if (wParam == VK_RETURN) {
            // Posted, like the click a released Space makes: whatever the
            // command opens runs once this key press has been handled.
            ::PostMessageW(::GetParent(hwnd), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hwnd), BN_CLICKED),
                           reinterpret_cast<LPARAM>(hwnd));
            return 0;
        }
        break;
    case WM_CHAR:
        if (wParam == VK_RETURN) return 0;  // handled at the key press; no beep
        break;
    case WM_NCDESTROY:
        ::RemoveWindowSubclass(hwnd, &HyperlinkButton::Subclass, id);
        break;
    default:
        break;
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace corva::ui
