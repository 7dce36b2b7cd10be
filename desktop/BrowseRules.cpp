#include "BrowseRules.h"

#include <cwctype>

#include "engine/LockedFile.h"

namespace corva::desktop {

void ApplyColumnClick(SortState& sort, int column) {
    if (column < 0 || column >= kListColumns) return;
    if (column == sort.column) {
        sort.ascending = !sort.ascending;
    } else {
        sort.column = column;
        sort.ascending = true;
    }
}

int PlainTextOrder(const std::wstring& a, const std::wstring& b) {
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const wint_t x = std::towlower(static_cast<wint_t>(a[i]));
        const wint_t y = std::towlower(static_cast<wint_t>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
    return 0;
}

namespace {

template <typename T>
int Sign(const T& a, const T& b) {
    return a < b ? -1 : (b < a ? 1 : 0);
}

}  // namespace

int CompareRows(const RowSortKey& a, const RowSortKey& b, int column, TextOrder order) {
    if (a.folder != b.folder) return a.folder ? -1 : 1;
    int result = 0;
    switch (column) {
    case 1: result = Sign(a.size, b.size); break;
    case 2: result = order(a.type, b.type); break;
    case 3: result = Sign(a.modified, b.modified); break;
    default: break;
    }
    if (result != 0) return result;
    result = order(a.name, b.name);
    if (result != 0) return result;
    return Sign(a.name, b.name);  // names differing only in case
}

bool RowBefore(const RowSortKey& a, const RowSortKey& b, const SortState& sort, TextOrder order) {
    return sort.ascending ? CompareRows(a, b, sort.column, order) < 0 : CompareRows(b, a, sort.column, order) < 0;
}

DoubleClickAction DoubleClickActionFor(const std::wstring& rowName, bool folderMatched) {
    if (folderMatched) return DoubleClickAction::ShowFolder;
    if (HasLockedExtension(rowName)) return DoubleClickAction::RefuseLocked;
    return DoubleClickAction::Open;
}

namespace {

bool IsOwnMenuCommand(Command command) {
    if (command == kOpenMenuEntry.command) return true;
    for (const OwnMenuEntry& entry : kOwnMenuEntries)
        if (entry.command == command) return true;
    return false;
}

}  // namespace

int ExtensionEntryPosition(const std::vector<std::wstring>& texts) {
    for (size_t i = 0; i < texts.size(); ++i) {
        if (texts[i] == kExtensionMenuText) return static_cast<int>(i);
    }
    return -1;
}

MenuRoute RouteMenuChoice(int chosen) {
    MenuRoute route;
    if (chosen <= 0) return route;
    const std::optional<Command> command = CommandOfId(chosen);
    if (command && IsOwnMenuCommand(*command)) {
        route.kind = MenuRoute::Kind::PostCommand;
        route.command = *command;
    } else {
        route.kind = MenuRoute::Kind::ShellCommand;
        route.shellOffset = chosen - 1;
    }
    return route;
}

namespace {

// Counts until the sum reaches budget: a sub-folder gets what is left of
// it, so the whole walk visits at most about kLargeLockCount entries.
int CountUpTo(const std::wstring& folder, int budget, const FolderLister& lister, const PathJoiner& join) {
    int sum = 0;
    const bool entered = lister(folder, [&](const std::wstring& name, EntryType type) {
        sum += type == EntryType::Folder ? CountUpTo(join(folder, name), budget - sum, lister, join) : 1;
        return sum < budget;
    });
    return entered ? sum : kLargeLockCount;
}

}  // namespace

int CountFilesCapped(const std::wstring& folder, const FolderLister& lister, const PathJoiner& join) {
    return CountUpTo(folder, kLargeLockCount, lister, join);
}

bool NeedsLargeLockQuestion(const std::vector<std::wstring>& paths,
                            const std::function<bool(const std::wstring&)>& isFolder, const FolderLister& lister,
                            const PathJoiner& join) {
    int count = 0;
    for (const std::wstring& path : paths) {
        if (count >= kLargeLockCount) break;
        count += isFolder(path) ? CountFilesCapped(path, lister, join) : 1;
    }
    return count >= kLargeLockCount;
}

std::wstring RowNameAfterBatch(BatchKind kind, const std::wstring& name,
                               const std::function<bool(const std::wstring&)>& rowExists) {
    if (kind == BatchKind::Shred || name.empty()) return std::wstring();
    if (rowExists(name)) return name;
    std::wstring other;
    if (kind == BatchKind::Lock) {
        other = name + kLockedExtension;
    } else if (HasLockedExtension(name)) {
        other = name.substr(0, name.size() - std::char_traits<wchar_t>::length(kLockedExtension));
    }
    return !other.empty() && rowExists(other) ? other : std::wstring();
}

}  // namespace corva::desktop
