// Stowbox, the vault installer: puts a vault onto a USB drive from the
// files beside it.
#include <windows.h>

#include "StowboxDialog.h"
#include "VaultLayout.h"
#include "platform/Platform.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    try {
        return corva::vault::RunStowbox(corva::SystemDrivePlatform(),
                                        corva::vault::ProgramFolderOf(plat::ModulePath()),
                                        corva::vault::SystemInstallFiles());
    } catch (...) {
        return 1;
    }
}
