#include "ModalDialog.h"

#include "DialogRouting.h"
#include "DialogSupport.h"

namespace corva::ui {

INT_PTR ModalDialog::ShowModal(HWND owner) {
    OnShowing();
    EnsureCommonControls();
    const INT_PTR result = ::DialogBoxParamW(ResourceModule(), MAKEINTRESOURCEW(templateId_), owner,
                                             &ModalDialog::Procedure, reinterpret_cast<LPARAM>(this));
    OnClosed();
    return result;
}

INT_PTR CALLBACK ModalDialog::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* created = message == WM_INITDIALOG ? reinterpret_cast<ModalDialog*>(lParam) : nullptr;
    return RouteToOwner(hwnd, message, wParam, lParam, created, &ModalDialog::hwnd_, &ModalDialog::Dispatch);
}

INT_PTR ModalDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        return OnInit() ? TRUE : FALSE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam), code = HIWORD(wParam);
        if (OnCommand(id, code, reinterpret_cast<HWND>(lParam))) return TRUE;
        if (code != BN_CLICKED) return FALSE;
        if (id == IDOK) {
            OnOk();
            return TRUE;
        }
        if (id == IDCANCEL) {
            OnCancel();
            return TRUE;
        }
        return FALSE;
    }
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
