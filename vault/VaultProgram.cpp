#include "VaultProgram.h"

#include <windows.h>
#include <ole2.h>

#include "PasswordRecord.h"
#include "VaultLayout.h"
#include "dialogs/DialogSupport.h"
#include "dialogs/PasswordPromptDialog.h"
#include "engine/Secrets.h"
#include "platform/Platform.h"

namespace corva::vault {

const wchar_t kVaultCaption[] = L"Corvastine Vault";
const wchar_t kNotOnUsbText[] = L"The application can only run in USB storage disk.";
const wchar_t kWrongPasswordText[] = L"The password you entered is incorrect. Please try again.";
const wchar_t kNoRecordText[] =
    L"The vault program file \"CorvastineVault.exe\" is missing or damaged, so the vault password cannot be "
    L"checked. Please install the vault on this drive again.";

namespace {

// OLE (and with it COM) for the thread while the object lives.
class OleScope {
public:
    OleScope() : initialised_(SUCCEEDED(::OleInitialize(nullptr))) {}
    ~OleScope() {
        if (initialised_) ::OleUninitialize();
    }
    OleScope(const OleScope&) = delete;
    OleScope& operator=(const OleScope&) = delete;

private:
    bool initialised_;
};

// Asks until the typed password's digest text equals the record's; false
// when the user cancels.
bool AskPassword(const std::string& record, std::string* password) {
    std::wstring prompt = PasswordPromptDialog::kDefaultPrompt;
    for (;;) {
        VaultEnterPasswordDialog dialog;
        dialog.SetPrompt(prompt);
        if (dialog.DoModal(::GetActiveWindow()) != IDOK) return false;
        if (HashSecretText(dialog.Password(), corva::kPasswordLabel) == record) {
            *password = dialog.Password();
            return true;
        }
        prompt = kWrongPasswordText;
    }
}

}  // namespace

int RunVault(corva::DrivePlatform& drives, OpenAddressFn openAddress) {
    OleScope ole;
    corva::ui::EnsureCommonControls();
    if (!IsModuleOnUsbDrive(drives)) {
        corva::ui::ShowInfoMessage(nullptr, kNotOnUsbText, kVaultCaption);
        return 0;
    }
    const std::wstring programFolder = ProgramFolderOf(drives.ModuleFileName());
    std::string record;
    if (ReadPasswordRecord(programFolder + kVaultProgramName, &record) != RecordStatus::Ok) {
        ::MessageBoxW(nullptr, kNoRecordText, kVaultCaption, MB_OK | MB_ICONWARNING);
        return 0;
    }
    std::string password;
    if (!AskPassword(record, &password)) return 0;
    VaultWindow window(password, programFolder, std::move(openAddress));
    plat::SecureZero(&password[0], password.size());
    return static_cast<int>(window.DoModal(::GetActiveWindow()));
}

}  // namespace corva::vault
