#include "Window.h"

#include <windowsx.h>

#include "DialogSupport.h"

namespace corva::ui {

namespace {

// The property that holds the object, so that FromHandle can tell a window
// of this class from any other.
constexpr wchar_t kOwnerProperty[] = L"corva.Window";

}  // namespace

Window::~Window() {
    if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
}

Window* Window::FromHandle(HWND hwnd) {
    if (!hwnd) return nullptr;
    return static_cast<Window*>(::GetPropW(hwnd, kOwnerProperty));
}

bool Window::Create(const WindowClass& windowClass, const wchar_t* title, const WindowPlacement& placement) {
    if (hwnd_ || !windowClass.name) return false;
    HINSTANCE module = ResourceModule();
    WNDCLASSEXW existing{sizeof existing};
    if (!::GetClassInfoExW(module, windowClass.name, &existing)) {
        WNDCLASSEXW wc{sizeof wc};
        wc.style = windowClass.style;
        wc.lpfnWndProc = &Window::Procedure;
        wc.hInstance = module;
        wc.hIcon = windowClass.icon;
        wc.hIconSm = windowClass.smallIcon;
        wc.hCursor = windowClass.cursor ? windowClass.cursor : ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = windowClass.background;
        wc.lpszClassName = windowClass.name;
        if (!::RegisterClassExW(&wc)) return false;
    } else if (existing.lpfnWndProc != &Window::Procedure) {
        return false;  // the name belongs to a class this code did not register
    }
    HWND created = ::CreateWindowExW(placement.exStyle, windowClass.name, title, placement.style, placement.x,
                                     placement.y, placement.width, placement.height, placement.parent, placement.menu,
                                     module, this);
    if (!created) {
        hwnd_ = nullptr;
        return false;
    }
    return true;
}

LRESULT Window::DefaultProcedure(UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK Window::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* self = nullptr;
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        self = static_cast<Window*>(create->lpCreateParams);
        if (!self) return FALSE;
        ::SetPropW(hwnd, kOwnerProperty, self);
        self->hwnd_ = hwnd;
    } else {
        self = FromHandle(hwnd);
    }
    if (!self) return ::DefWindowProcW(hwnd, message, wParam, lParam);

    LRESULT result = 0;
    try {
        result = self->Dispatch(message, wParam, lParam);
    } catch (...) {
        if (message == WM_NCCREATE) result = FALSE;
        else if (message == WM_CREATE) result = -1;
        else if (message == WM_NCDESTROY) result = ::DefWindowProcW(hwnd, message, wParam, lParam);
        else result = 0;
    }
    if (message == WM_NCDESTROY) {
        ::RemovePropW(hwnd, kOwnerProperty);
        self->hwnd_ = nullptr;
        try {
            self->OnFinalMessage();
        } catch (...) {
        }
    }
    return result;
}

LRESULT Window::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnMessage(message, wParam, lParam, &result)) return result;
    switch (message) {
    case WM_CREATE:
        if (!OnCreate(*reinterpret_cast<const CREATESTRUCTW*>(lParam))) return -1;
        return 0;
    case WM_SIZE:
        if (wParam == SIZE_MINIMIZED) OnMinimize();
        else OnResize(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: {
        const PointerAction action = message == WM_MOUSEMOVE   ? PointerAction::Move
                                     : message == WM_LBUTTONUP ? PointerAction::Release
                                                               : PointerAction::Press;
        if (OnPointer(action, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)})) return 0;
        break;
    }
    case WM_CAPTURECHANGED:
        OnCaptureLost();
        break;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == hwnd_ && LOWORD(lParam) == HTCLIENT) {
            POINT p{};
            ::GetCursorPos(&p);
            ::ScreenToClient(hwnd_, &p);
            if (OnSetCursor(p)) return TRUE;
        }
        break;
    case WM_SIZING:
        if (OnSizing(static_cast<UINT>(wParam), *reinterpret_cast<RECT*>(lParam))) return TRUE;
        break;
    case WM_GETMINMAXINFO:
        if (OnMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam))) return 0;
        break;
    case WM_MENUSELECT:
        if (OnMenuSelect(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HMENU>(lParam))) return 0;
        break;
    case WM_COMMAND:
        if (OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam))) return 0;
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header && OnNotify(*header, &result)) return result;
        break;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = ::BeginPaint(hwnd_, &paint);
        try {
            if (dc) OnPaint(dc, paint);
        } catch (...) {
            ::EndPaint(hwnd_, &paint);
            throw;
        }
        ::EndPaint(hwnd_, &paint);
        return 0;
    }
    case WM_CLOSE:
        if (OnClose()) return 0;
        break;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    default:
        break;
    }
    return DefaultProcedure(message, wParam, lParam);
}

}  // namespace corva::ui
