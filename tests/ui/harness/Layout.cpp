// Layout checks: text that does not fit its control, controls that overlap
// a sibling or reach outside their parent.
#include "UiHarness.h"

#include <commctrl.h>

#include <algorithm>
#include <map>
#include <vector>

namespace uitest {

namespace {

std::wstring Describe(HWND control) {
    std::wstring text = WindowText(control);
    if (text.size() > 40) text = text.substr(0, 37) + L"...";
    return ClassNameOf(control) + L" #" + std::to_wstring(::GetDlgCtrlID(control) & 0xFFFF) + L" \"" + text + L"\"";
}

std::wstring SizeText(LONG w, LONG h) { return std::to_wstring(w) + L"x" + std::to_wstring(h); }

// Measures text with the control's own font. format: DrawText flags.
SIZE Measure(HWND control, const std::wstring& text, UINT format, LONG width) {
    HDC dc = ::GetDC(control);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(SYSTEM_FONT));
    RECT r{0, 0, width, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_CALCRECT);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return SIZE{r.right - r.left, r.bottom - r.top};
}

LONG FontHeight(HWND control) {
    HDC dc = ::GetDC(control);
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    HGDIOBJ old = ::SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(SYSTEM_FONT));
    TEXTMETRICW tm{};
    ::GetTextMetricsW(dc, &tm);
    ::SelectObject(dc, old);
    ::ReleaseDC(control, dc);
    return tm.tmHeight;
}

int Scaled(HWND control, int pixelsAt96) {
    HDC dc = ::GetDC(control);
    int dpi = ::GetDeviceCaps(dc, LOGPIXELSX);
    ::ReleaseDC(control, dc);
    return ::MulDiv(pixelsAt96, dpi > 0 ? dpi : 96, 96);
}

void CheckStatic(HWND control, std::vector<std::wstring>* problems) {
    LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
    LONG_PTR type = style & SS_TYPEMASK;
    const bool wraps = type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT;
    if (!wraps && type != SS_SIMPLE && type != SS_LEFTNOWORDWRAP) return;  // pictures, frames, owner-drawn
    std::wstring text = WindowText(control);
    if (text.empty()) return;
    SIZE client = ClientSize(control);
    // SS_PATHELLIPSIS and the like: drawn on one line, shortened to fit its
    // width, so only its height must fit.
    const bool shortens = (style & SS_ELLIPSISMASK) != 0;
    UINT format = DT_EXPANDTABS | ((style & SS_NOPREFIX) ? DT_NOPREFIX : 0);
    format |= wraps && !shortens ? DT_WORDBREAK : DT_SINGLELINE;
    SIZE need = Measure(control, text, format, client.cx);
    if ((need.cx > client.cx && !shortens) || need.cy > client.cy) {
        problems->push_back(L"clipped: " + Describe(control) + L" needs " + SizeText(need.cx, need.cy) + L", has " +
                            SizeText(client.cx, client.cy));
    }
}

void CheckButton(HWND control, std::vector<std::wstring>* problems) {
    LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
    LONG_PTR type = style & BS_TYPEMASK;
    std::wstring text = WindowText(control);
    if (text.empty()) return;
    SIZE client = ClientSize(control);
    UINT format = DT_SINGLELINE;
    LONG room = client.cx;
    switch (type) {
    case BS_PUSHBUTTON:
    case BS_DEFPUSHBUTTON:
        room -= Scaled(control, 6);  // border and focus rectangle
        break;
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
    case BS_3STATE:
    case BS_AUTO3STATE:
        room -= Scaled(control, 13 + 4);  // the box and the gap after it
        break;
    case BS_GROUPBOX:
        room -= Scaled(control, 16);
        break;
    case BS_OWNERDRAW:
        break;
    default:
        return;
    }
    if (style & BS_MULTILINE) format = DT_WORDBREAK;
    SIZE need = Measure(control, text, format | ((type == BS_OWNERDRAW) ? DT_NOPREFIX : 0), room);
    if (need.cx > room || need.cy > client.cy) {
        problems->push_back(L"clipped: " + Describe(control) + L" needs " + SizeText(need.cx, need.cy) +
                            L", has " + SizeText(room, client.cy));
    }
}

void CheckEdit(HWND control, std::vector<std::wstring>* problems) {
    LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
    if (style & ES_MULTILINE) return;
    SIZE client = ClientSize(control);
    LONG need = FontHeight(control);
    if (need > client.cy) {
        problems->push_back(L"clipped: " + Describe(control) + L" shows " + std::to_wstring(client.cy) +
                            L" pixels of a " + std::to_wstring(need) + L"-pixel font");
    }
}

void CheckCombo(HWND control, std::vector<std::wstring>* problems) {
    LONG_PTR style = ::GetWindowLongPtrW(control, GWL_STYLE);
    if ((style & 0x3) != CBS_DROPDOWNLIST) return;
    std::wstring text = WindowText(control);
    if (text.empty()) return;
    RECT r{};
    ::GetClientRect(control, &r);
    LONG room = (r.right - r.left) - ::GetSystemMetrics(SM_CXVSCROLL) - Scaled(control, 6);
    SIZE need = Measure(control, text, DT_SINGLELINE | DT_NOPREFIX, room);
    if (need.cx > room) {
        problems->push_back(L"clipped: " + Describe(control) + L" needs " + std::to_wstring(need.cx) + L", has " +
                            std::to_wstring(room));
    }
}

bool IsGroupBox(HWND control) {
    return _wcsicmp(ClassNameOf(control).c_str(), L"Button") == 0 &&
           (::GetWindowLongPtrW(control, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

BOOL CALLBACK CollectVisible(HWND child, LPARAM lParam) {
    if (::IsWindowVisible(child)) reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(child);
    return TRUE;
}

RECT RectInParent(HWND control) {
    RECT r{};
    ::GetWindowRect(control, &r);
    ::MapWindowPoints(HWND_DESKTOP, ::GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

}  // namespace

std::vector<std::wstring> LayoutProblems(HWND window) {
    std::vector<std::wstring> problems;
    std::vector<HWND> controls;
    ::EnumChildWindows(window, &CollectVisible, reinterpret_cast<LPARAM>(&controls));

    std::map<HWND, std::vector<HWND>> byParent;
    for (HWND c : controls) {
        // Only what the user can see: every ancestor up to window visible.
        bool shown = true;
        for (HWND p = ::GetParent(c); p && p != window; p = ::GetParent(p)) shown = shown && ::IsWindowVisible(p);
        if (!shown) continue;
        byParent[::GetParent(c)].push_back(c);

        std::wstring cls = ClassNameOf(c);
        if (_wcsicmp(cls.c_str(), L"Static") == 0) CheckStatic(c, &problems);
        else if (_wcsicmp(cls.c_str(), L"Button") == 0) CheckButton(c, &problems);
        else if (_wcsicmp(cls.c_str(), L"Edit") == 0 && ::GetParent(c) != nullptr &&
                 _wcsicmp(ClassNameOf(::GetParent(c)).c_str(), L"ComboBox") != 0)
            CheckEdit(c, &problems);
        else if (_wcsicmp(cls.c_str(), L"ComboBox") == 0) CheckCombo(c, &problems);
    }

    for (auto& [parent, children] : byParent) {
        RECT area{};
        ::GetClientRect(parent, &area);
        for (size_t i = 0; i < children.size(); ++i) {
            RECT a = RectInParent(children[i]);
            if (a.left < area.left || a.top < area.top || a.right > area.right || a.bottom > area.bottom) {
                problems.push_back(L"outside its parent: " + Describe(children[i]));
            }
            if (IsGroupBox(children[i])) continue;
            for (size_t j = i + 1; j < children.size(); ++j) {
                if (IsGroupBox(children[j])) continue;
                RECT b = RectInParent(children[j]);
                RECT both{};
                if (::IntersectRect(&both, &a, &b)) {
                    problems.push_back(L"overlap: " + Describe(children[i]) + L" and " + Describe(children[j]));
                }
            }
        }
    }
    return problems;
}

}  // namespace uitest
