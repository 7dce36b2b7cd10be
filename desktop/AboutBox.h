// The About box (dialog 100): the program's icon and name, its version and
// build date, what it does, and where to get help: a link to the support
// pages, opened in the default web browser. A link that cannot be opened
// is named in a message; nothing is thrown.
#pragma once

#include <windows.h>

#include "ModalDialog.h"

namespace corva::desktop {

class AboutBox final : public corva::ui::ModalDialog {
public:
    AboutBox();

protected:
    bool OnInit() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;
};

}  // namespace corva::desktop
