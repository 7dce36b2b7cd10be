#include "MenuModel.h"

#include "ShellResourceIds.h"
#include "engine/LockedFile.h"

namespace corva::shell {

const wchar_t kVerb[] = L"Stat.";

MenuPlan MenuFor(const std::vector<std::wstring>& paths) {
    MenuPlan plan{{kSubmenuOffset, L"Corvastine", IDB_MENU_CORVASTINE},
                  {{kLockOffset, L"Lock", IDB_MENU_LOCK},
                   {kUnlockOffset, L"Unlock", IDB_MENU_UNLOCK},
                   {kShredOffset, L"Shred", IDB_MENU_SHRED}}};
    if (paths.size() == 1 && HasLockedExtension(paths.front()))
        plan.commands.push_back({kOpenOffset, L"Open", IDB_MENU_UNLOCK});
    return plan;
}

unsigned IdsUsedBy(const MenuPlan& plan) {
    unsigned used = kCommandIdsUsed;
    for (const MenuEntry& entry : plan.commands)
        if (entry.offset + 1 > used) used = entry.offset + 1;
    return used;
}

bool IdRangeFits(unsigned first, unsigned last) {
    if (first > ~0u - kShredOffset) return false;
    return first + kShredOffset <= last;
}

std::vector<std::wstring> CommandTargets(const std::vector<std::wstring>& paths) {
    std::vector<std::wstring> targets;
    for (const std::wstring& path : paths) {
        if (!path.empty()) targets.push_back(path);
    }
    return targets;
}

CommandAction ActionFor(unsigned offset, const std::vector<std::wstring>& targets,
                        const std::function<bool(const std::wstring&)>& isFolder) {
    if (targets.empty()) return CommandAction::None;
    switch (offset) {
    case kLockOffset:
        return CommandAction::Lock;
    case kUnlockOffset:
        for (const std::wstring& target : targets) {
            if (HasLockedExtension(target) || isFolder(target)) return CommandAction::Unlock;
        }
        return CommandAction::None;
    case kShredOffset:
        return CommandAction::Shred;
    case kOpenOffset:
        return targets.size() == 1 && HasLockedExtension(targets.front()) ? CommandAction::Open : CommandAction::None;
    default:
        return CommandAction::None;
    }
}

bool IsOwnVerb(const std::wstring& verb) {
    const std::wstring own(kVerb);
    if (verb.size() != own.size()) return false;
    for (size_t i = 0; i < own.size(); ++i) {
        wchar_t c = verb[i];
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
        wchar_t o = own[i];
        if (o >= L'A' && o <= L'Z') o = static_cast<wchar_t>(o - L'A' + L'a');
        if (c != o) return false;
    }
    return true;
}

}  // namespace corva::shell
