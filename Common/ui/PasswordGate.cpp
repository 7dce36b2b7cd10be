#include "PasswordGate.h"

namespace corva::ui {

const wchar_t kEnterPrompt[] = L"Please enter your password to continue.";
const wchar_t kIncorrectPrompt[] =
    L"The password you entered is incorrect. Please try again or click I Forgot My Password to reset your "
    L"password.";

bool AskUntilMatch(const PasswordAsk& ask, const PasswordCheck& check, const std::wstring& incorrectPrompt,
                   corva::SecretText* accepted) {
    accepted->Wipe();
    std::wstring prompt = kEnterPrompt;
    for (;;) {
        corva::SecretText entered;
        if (!ask(prompt, &entered)) return false;
        if (check(entered)) {
            *accepted = std::move(entered);
            return true;
        }
        prompt = incorrectPrompt;
    }  // each wrong entry is wiped as it goes out of scope
}

}  // namespace corva::ui
