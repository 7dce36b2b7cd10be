#include "StowboxDialog.h"

#include <commctrl.h>
#include <objbase.h>

#include "ui/DialogSupport.h"
#include "dialogs/PasswordRules.h"
#include "ui/SecretField.h"
#include "engine/Secrets.h"
#include "resource.h"

namespace corva::vault {

const wchar_t kInstallerCaption[] = L"Corvastine";
const wchar_t kNoUsbDiskText[] = L"Please insert a USB disk.";
const wchar_t kSuccessText[] = L"Installation successful. You may now add files to the Corvastine Stowbox.";
const wchar_t kSuccessCaption[] = L"Success";

StowboxDialog::StowboxDialog(corva::DrivePlatform& drives, const std::wstring& sourceFolder, InstallFiles& files)
    : ModalDialog(IDD_STOWBOX), drives_(drives), sourceFolder_(sourceFolder), files_(files) {}

bool StowboxDialog::OnInit() {
    corva::ui::CenterOnWindow(Handle(), ::GetWindow(Handle(), GW_OWNER));
    corva::ui::SetDialogIcons(Handle());
    corva::ui::LimitFieldLength(Handle(), {IDC_STOWBOX_PASSWORD, IDC_STOWBOX_RETYPE});

    // Built again here: a drive plugged in or pulled out since the start
    // is seen.
    labels_.clear();
    roots_.clear();
    for (const UsbDriveEntry& drive : ListUsbDrives(drives_)) {
        labels_.push_back(drive.label);
        roots_.push_back(drive.root);
    }
    HWND list = ::GetDlgItem(Handle(), IDC_STOWBOX_DRIVES);
    for (size_t i = 0; i < labels_.size(); ++i) {
        const LRESULT at = ::SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(labels_[i].c_str()));
        // The list sorts its entries: each remembers its drive's position.
        if (at >= 0) ::SendMessageW(list, CB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(i));
    }
    ::SendMessageW(list, CB_SETCURSEL, 0, 0);
    return true;
}


void StowboxDialog::OnOk() {
    corva::ui::SecretText password;
    const corva::ui::NewPasswordFields fields{IDC_STOWBOX_PASSWORD, IDC_STOWBOX_RETYPE, IDC_STOWBOX_PASSWORD,
                                              IDC_STOWBOX_RETYPE};
    if (!corva::ui::ReadNewPassword(Handle(), fields, &password)) return;

    HWND list = ::GetDlgItem(Handle(), IDC_STOWBOX_DRIVES);
    const LRESULT selected = ::SendMessageW(list, CB_GETCURSEL, 0, 0);
    const LRESULT index = selected >= 0 ? ::SendMessageW(list, CB_GETITEMDATA, selected, 0) : CB_ERR;
    if (index == CB_ERR || index < 0 || static_cast<size_t>(index) >= roots_.size()) return;
    const std::wstring& root = roots_[static_cast<size_t>(index)];

    std::string record = HashSecretText(password.Text(), corva::kPasswordLabel);
    // Sealing a new password over a vault leaves its files bound to the old
    // one: the user says whether that is meant. No keeps the dialog open.
    if (FindExistingVault(root, record, files_) == ExistingVault::OtherPassword &&
        ::MessageBoxW(Handle(), ReplaceVaultQuestion(root).c_str(), kInstallerCaption,
                      MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) != IDYES) {
        corva::ui::FocusControl(Handle(), IDC_STOWBOX_DRIVES);
        return;
    }
    result_ = InstallVault(sourceFolder_, root, record, files_);
    installed_ = result_.Succeeded();
    if (installed_) {
        corva::ui::ShowInfoMessage(Handle(), kSuccessText, kSuccessCaption);
    } else {
        ::MessageBoxW(Handle(), InstallFailureText(result_, root).c_str(), kInstallerCaption, MB_OK | MB_ICONWARNING);
    }
    Close(IDOK);
}

int RunStowbox(corva::DrivePlatform& drives, const std::wstring& sourceFolder, InstallFiles& files) {
    const bool com = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES;
    ::InitCommonControlsEx(&controls);
    corva::ui::EnsureCommonControls();
    if (ListUsbDrives(drives).empty()) {
        corva::ui::ShowInfoMessage(nullptr, kNoUsbDiskText, kInstallerCaption);
    } else {
        StowboxDialog dialog(drives, sourceFolder, files);
        dialog.ShowModal(::GetActiveWindow());
    }
    if (com) ::CoUninitialize();
    return 0;
}

}  // namespace corva::vault
