#include "DialogSupport.h"

#include <commctrl.h>

#include <initializer_list>
#include <vector>

#include "UiIds.h"
#include "platform/WinHandles.h"

namespace corva::ui {

HINSTANCE ResourceModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&ResourceModule), &module);
    return module ? module : ::GetModuleHandleW(nullptr);
}

void EnsureCommonControls() {
    static const bool done = [] {
        INITCOMMONCONTROLSEX controls{};
        controls.dwSize = sizeof controls;
        controls.dwICC = ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_WIN95_CLASSES;
        return ::InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)done;
}

void SetDialogIcons(HWND window) {
    // Shared icons belong to the system's cache and are never destroyed.
    HINSTANCE module = ResourceModule();
    HANDLE big = ::LoadImageW(module, MAKEINTRESOURCEW(IDI_CORVASTINE), IMAGE_ICON, ::GetSystemMetrics(SM_CXICON),
                              ::GetSystemMetrics(SM_CYICON), LR_SHARED);
    HANDLE small = ::LoadImageW(module, MAKEINTRESOURCEW(IDI_CORVASTINE), IMAGE_ICON,
                                ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED);
    if (big) ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (small) ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void ShowInfoMessage(HWND owner, const wchar_t* text, const wchar_t* caption) {
    ::MessageBoxW(owner, text, caption, MB_OK | MB_ICONINFORMATION);
}

void FocusControl(HWND dialog, int controlId) {
    HWND control = ::GetDlgItem(dialog, controlId);
    if (!control) return;
    // On a wizard page the sheet is the dialog that tracks the focus. The
    // dialog moves the focus as Tab does, selecting an edit field's text,
    // so that what the user types next replaces the text to correct.
    HWND tracker = (::GetWindowLongPtrW(dialog, GWL_STYLE) & WS_CHILD) ? ::GetAncestor(dialog, GA_ROOT) : dialog;
    ::SendMessageW(tracker, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

void LimitFieldLength(HWND dialog, std::initializer_list<int> controlIds) {
    for (int id : controlIds) ::SendDlgItemMessageW(dialog, id, EM_LIMITTEXT, kFieldChars, 0);
}

int ScaleForDpi(HWND window, int pixelsAt96) {
    WindowDC dc(window);
    int dpi = dc.Get() ? ::GetDeviceCaps(dc.Get(), LOGPIXELSY) : 96;
    if (dpi <= 0) dpi = 96;
    return ::MulDiv(pixelsAt96, dpi, 96);
}

void CenterOnWindow(HWND window, HWND over) {
    RECT area{};
    if (!over || !::IsWindowVisible(over) || ::IsIconic(over) || !::GetWindowRect(over, &area)) {
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    RECT self{};
    ::GetWindowRect(window, &self);
    int w = self.right - self.left;
    int h = self.bottom - self.top;
    int x = area.left + ((area.right - area.left) - w) / 2;
    int y = area.top + ((area.bottom - area.top) - h) / 2;
    // Keep the whole window on the monitor the owner is on.
    HMONITOR monitor = ::MonitorFromRect(&area, MONITOR_DEFAULTTONEAREST);
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    if (::GetMonitorInfoW(monitor, &mi)) {
        if (x + w > mi.rcWork.right) x = mi.rcWork.right - w;
        if (y + h > mi.rcWork.bottom) y = mi.rcWork.bottom - h;
        if (x < mi.rcWork.left) x = mi.rcWork.left;
        if (y < mi.rcWork.top) y = mi.rcWork.top;
    }
    ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

namespace {

// A memory device context with the control's font selected, for measuring.
class MeasuringDC {
public:
    explicit MeasuringDC(HWND control) {
        HDC screen = ::GetDC(control);
        if (!screen) return;
        dc_ = ::CreateCompatibleDC(screen);
        ::ReleaseDC(control, screen);
        HGDIOBJ font = reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0));
        if (dc_ && font) old_ = ::SelectObject(dc_, font);
    }
    ~MeasuringDC() {
        if (old_) ::SelectObject(dc_, old_);
        if (dc_) ::DeleteDC(dc_);
    }
    MeasuringDC(const MeasuringDC&) = delete;
    MeasuringDC& operator=(const MeasuringDC&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_ = nullptr;
    HGDIOBJ old_ = nullptr;
};

}  // namespace

int TextWidth(HWND control, const std::wstring& text, bool ink) {
    MeasuringDC dc(control);
    if (!dc.Get()) return 0;
    RECT r{0, 0, 0, 0};
    ::DrawTextW(dc.Get(), text.c_str(), static_cast<int>(text.size()), &r, DT_SINGLELINE | DT_NOPREFIX | DT_CALCRECT);
    int width = r.right - r.left;
    ABC last{};
    if (ink && !text.empty() && ::GetCharABCWidthsW(dc.Get(), text.back(), text.back(), &last) && last.abcC < 0) {
        width -= last.abcC;
    }
    return width;
}

std::wstring FitPathToWidth(HWND control, const std::wstring& path, int width) {
    MeasuringDC dc(control);
    if (!dc.Get()) return path;
    // Room for the ellipsis the system writes into the text.
    std::vector<wchar_t> text(path.begin(), path.end());
    text.resize(path.size() + 8, L'\0');
    RECT room{0, 0, width, 1000};
    ::DrawTextW(dc.Get(), text.data(), -1, &room, DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS | DT_MODIFYSTRING);
    return std::wstring(text.data());
}

}  // namespace corva::ui
