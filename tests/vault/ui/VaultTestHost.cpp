// The vault program and the installer as the tests run them: the same code
// as CorvastineVault.exe and Stowbox.exe, with the USB-drive test answered
// by a scripted device-management platform instead of the system's.
//   vault_test_host vault LETTERS [BYTES]
//                                      the vault program; the drives named by
//                                      LETTERS (e.g. "UW") are USB drives; with
//                                      BYTES, writes fail as on a full drive
//                                      once that many bytes have been written
//   vault_test_host stowbox LETTERS    the installer, copying from its own folder
// "Learn More" writes the address to "learn-more.txt" beside the program
// instead of starting a browser.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <fstream>
#include <string>

#include "StowboxDialog.h"
#include "VaultLayout.h"
#include "VaultProgram.h"
#include "ScriptedUsbDrives.h"
#include "platform/Platform.h"

namespace {

void RecordAddress(const std::wstring& address) {
    const std::wstring file = corva::vault::ProgramFolderOf(plat::ModulePath()) + L"learn-more.txt";
    std::ofstream out(file.c_str());
    out << plat::WideToNarrow(address);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc < 3) return 100;
    const std::wstring mode = argv[1];
    vaulttest::ScriptedUsbDrives drives(argv[2]);
    // The room left on the vault's drive: the vault writes only there.
    if (argc > 3) plat::SetWriteBudgetForTesting(std::wcstoll(argv[3], nullptr, 10));
    ::LocalFree(argv);
    try {
        if (mode == L"vault") return corva::vault::RunVault(drives, &RecordAddress);
        if (mode == L"stowbox") {
            return corva::vault::RunStowbox(drives, corva::vault::ProgramFolderOf(plat::ModulePath()),
                                            corva::vault::SystemInstallFiles());
        }
    } catch (...) {
        return 101;
    }
    return 100;
}
