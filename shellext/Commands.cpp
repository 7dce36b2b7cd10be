#include "Commands.h"

#include <vector>

#include "DialogActivation.h"
#include "OpenCommand.h"
#include "EnterPasswordDialog.h"
#include "BatchRunner.h"
#include "PasswordSetupWizard.h"
#include "engine/Batch.h"
#include "engine/SecretText.h"
#include "platform/Platform.h"
#include "settings/PasswordStore.h"

namespace corva::shell {

const wchar_t kIncorrectPasswordPrompt[] =
    L"The password you entered is incorrect. Please try again or click I Forgot My Password to reset your password.";
const wchar_t kShredQuestion[] = L"Do you really want to shred the file?";
const wchar_t kShredCaption[] = L"Warning";

namespace {

HWND ActiveOwner(HWND fallback) {
    HWND active = ::GetActiveWindow();
    return active ? active : fallback;
}

// The password prompt, repeated with the "incorrect" text until the entry
// matches the stored digest; false when the user cancels.
bool AskPassword(HWND fallbackOwner, corva::SecretText* password) {
    std::wstring prompt = PasswordPromptDialog::kDefaultPrompt;
    for (;;) {
        // Ok without a password set runs the setup wizard with this host's
        // welcome text.
        EnterPasswordDialog dialog(SetupWizardHost::ShellExtension);
        dialog.SetPrompt(prompt);
        if (dialog.DoModal(ActiveOwner(fallbackOwner)) != IDOK) return false;
        *password = corva::SecretText(dialog.Password());
        if (CheckPassword(password->Text())) return true;
        password->Wipe();
        prompt = kIncorrectPasswordPrompt;
    }
}

void RunInProgressDialog(BatchProgress& batch, HWND fallbackOwner) {
    batch.SetProtectedPaths(plat::OwnProgramFiles());
    corva::ui::RunBatch(ActiveOwner(fallbackOwner), batch);
}

}  // namespace

void RunShellCommand(CommandAction action, const std::wstring& target, HWND fallbackOwner) {
    if (action == CommandAction::None || target.empty()) return;
    DialogActivation activation;
    corva::SecretText password;
    if (!AskPassword(fallbackOwner, &password)) return;
    RecoverWorkingCopies(password.Text().c_str(), ActiveOwner(fallbackOwner));
    const std::vector<std::wstring> paths{target};
    switch (action) {
    case CommandAction::Lock: {
        LockBatch batch(paths, password.Text(), nullptr);
        password.Wipe();
        RunInProgressDialog(batch, fallbackOwner);
        break;
    }
    case CommandAction::Unlock: {
        UnlockBatch batch(paths, password.Text(), nullptr);
        password.Wipe();
        RunInProgressDialog(batch, fallbackOwner);
        break;
    }
    case CommandAction::Shred: {
        password.Wipe();
        // Only a clear Yes shreds: a box that could not be shown is no answer.
        if (::MessageBoxW(nullptr, kShredQuestion, kShredCaption, MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
        ShredBatch batch(paths);
        RunInProgressDialog(batch, fallbackOwner);
        break;
    }
    case CommandAction::Open:
        OpenForEditing(target, password.Text().c_str(), ActiveOwner(fallbackOwner));
        password.Wipe();
        break;
    case CommandAction::None:
        break;
    }
}

}  // namespace corva::shell
