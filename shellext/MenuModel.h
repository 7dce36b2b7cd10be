// What the context-menu handler shows and does, as plain data and pure
// functions (portable, tested natively): the "Corvastine" submenu and its
// three commands at fixed offsets from the shell's first command id, the
// path the commands act on, the language-independent verb, and copying
// texts into the shell's fixed-size buffers.
#pragma once

#include <cstddef>
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

// Longest path the commands act on, in characters (a 260-character buffer
// with its terminator).
constexpr size_t kMaxTargetChars = 259;

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

// The path the commands act on: the first selected path. A path longer
// than kMaxTargetChars is never shortened (the shorter text could name
// another file): the commands then act on nothing (empty result).
std::wstring CommandTarget(const std::vector<std::wstring>& paths);

enum class CommandAction { None, Lock, Unlock, Shred, Open };

// What a command offset does for the target: nothing for an empty target
// or an unknown offset; Unlock and Open only for a name ending in
// ".corvastine".
CommandAction ActionFor(unsigned offset, const std::wstring& target);

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
