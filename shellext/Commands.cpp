#include "Commands.h"

#include "DialogActivation.h"
#include "EnterPasswordDialog.h"
#include "OpenCommand.h"
#include "PasswordSetupWizard.h"
#include "engine/SecretText.h"
#include "settings/PasswordStore.h"
#include "ui/BatchFactory.h"
#include "ui/PasswordGate.h"
#include "ui/RunBatch.h"

namespace corva::shell {

namespace {

HWND ActiveOwner(HWND fallback) {
    HWND active = ::GetActiveWindow();
    return active ? active : fallback;
}

corva::ui::BatchKind KindOf(CommandAction action) {
    switch (action) {
    case CommandAction::Unlock: return corva::ui::BatchKind::Unlock;
    case CommandAction::Shred: return corva::ui::BatchKind::Shred;
    default: return corva::ui::BatchKind::Lock;
    }
}

}  // namespace

void RunShellCommand(CommandAction action, const std::vector<std::wstring>& targets, HWND fallbackOwner) {
    if (action == CommandAction::None || targets.empty()) return;
    DialogActivation activation;
    corva::SecretText password;
    // Ok without a password set runs the setup wizard with this host's
    // welcome text.
    const bool accepted = corva::ui::AskUntilMatch(
        [&](const std::wstring& prompt, corva::SecretText* entered) {
            return AskWithEnterPasswordDialog(SetupWizardHost::ShellExtension, ActiveOwner(fallbackOwner), prompt,
                                              entered);
        },
        [](const corva::SecretText& entered) { return CheckPassword(entered.Text()); }, corva::ui::kIncorrectPrompt,
        &password);
    if (!accepted) return;
    RecoverWorkingCopies(password, ActiveOwner(fallbackOwner));
    if (action == CommandAction::Open) {
        OpenForEditing(targets.front(), password, ActiveOwner(fallbackOwner));
        return;
    }
    const corva::ui::BatchKind kind = KindOf(action);
    if (kind == corva::ui::BatchKind::Shred) {
        password.Wipe();
        if (!corva::ui::ConfirmShred(nullptr, targets)) return;
    }
    auto batch = corva::ui::MakeBatch(kind, targets, password);
    password.Wipe();
    corva::ui::RunBatch(ActiveOwner(fallbackOwner), *batch);
}

}  // namespace corva::shell
