// Real mouse input: pointer moves and button events go through SendInput
// into the system's input queue, to whichever window lies under the
// pointer (or holds the capture), as a user's mouse does; and menus chosen
// with the mouse or by their letters.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "UiHarness.h"

namespace uitest {

namespace {

// A pointer event at a screen point, in SendInput's absolute units. Each
// unit is rounded up, so that Wine's scaling back (units * width / 65536,
// rounded down) gives the very pixel.
INPUT PointerEvent(POINT p, DWORD flags) {
    const long long w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((static_cast<long long>(p.x) * 65536 + w - 1) / w);
    input.mi.dy = static_cast<LONG>((static_cast<long long>(p.y) * 65536 + h - 1) / h);
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return input;
}

void SendPointer(POINT p, DWORD flags) {
    INPUT input = PointerEvent(p, flags);
    ::SendInput(1, &input, sizeof input);
}

bool PointerIsAt(POINT p) {
    POINT at{};
    return ::GetCursorPos(&at) && at.x == p.x && at.y == p.y;
}

void Report(const std::string& what) { std::fprintf(stderr, "%s\n", what.c_str()); }

}  // namespace

POINT CentreOf(const RECT& r) { return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

POINT CentreOf(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return CentreOf(r);
}

bool MovePointer(POINT p) {
    SendPointer(p, 0);
    if (WaitUntil([&] { return PointerIsAt(p); }, Millis(3000))) return true;
    Report("pointer not at " + std::to_string(p.x) + "," + std::to_string(p.y));
    return false;
}

bool MovePointerAlong(POINT to, int steps) {
    POINT from{};
    ::GetCursorPos(&from);
    for (int i = 1; i < steps; ++i) {
        SendPointer(POINT{from.x + (to.x - from.x) * i / steps, from.y + (to.y - from.y) * i / steps}, 0);
        // Pacing, not a wait for an effect: a drag loop reads the pointer
        // when it next runs, and positions sent faster than that merge
        // into one, so a drop target would never see the way in between.
        ::Sleep(15);
    }
    return MovePointer(to);
}

void LeftDown(POINT p) { SendPointer(p, MOUSEEVENTF_LEFTDOWN); }
void LeftUp(POINT p) { SendPointer(p, MOUSEEVENTF_LEFTUP); }

bool ClickAt(POINT p) {
    if (!MovePointer(p)) return false;
    LeftDown(p);
    LeftUp(p);
    return true;
}

bool DoubleClickAt(POINT p) {
    if (!MovePointer(p)) return false;
    LeftDown(p);
    LeftUp(p);
    LeftDown(p);
    LeftUp(p);
    return true;
}

bool RightClickAt(POINT p) {
    if (!MovePointer(p)) return false;
    SendPointer(p, MOUSEEVENTF_RIGHTDOWN);
    SendPointer(p, MOUSEEVENTF_RIGHTUP);
    return true;
}

bool DragFromTo(POINT from, POINT to) {
    if (!MovePointer(from)) return false;
    LeftDown(from);
    bool ok = true;
    for (int step = 1; step <= 4; ++step) {
        POINT p{from.x + (to.x - from.x) * step / 4, from.y + (to.y - from.y) * step / 4};
        ok = MovePointer(p) && ok;
    }
    LeftUp(to);
    return ok;
}

bool ClickUntil(HWND window, const std::function<POINT()>& where, const std::function<bool()>& done) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0) Report("a click had no effect for 10 s: clicked again");
        if (!BringToForeground(window)) return false;
        POINT p = where();
        p.x += attempt * 16;
        if (!ClickAt(p)) return false;
        if (WaitUntil(done, Millis(10000))) return true;
    }
    return false;
}

bool ClickControl(HWND dialog, int controlId) {
    HWND control = ::GetDlgItem(dialog, controlId);
    return control && BringToForeground(dialog) && ClickAt(CentreOf(control));
}

bool ClickIntoField(HWND dialog, int controlId) {
    HWND field = ::GetDlgItem(dialog, controlId);
    if (!field || !BringToForeground(dialog)) return false;
    if (FocusedWindow(dialog) != field) ClickControl(dialog, controlId);
    return WaitUntil([&] { return FocusedWindow(dialog) == field; });
}

// ------------------------------------------------------------ menus

int HighlightedMenuItem(HMENU menu) {
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
        if (::GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_HILITE) return i;
    }
    return -1;
}

namespace {

// The item's centre on the screen, nudged to the right; false when the menu
// does not show the item (within 3 s).
bool MenuItemPoint(HMENU menu, UINT position, int nudge, POINT* p) {
    RECT item{};
    if (!WaitUntil([&] { return ::GetMenuItemRect(nullptr, menu, position, &item) != 0; }, Millis(3000))) return false;
    *p = CentreOf(item);
    p->x += nudge;
    return true;
}

}  // namespace

bool PointAtMenuItem(HMENU menu, UINT position, int nudge) {
    POINT p{};
    if (!MenuItemPoint(menu, position, nudge, &p)) return false;
    MovePointer(p);
    return WaitUntil([&] { return HighlightedMenuItem(menu) == static_cast<int>(position); }, Millis(10000));
}

bool ClickMenuItem(HMENU menu, UINT position, const std::function<bool()>& done, Millis effectTimeout) {
    std::string trace = "menu item " + std::to_string(position) + " not chosen; highlighted:";
    for (int attempt = 0; attempt < 5; ++attempt) {
        POINT p{};
        // A fresh point each time, so that every attempt is a real move.
        if (!MenuItemPoint(menu, position, 3 * attempt, &p)) break;
        MovePointer(p);
        if (!WaitUntil([&] { return HighlightedMenuItem(menu) == static_cast<int>(position); }, Millis(10000))) {
            trace += " " + std::to_string(HighlightedMenuItem(menu));
            continue;
        }
        LeftDown(p);
        LeftUp(p);
        if (WaitUntil(done, effectTimeout)) return true;
        trace += " (clicked, no effect)";
    }
    Report(trace);
    SaveScreenshot(::GetDesktopWindow(), L"failed-menu-click");
    return false;
}

HWND OpenMenuByKeys(HWND window, Scope scope, WORD menuLetter) {
    WindowQuery popup;
    popup.className = L"#32768";
    popup.scope = scope;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!BringToForeground(window)) continue;
        PressKeys({VK_MENU, menuLetter});
        if (HWND menu = WaitForWindow(popup, Millis(10000))) return menu;
    }
    return nullptr;
}

bool ChooseMenuLetter(HWND popup, WORD itemLetter) {
    return PressKeysUntil({itemLetter}, [&] { return !::IsWindowVisible(popup); });
}

}  // namespace uitest
