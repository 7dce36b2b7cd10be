#include "RealInput.h"

#include <cstdio>
#include <vector>

#include "UiHarness.h"

namespace desktoptest {

namespace {

void SendKey(WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    ::SendInput(1, &in, sizeof in);
}

// A pointer event at a screen point, in SendInput's absolute units.
INPUT MouseAt(POINT p, DWORD flags) {
    const int w = ::GetSystemMetrics(SM_CXSCREEN), h = ::GetSystemMetrics(SM_CYSCREEN);
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = static_cast<LONG>((static_cast<long long>(p.x) * 65536 + w - 1) / w);
    in.mi.dy = static_cast<LONG>((static_cast<long long>(p.y) * 65536 + h - 1) / h);
    in.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return in;
}

// A button pressed or released at a point. The event carries its own
// position: Wine turns the X server's report of each pointer move into a
// move of its own, and one read late by a busy window thread puts the
// pointer back where it was a moment ago, so a button event without a
// position could land on that old spot.
void ButtonAt(POINT p, DWORD flags) {
    INPUT in = MouseAt(p, flags);
    ::SendInput(1, &in, sizeof in);
}

}  // namespace

bool BringToFront(HWND window) {
    return uitest::WaitUntil([&] {
        if (::GetForegroundWindow() == window) return true;
        ::SetForegroundWindow(window);
        return ::GetForegroundWindow() == window;
    });
}

void PressKeys(std::initializer_list<WORD> keys) {
    for (WORD k : keys) SendKey(k, false);
    std::vector<WORD> reversed(keys.begin(), keys.end());
    for (auto it = reversed.rbegin(); it != reversed.rend(); ++it) SendKey(*it, true);
}

bool PressKeysUntil(std::initializer_list<WORD> keys, const std::function<bool()>& done) {
    PressKeys(keys);
    if (uitest::WaitUntil(done, uitest::Millis(15000))) return true;
    std::fprintf(stderr, "a key press had no effect for 15 s: pressed again\n");
    PressKeys(keys);
    return uitest::WaitUntil(done);
}

void TypeKeys(const std::wstring& text) {
    for (wchar_t c : text) {
        INPUT in[2] = {};
        for (int i = 0; i < 2; ++i) {
            in[i].type = INPUT_KEYBOARD;
            in[i].ki.wScan = c;
            in[i].ki.dwFlags = KEYEVENTF_UNICODE | (i ? KEYEVENTF_KEYUP : 0);
        }
        ::SendInput(2, in, sizeof in[0]);
    }
}

bool MovePointer(POINT p) {
    INPUT in = MouseAt(p, 0);
    ::SendInput(1, &in, sizeof in);
    return uitest::WaitUntil(
        [&] {
            POINT at{};
            ::GetCursorPos(&at);
            return at.x == p.x && at.y == p.y;
        },
        uitest::Millis(3000)) || (std::fprintf(stderr, "pointer not at %ld,%ld\n", p.x, p.y), false);
}

void LeftDown(POINT screen) { ButtonAt(screen, MOUSEEVENTF_LEFTDOWN); }
void LeftUp(POINT screen) { ButtonAt(screen, MOUSEEVENTF_LEFTUP); }

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
    ButtonAt(p, MOUSEEVENTF_RIGHTDOWN);
    ButtonAt(p, MOUSEEVENTF_RIGHTUP);
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

POINT CentreOf(HWND window) {
    RECT r{};
    ::GetWindowRect(window, &r);
    return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

namespace {

bool CaptureOnce(const RECT& r, std::vector<unsigned char>* bgra) {
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return false;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ok = ::BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != 0;
        ::GdiFlush();
        const auto* p = static_cast<const unsigned char*>(bits);
        bgra->assign(p, p + static_cast<size_t>(w) * h * 4);
        ::SelectObject(memory, old);
    }
    if (bitmap) ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return ok;
}

// Lets the window's thread take what it was sent, then paint whatever it
// has marked to be painted (nothing more is marked here).
void Settle(HWND window) {
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    ::RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

}  // namespace

std::vector<unsigned char> ScreenPixels(const RECT& screen) {
    std::vector<unsigned char> now, before;
    uitest::WaitUntil([&] {
        if (!CaptureOnce(screen, &now)) return false;
        const bool same = !before.empty() && now == before;
        before = now;
        return same;
    });
    return now;
}

bool ShowsWhatItPaints(HWND window, const std::wstring& name) {
    Settle(window);
    RECT r{};
    ::GetWindowRect(window, &r);
    const std::vector<unsigned char> shown = ScreenPixels(r);
    uitest::WritePng(uitest::ScreenshotDir() + L"\\" + name + L".png", r.right - r.left, r.bottom - r.top, shown);
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Settle(window);
    const std::vector<unsigned char> painted = ScreenPixels(r);
    if (shown == painted) return true;
    uitest::WritePng(uitest::ScreenshotDir() + L"\\" + name + L"-painted-again.png", r.right - r.left,
                     r.bottom - r.top, painted);
    return false;
}

}  // namespace desktoptest
