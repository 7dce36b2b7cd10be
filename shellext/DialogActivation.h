// Activates the library's own manifest (resource 2: common controls 6)
// while it lives, so that dialogs opened inside a host program that has no
// such manifest (Explorer's process may have another one) get the controls
// the dialogs were made for. When the context cannot be made, the dialogs
// run with the host's controls.
#pragma once

#include <windows.h>

namespace corva::shell {

class DialogActivation {
public:
    DialogActivation();
    ~DialogActivation();
    DialogActivation(const DialogActivation&) = delete;
    DialogActivation& operator=(const DialogActivation&) = delete;

    bool Active() const { return cookie_ != 0; }

private:
    HANDLE context_ = INVALID_HANDLE_VALUE;
    ULONG_PTR cookie_ = 0;
};

}  // namespace corva::shell
