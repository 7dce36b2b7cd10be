// The installer's dialog "USB installation" (216): a USB drive, the new
// vault password twice, OK installs the vault on the drive.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "VaultInstaller.h"
#include "ui/ModalDialog.h"
#include "drives/UsbDrives.h"

namespace corva::vault {

extern const wchar_t kInstallerCaption[];  // "Corvastine"
extern const wchar_t kNoUsbDiskText[];     // "Please insert a USB disk."
extern const wchar_t kSuccessText[];       // "Installation successful. ..."
extern const wchar_t kSuccessCaption[];    // "Success"

class StowboxDialog final : public corva::ui::ModalDialog {
public:
    // sourceFolder: where "CorvastineVault.exe" and "libeay32.dll" are
    // copied from (ending with a backslash).
    StowboxDialog(corva::DrivePlatform& drives, const std::wstring& sourceFolder, InstallFiles& files);

    // After OK with valid passwords: what the installation did.
    const InstallResult& Result() const { return result_; }
    bool Installed() const { return installed_; }

protected:
    bool OnInit() override;
    void OnOk() override;  // installs

private:

    corva::DrivePlatform& drives_;
    std::wstring sourceFolder_;
    InstallFiles& files_;
    std::vector<std::wstring> labels_;
    std::vector<std::wstring> roots_;
    InstallResult result_;
    bool installed_ = false;
};

// The installer from start to end; returns the program's exit code (0).
int RunStowbox(corva::DrivePlatform& drives, const std::wstring& sourceFolder, InstallFiles& files);

}  // namespace corva::vault
