// Base of the modal dialogs built from a dialog resource: routes the
// dialog procedure to the object. Nothing thrown inside a handler leaves
// the dialog procedure.
#pragma once

#include <windows.h>

namespace corva::ui {

class ModalDialog {
public:
    ModalDialog(const ModalDialog&) = delete;
    ModalDialog& operator=(const ModalDialog&) = delete;

protected:
    explicit ModalDialog(int templateId) : templateId_(templateId) {}
    virtual ~ModalDialog() = default;

    // Shows the dialog modally and returns the value it was closed with
    // (-1 when it could not be created).
    INT_PTR RunModal(HWND owner);
    HWND Handle() const { return hwnd_; }
    void Close(INT_PTR result) { ::EndDialog(hwnd_, result); }

    // WM_INITDIALOG: true lets the system put the focus on the first control.
    virtual bool OnInit() { return true; }
    // WM_COMMAND: true when handled.
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
