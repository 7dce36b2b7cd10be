// Texts of the wizard pages, as the user must see them.
#pragma once

namespace dialogtest {

inline constexpr wchar_t kWelcomeTitle[] = L"Welcome to the Corvastine Setup Wizard";
inline constexpr wchar_t kDesktopWelcome[] =
    L"This one-time setup requires that you configure your password and security questions before you can begin "
    L"using Corvastine.";
inline constexpr wchar_t kShellExtensionWelcome[] =
    L"The Setup Wizard will guide you through the installation of Corvastine. Click Next to continue or Cancel to "
    L"exit setup.";
inline constexpr wchar_t kQuestionsIntro[] =
    L"For maximum security and privacy, you must select and answer three challenge questions below. ";
inline constexpr wchar_t kQuestionsWarning[] =
    L"If you forget your password, you will be prompted to answer these questions so that your password can be "
    L"reset. This is the only method for resetting your password, so be sure to remember your answers!";
inline constexpr wchar_t kSetupPasswordIntro[] =
    L"Enter a password below. You will need to enter this password to lock, unlock or shred files using "
    L"Corvastine.";
inline constexpr wchar_t kSetupFinish[] =
    L"Congratulations!\n\nAfter you click Finish you will be able to begin using Corvastine.";
inline constexpr wchar_t kForgotIntro[] =
    L"To reset your password, you must enter the correct answer to all 3 challenge questions you created when "
    L"first installing Corvastine.";
inline constexpr wchar_t kForgotNewPassword[] = L"Correct answers! Enter a new password below.";
inline constexpr wchar_t kForgotDone[] = L"Congratulations You have successfully created a new password.";

// The first three questions in alphabetical order.
inline constexpr wchar_t kFirstQuestion[] = L"In what city did you meet your spouse/significant other?";
inline constexpr wchar_t kSecondQuestion[] = L"In what city or town did your mother and father meet?";
inline constexpr wchar_t kThirdQuestion[] = L"In what town was your first job?";

}  // namespace dialogtest
