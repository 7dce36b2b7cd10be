#include "PasswordGate.h"

#include "engine/SecretText.h"

namespace corva::desktop {

const wchar_t kEnterPrompt[] = L"Please enter your password to continue.";
const wchar_t kIncorrectPrompt[] =
    L"The password you entered is incorrect. Please try again or click I Forgot My Password to reset your "
    L"password.";

bool RunPasswordGate(GatePorts& ports, std::string* accepted) {
    WipeString(*accepted);
    ports.EnsureSettings();
    if (!ports.PasswordStored()) ports.RunSetupWizard();
    std::wstring prompt = kEnterPrompt;
    for (;;) {
        std::string entered;
        if (!ports.AskPassword(prompt, &entered)) {
            WipeString(entered);
            return false;
        }
        if (ports.CheckPassword(entered)) {
            accepted->swap(entered);
            WipeString(entered);
            return true;
        }
        WipeString(entered);
        prompt = kIncorrectPrompt;
    }
}

}  // namespace corva::desktop
