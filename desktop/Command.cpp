#include "Command.h"

namespace corva::desktop {

std::optional<Command> CommandOfId(int id) {
    // No default: the compiler names any command missing here.
    const auto command = static_cast<Command>(id);
    switch (command) {
    case Command::Exit:
    case Command::Lock:
    case Command::Unlock:
    case Command::Shred:
    case Command::Open:
    case Command::SelectAll:
    case Command::StatusBar:
    case Command::Refresh:
    case Command::TipsPanel:
    case Command::LargeIcons:
    case Command::Details:
    case Command::SmallIcons:
    case Command::List:
    case Command::ChangePassword:
    case Command::ForgotPassword:
    case Command::QuickStart:
    case Command::ProductInfo:
    case Command::CompanyInfo:
    case Command::Support:
    case Command::About:
    case Command::Feedback:
    case Command::LearnMore:
        return command;
    }
    return std::nullopt;
}

}  // namespace corva::desktop
