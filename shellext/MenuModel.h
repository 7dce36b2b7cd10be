// What the context-menu handler shows and does, as plain data and pure
// functions (portable, tested natively): the "Corvastine" submenu and its
// three commands at fixed offsets from the shell's first command id, the
// paths the commands act on, the language-independent verb, and copying
// texts into the shell's fixed-size buffers.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace corva::shell {

// Command offsets; the offset is also the number of the item's help text in
// the string table.
constexpr unsigned kSubmenuOffset = 100;
constexpr unsigned kLockOffset = 101;
constexpr unsigned kUnlockOffset = 102;
constexpr unsigned kShredOffset = 103;
// Ids used, counted from the shell's first id: the code part of the result
// of QueryContextMenu.
constexpr unsigned kCommandIdsUsed = 104;
// "Open", shown after the three only for a single locked file; the menu
// then uses one id more.
constexpr unsigned kOpenOffset = 104;

// Longest help text of the string table, in characters (a 260-character
// buffer with its terminator).
constexpr size_t kMaxHelpChars = 259;

extern const wchar_t kVerb[];  // "Stat.", the verb of every item

struct MenuEntry {
    unsigned offset;
    const wchar_t* text;
    int bitmapId;
};

struct MenuPlan {
    MenuEntry header;                // "Corvastine", the item that opens the submenu
    std::vector<MenuEntry> commands;  // "Lock", "Unlock", "Shred", in this order (then "Open")
};

// The menu for a selection: "Lock", "Unlock" and "Shred" for every
// selection (files or folders, locked or not; what a command does is
// decided when it runs), and "Open" after them for a single file whose
// name ends in ".corvastine".
MenuPlan MenuFor(const std::vector<std::wstring>& paths);
// Ids the plan uses, counted from the shell's first id.
unsigned IdsUsedBy(const MenuPlan& plan);

// True when the shell's id range [first, last] holds first + 100 to
// first + 103 (without wrapping around).
bool IdRangeFits(unsigned first, unsigned last);

// The paths the commands act on: every selected path, in the shell's
// order, whole at any length (empty entries are left out).
std::vector<std::wstring> CommandTargets(const std::vector<std::wstring>& paths);

enum class CommandAction { None, Lock, Unlock, Shred, Open };

// What a command offset does for the targets: nothing without a target or
// for an unknown offset; Unlock only when a target is a locked file (a
// name ending in ".corvastine") or a folder, whose locked files it unlocks
// (isFolder tells a real folder); Open only for a single locked file.
CommandAction ActionFor(unsigned offset, const std::vector<std::wstring>& targets,
                        const std::function<bool(const std::wstring&)>& isFolder);

// True for the verb "Stat." in any letter case.
bool IsOwnVerb(const std::wstring& verb);

// Copies text into a buffer of size elements, cut short where needed;
// whenever size > 0 the buffer ends up terminated within its size. Returns
// the number of characters copied (without the terminator).
template <typename Char>
size_t CopyTruncated(const std::basic_string<Char>& text, Char* buffer, size_t size) {
    if (!buffer || size == 0) return 0;
    size_t n = text.size() < size - 1 ? text.size() : size - 1;
    for (size_t i = 0; i < n; ++i) buffer[i] = text[i];
    buffer[n] = Char(0);
    return n;
}

}  // namespace corva::shell
