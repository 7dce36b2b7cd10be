#include "StatusBar.h"

#include <commctrl.h>

#include "Drawing.h"

namespace corva::desktop {


StatusBar::~StatusBar() {
    if (bar_ && ::IsWindow(bar_)) ::RemoveWindowSubclass(bar_, &StatusBar::Subclass, 1);
}

bool StatusBar::Create(HWND parent, int id, HBITMAP strip) {
    strip_ = strip;
    bar_ = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | SBARS_SIZEGRIP, 0,
                             0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             ::GetModuleHandleW(nullptr), nullptr);
    if (!bar_) return false;
    font_ = MakePointFont(bar_, 8, L"Microsoft Sans Serif");
    ::SetWindowSubclass(bar_, &StatusBar::Subclass, 1, reinterpret_cast<DWORD_PTR>(this));
    return true;
}

void StatusBar::SetText(const std::wstring& text) {
    if (text == text_) return;
    text_ = text;
    if (!bar_) return;
    ::SendMessageW(bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text_.c_str()));
    ::InvalidateRect(bar_, nullptr, FALSE);
}

int StatusBar::Height() const {
    RECT r{};
    if (!bar_ || !::GetWindowRect(bar_, &r)) return 0;
    return r.bottom - r.top;
}

void StatusBar::Paint(HDC dc) {
    RECT client{};
    ::GetClientRect(bar_, &client);
    if (strip_) StretchBitmap(dc, client, strip_);
    else ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
    // The size grip keeps its usual look in the corner.
    if (::GetWindowLongPtrW(bar_, GWL_STYLE) & SBARS_SIZEGRIP) {
        const int grip = ::GetSystemMetrics(SM_CXVSCROLL);
        RECT corner{client.right - grip, client.bottom - grip, client.right, client.bottom};
        ::DrawFrameControl(dc, &corner, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
    }
    win::SelectedObject font(dc, font_.Get());
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_BTNTEXT));
    RECT textRect{4, 3, client.right - ::GetSystemMetrics(SM_CXVSCROLL), client.bottom};
    ::DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &textRect,
                DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
}

LRESULT CALLBACK StatusBar::Subclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR data) {
    auto* self = reinterpret_cast<StatusBar*>(data);
    try {
        switch (message) {
        case WM_ERASEBKGND:
            return TRUE;
        case WM_WINDOWPOSCHANGED:
            // The strip is stretched over the whole bar and the grip sits in
            // its corner: a new size paints all of it again, so that no grip
            // is left where the corner was.
            if (!(reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_NOSIZE)) {
                ::InvalidateRect(hwnd, nullptr, FALSE);
            }
            break;
        case WM_PAINT: {
            PAINTSTRUCT paint{};
            HDC dc = ::BeginPaint(hwnd, &paint);
            if (dc) self->Paint(dc);
            ::EndPaint(hwnd, &paint);
            return 0;
        }
        case WM_NCDESTROY:
            ::RemoveWindowSubclass(hwnd, &StatusBar::Subclass, 1);
            self->bar_ = nullptr;
            break;
        default:
            break;
        }
    } catch (...) {
        return 0;
    }
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace corva::desktop
