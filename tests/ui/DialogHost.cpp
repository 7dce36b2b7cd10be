// A small program that shows one of the common dialogs, so that the
// harness can be tested driving a window of another process.
//   ui_dialog_host vault-prompt EXPECTED
// shows the vault's password prompt; the exit code is 2 for Cancel, 1 for
// Ok with another password and 11 for Ok with EXPECTED.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "PasswordPromptDialog.h"
#include "platform/Platform.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 3 || std::wstring(argv[1]) != L"vault-prompt") return 100;
    std::string expected = plat::WideToNarrow(argv[2]);
    ::LocalFree(argv);

    VaultEnterPasswordDialog prompt;
    INT_PTR result = prompt.ShowModal(nullptr);
    if (result != IDOK) return static_cast<int>(result);
    return prompt.Password() == expected ? 11 : 1;
}
