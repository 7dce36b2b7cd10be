// The file list's rules as plain functions over plain values, so that they
// run and are tested on any platform: the sort order of the rows and how a
// column click changes it, what a double click on a row does, which entry
// of the shell's item menu belongs to the shell extension, where a choice
// of the context menu goes, the count of files that decides whether
// locking asks first, the questions asked before a batch (which name what
// they act on), and the rows selected again after a batch. Nothing here
// touches a window; nothing fails.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "BatchQuestions.h"
#include "Command.h"

namespace corva::desktop {

// ------------------------------------------------------------ sorting
constexpr int kListColumns = 4;  // Name, Size, Type, Modified

struct SortState {
    int column = 0;          // 0 to 3
    bool ascending = true;
};

// A click on a column header: the sort column again reverses the
// direction; another column sorts ascending by it.
void ApplyColumnClick(SortState& sort, int column);

// What a row is sorted by, read once when the row is added. The size and
// the time are the item's own values, not the texts shown.
struct RowSortKey {
    bool folder = false;
    std::wstring name;      // the normal display name
    std::wstring type;      // the type text
    uint64_t size = 0;      // bytes
    uint64_t modified = 0;  // last write time, 100 ns units
};

// Compares texts the way names are ordered for the user (<0, 0, >0).
using TextOrder = int (*)(const std::wstring& a, const std::wstring& b);
// Case-insensitive comparison of UTF-16 code units (the portable order).
int PlainTextOrder(const std::wstring& a, const std::wstring& b);

// Orders two rows by a column, ascending: folders before other items, then
// the column's value (names and types as text, sizes and times by value),
// then the name, so that equal values keep a stable, readable order.
// Descending order is the same comparison with the rows swapped.
int CompareRows(const RowSortKey& a, const RowSortKey& b, int column, TextOrder order);
bool RowBefore(const RowSortKey& a, const RowSortKey& b, const SortState& sort, TextOrder order);

// ------------------------------------------------------------ double click
enum class DoubleClickAction {
    ShowFolder,    // a tree child has the row's name: select and expand it
    RefuseLocked,  // a locked file: tell the user to unlock it first
    Open,          // anything else: its default action
};
// folderMatched: a child of the tree's selected folder has exactly the
// row's name. Locked names end in ".corvastine", upper and lower case as
// written.
DoubleClickAction DoubleClickActionFor(const std::wstring& rowName, bool folderMatched);

// ------------------------------------------------------------ context menu
constexpr wchar_t kExtensionMenuText[] = L"Corvastine";
// Position of the shell extension's own entry among the texts of the
// shell's item menu (the first one named "Corvastine"), or -1.
int ExtensionEntryPosition(const std::vector<std::wstring>& texts);

// The program's own entries on top of the list's context menu: "Open"
// first on a locked file, then the others on any row.
struct OwnMenuEntry {
    Command command;
    const wchar_t* text;
};
constexpr OwnMenuEntry kOpenMenuEntry{Command::Open, L"Open"};
constexpr OwnMenuEntry kOwnMenuEntries[] = {{Command::Lock, L"Lock"},
                                            {Command::Unlock, L"Unlock"},
                                            {Command::Shred, L"Shred"},
                                            {Command::ChangePassword, L"Change Password"}};

struct MenuRoute {
    enum class Kind { Nothing, PostCommand, ShellCommand } kind = Kind::Nothing;
    Command command = Command::Open;  // the command to post (PostCommand)
    int shellOffset = 0;              // the shell's command offset (ShellCommand)
};
// Where a choice of the list's context menu goes: 0 nowhere, the
// program's own entries to the main window, any other number n to the
// shell's command n - 1.
MenuRoute RouteMenuChoice(int chosen);

// ------------------------------------------------------------ large locks
// The count from which locking asks before it starts.
constexpr int kLargeLockCount = 100;

enum class EntryType { File, Folder, Link };
// Lists a folder's entries in the system's order, calling visit(name,
// type) for each (without "." and ".."), stopping when visit returns
// false. False when the folder cannot be entered.
using FolderLister = std::function<bool(const std::wstring& folder,
                                        const std::function<bool(const std::wstring&, EntryType)>& visit)>;
// Joins a folder and a name.
using PathJoiner = std::function<std::wstring(const std::wstring&, const std::wstring&)>;

// The files of a folder, depth first in listing order, counted up to the
// cap: the count stops as soon as the whole walk reaches kLargeLockCount.
// A folder that cannot be entered, at any depth, counts as
// kLargeLockCount. Links are counted as one entry and never entered. A
// result of kLargeLockCount or more means at least that many files.
int CountFilesCapped(const std::wstring& folder, const FolderLister& lister, const PathJoiner& join);

// True when the selection holds at least kLargeLockCount files: each
// selected folder counts its files (capped), anything else one.
// isFolder tells a real folder (not a link to one).
bool NeedsLargeLockQuestion(const std::vector<std::wstring>& paths,
                            const std::function<bool(const std::wstring&)>& isFolder, const FolderLister& lister,
                            const PathJoiner& join);

// ------------------------------------------------------------ questions
// The questions before a batch are every program's (ui/BatchQuestions.h).
using corva::ui::BatchKind;
using corva::ui::LargeLockQuestion;
using corva::ui::LeafName;
using corva::ui::ShredQuestion;

// ------------------------------------------------------------ after a batch
// The row to select again for a row that was selected when a batch ran
// (rowExists tells whether the refilled list has a row of that name): the
// same name when it is still there (a folder, or a file the batch left as
// it was); else, after a lock, the name with the locked extension, after
// an unlock the name without it. Empty when neither is there, and always
// after a shred.
std::wstring RowNameAfterBatch(BatchKind kind, const std::wstring& name,
                               const std::function<bool(const std::wstring&)>& rowExists);

}  // namespace corva::desktop
