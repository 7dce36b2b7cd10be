// The vault program from start to end: runs only when its own file lies on
// a USB drive, reads the password record from "CorvastineVault.exe" in its
// folder (whatever the running file is called), asks for the password until
// its digest matches the record, then shows the vault window.
#pragma once

#include "VaultWindow.h"
#include "drives/UsbDrives.h"

namespace corva::vault {

extern const wchar_t kVaultCaption[];       // "Corvastine Vault"
extern const wchar_t kNotOnUsbText[];       // "The application can only run in USB storage disk."
extern const wchar_t kWrongPasswordText[];  // "The password you entered is incorrect. Please try again."
extern const wchar_t kNoRecordText[];       // the vault program file is missing or holds no record

// The exit code: the vault window's end code, or 0 when it was never shown.
int RunVault(corva::DrivePlatform& drives, OpenAddressFn openAddress = &OpenInBrowser);

}  // namespace corva::vault
