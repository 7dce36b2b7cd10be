#include "VaultProgram.h"

#include <windows.h>
#include <ole2.h>

#include "PasswordRecord.h"
#include "VaultLayout.h"
#include "ui/DialogSupport.h"
#include "dialogs/PasswordPromptDialog.h"
#include "engine/SecretText.h"
#include "engine/Secrets.h"
#include "platform/Platform.h"
#include "ui/PasswordGate.h"

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
bool AskPassword(const std::string& record, corva::SecretText* password) {
    return corva::ui::AskUntilMatch(
        [](const std::wstring& prompt, corva::SecretText* entered) {
            VaultEnterPasswordDialog dialog;
            return AskInPasswordDialog(dialog, ::GetActiveWindow(), prompt, entered);
        },
        [&](const corva::SecretText& entered) {
            return HashSecretText(entered.Text(), corva::kPasswordLabel) == record;
        },
        kWrongPasswordText, password);
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
    corva::SecretText password;
    if (!AskPassword(record, &password)) return 0;
    VaultWindow window(password, programFolder, std::move(openAddress));
    password.Wipe();
    return static_cast<int>(window.ShowModal(::GetActiveWindow()));
}

}  // namespace corva::vault
