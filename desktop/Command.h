// The desktop program's commands: one value for each, whether it comes from
// the menu, an accelerator, the toolbar, the file list's context menu or a
// posted WM_COMMAND. The numbers are those of resource.h (which the
// resource compiler reads too); this is the typed list of them. Portable:
// nothing here touches a window; an id that names no command gives none.
#pragma once

#include <optional>

#include "resource.h"

namespace corva::desktop {

enum class Command : int {
    Exit = ID_APP_EXIT,
    Lock = ID_EDIT_LOCK,
    Unlock = ID_EDIT_UNLOCK,
    Shred = ID_EDIT_SHRED,
    Open = ID_EDIT_OPEN,
    SelectAll = ID_EDIT_SELECT_ALL,
    StatusBar = ID_VIEW_STATUS_BAR,
    Refresh = ID_VIEW_REFRESH,
    TipsPanel = ID_VIEW_TIPS,
    LargeIcons = ID_VIEW_LARGEICONS,
    Details = ID_VIEW_DETAILS,
    SmallIcons = ID_VIEW_SMALLICONS,
    List = ID_VIEW_LIST,
    ChangePassword = ID_TOOLS_CHANGE_PASSWORD,
    ForgotPassword = ID_TOOLS_FORGOT_PASSWORD,
    QuickStart = ID_HELP_QUICK_START,
    ProductInfo = ID_HELP_PRODUCT_INFO,
    CompanyInfo = ID_HELP_COMPANY_INFO,
    Support = ID_HELP_SUPPORT,
    About = ID_APP_ABOUT,
    Feedback = ID_HELP_FEEDBACK,
    LearnMore = ID_HELP_LEARN_MORE,
};

// The command a WM_COMMAND id (or a menu item's id) names; none for any
// other number.
std::optional<Command> CommandOfId(int id);

// The id a command has in menus, accelerators, toolbars and WM_COMMAND.
constexpr int IdOf(Command command) { return static_cast<int>(command); }

}  // namespace corva::desktop
