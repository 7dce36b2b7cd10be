// The dialog procedure body shared by the dialog and wizard-page bases:
// binds the object to its window at WM_INITDIALOG, hands every message to
// it, keeps anything thrown inside the procedure, and unbinds the object at
// WM_NCDESTROY.
#pragma once

#include <windows.h>

namespace corva::ui {

template <typename Owner>
INT_PTR RouteToOwner(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, Owner* created, HWND Owner::*window,
                     INT_PTR (Owner::*dispatch)(UINT, WPARAM, LPARAM)) {
    Owner* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = created;
        if (!self) return FALSE;
        ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        self->*window = hwnd;
    } else {
        self = reinterpret_cast<Owner*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    if (!self) return FALSE;
    INT_PTR result = FALSE;
    try {
        result = (self->*dispatch)(message, wParam, lParam);
    } catch (...) {
        result = FALSE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        self->*window = nullptr;
    }
    return result;
}

}  // namespace corva::ui
