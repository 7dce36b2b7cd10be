#include "ModalDialog.h"

#include "DialogRouting.h"
#include "DialogSupport.h"

namespace corva::ui {

INT_PTR ModalDialog::RunModal(HWND owner) {
    EnsureCommonControls();
    return ::DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(templateId_), owner, &ModalDialog::Procedure,
                             reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK ModalDialog::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* created = message == WM_INITDIALOG ? reinterpret_cast<ModalDialog*>(lParam) : nullptr;
    return RouteToOwner(hwnd, message, wParam, lParam, created, &ModalDialog::hwnd_, &ModalDialog::Dispatch);
}

INT_PTR ModalDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInit() ? TRUE : FALSE;
    case WM_COMMAND:
        return OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)) ? TRUE : FALSE;
    case WM_DESTROY:
        OnDestroy();
        return FALSE;
    default: {
        INT_PTR result = FALSE;
        if (OnMessage(message, wParam, lParam, &result)) return result;
        return FALSE;
    }
    }
}

}  // namespace corva::ui
