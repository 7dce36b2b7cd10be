// Base of the modal dialogs built from a dialog resource: routes the
// dialog procedure to the object, shows the dialog one way (ShowModal),
// and answers OK and Cancel (the buttons, Enter, Escape and the close box)
// by closing with IDOK or IDCANCEL unless the dialog says otherwise.
// Nothing thrown inside a handler leaves the dialog procedure.
#pragma once

#include <windows.h>

namespace corva::ui {

class ModalDialog {
public:
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

    // Shows the dialog modally, owned by owner, and returns the value it
    // was closed with (IDOK, IDCANCEL, ...; -1 when it could not be
    // created).
    INT_PTR ShowModal(HWND owner);

protected:
    explicit ModalDialog(int templateId) : templateId_(templateId) {}
    virtual ~ModalDialog() = default;

    HWND Handle() const { return hwnd_; }
    void Close(INT_PTR result) { ::EndDialog(hwnd_, result); }

    // Before the dialog is created, each time it is shown.
    virtual void OnShowing() {}
    // After it has closed (also when it could not be created at all).
    virtual void OnClosed() {}
    // WM_INITDIALOG: true lets the system put the focus on the first control.
    virtual bool OnInit() { return true; }
    // The OK button (or Enter): closes with IDOK.
    virtual void OnOk() { Close(IDOK); }
    // The Cancel button, Escape or the close box: closes with IDCANCEL.
    virtual void OnCancel() { Close(IDCANCEL); }
    // WM_COMMAND before OK and Cancel are answered: true when handled.
    virtual bool OnCommand(int /*id*/, int /*code*/, HWND /*control*/) { return false; }
    // Any other message: true when handled; *result is what the dialog
    // procedure returns then.
    virtual bool OnMessage(UINT /*message*/, WPARAM, LPARAM, INT_PTR* /*result*/) { return false; }
    // WM_DESTROY, before the window's controls go away.
    virtual void OnDestroy() {}

private:
    static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    int templateId_;
    HWND hwnd_ = nullptr;
};

}  // namespace corva::ui
