// The folder tree and the file list of the main window as views of the
// shell namespace: the tree, rooted at the desktop, is built once and grows
// as folders are expanded and is read again on request (new folders added,
// gone ones removed, the rest kept as they are); the list shows the items
// of the tree's selected folder in four columns, sorted by a column either
// way, with texts and icons supplied on demand. A double click opens a row
// (a folder in the tree, a plain file with its default action or, when no
// program is set for it, the system's "Open with" choice; a locked file is
// refused), a right click on a row's label shows the shell's item menu
// with the program's own commands on top, Delete in the list asks for the
// shred command. The batch commands read the selected rows as file-system
// paths here and have the list filled again, keeping its scroll position,
// with the rows selected again by name.
//
// Every record a tree item or a row carries is freed with it. Failures of
// the shell leave a tree without children or a list without rows, without
// a message; nothing throws.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "BrowseRules.h"
#include "ShellItems.h"

namespace corva::desktop {

class FolderBrowser {
public:
    FolderBrowser() = default;
    ~FolderBrowser();
    FolderBrowser(const FolderBrowser&) = delete;
    FolderBrowser& operator=(const FolderBrowser&) = delete;

    // Takes the two panes of owner (which receives their notifications and
    // the commands of the context menu): shared system image lists, the
    // list's columns scaled for dpi.
    void Attach(HWND owner, HWND tree, HWND list, int dpi);
    // Builds the tree under "Desktop", expands and selects it (which fills
    // the list). Runs once; later calls do nothing.
    void BuildTree();
    // Handles the notifications of the two panes; true when one was taken.
    bool OnNotify(const NMHDR& header, LRESULT* result);
    // Deletes every row and tree item (and so their records) while the
    // panes still exist.
    void Clear();

    // The number of selected rows.
    int SelectedCount() const;
    // The file-system paths of the selected rows in row order, and the
    // position of the first selected row. A row whose item has no complete
    // file-system path is left out. False when a row or the folder the
    // rows belong to cannot be resolved.
    bool GatherSelectedPaths(std::vector<std::wstring>* paths, int* firstRow) const;
    // Reads the tree again under every folder that has been expanded:
    // folders made meanwhile are added, folders gone are removed (with
    // their items), the rest stay as they are, expanded or not.
    void RefreshTree();
    // Fills the list again from the folder it shows (sorted as before),
    // keeping its scroll position. Selects nothing.
    void Refill();

    // A row's name: the item's name in its folder (the file name with its
    // extension), or its display name when it has none. Rows are found
    // again by these names after the list was filled again.
    std::vector<std::wstring> SelectedRowNames() const;
    std::wstring FocusedRowName() const;
    // Whether the list has a row of each name asked for.
    std::function<bool(const std::wstring&)> RowLookup() const;
    // Selects exactly the rows of these names and focuses the one named
    // focus (when there is such a row); with show, the focused row is
    // scrolled into view.
    void SelectRowsNamed(const std::vector<std::wstring>& names, const std::wstring& focus, bool show);
    // Selects every row.
    void SelectAllRows();

    // Asked with a locked row's full path whether that file is open in a
    // program (its Type column then reads "open"); the list asks again
    // when it is filled again.
    void SetOpenQuery(std::function<bool(const std::wstring&)> query) { openQuery_ = std::move(query); }

    const SortState& Sort() const { return sort_; }
    // The records alive in this process: one per tree item but the root,
    // the desktop's own node of each browser, and one per row.
    static int LiveFolderNodesForTesting() { return liveNodes_.load(); }
    static int LiveListEntriesForTesting() { return liveEntries_.load(); }
    // Fills the list and sorts it, as a selection in the tree does; for the
    // measurement of the list's cost. True when every item was added.
    bool FillFolderListForTesting(const std::wstring& folderPath);
    // Gives the row data of a row for tests: name and sort values.
    const RowSortKey* RowKeyForTesting(int row) const;
    // Called with the built menu just before the context menu shows.
    void SetMenuObserverForTesting(std::function<void(HMENU)> observer) { menuObserver_ = std::move(observer); }
    // Called with the shell's command offset and the result of running it.
    void SetShellCommandObserverForTesting(std::function<void(int, HRESULT)> observer) {
        shellCommandObserver_ = std::move(observer);
    }

private:
    struct FolderNode {
        FolderNode() { ++liveNodes_; }
        ~FolderNode() { --liveNodes_; }
        FolderNode(const FolderNode&) = delete;
        FolderNode& operator=(const FolderNode&) = delete;
        ComPtr<IShellFolder> parent;
        ItemId relative;
        ItemId absolute;
    };
    struct ListEntry {
        ListEntry() { ++liveEntries_; }
        ~ListEntry() { --liveEntries_; }
        ListEntry(const ListEntry&) = delete;
        ListEntry& operator=(const ListEntry&) = delete;
        ComPtr<IShellFolder> folder;
        ItemId relative;
        ULONG attributes = 0;
        std::wstring name;  // the row's name (see SelectedRowNames)
        RowSortKey key;
        bool typeRead = false;
    };

    bool FillFolderChildren(IShellFolder* folder, LPCITEMIDLIST parentId, HTREEITEM parentItem);
    bool InsertFolderItem(IShellFolder* folder, LPCITEMIDLIST parentId, HTREEITEM parentItem, ItemId relative,
                          SFGAOF attributes, const std::wstring& name);
    void RefreshChildren(IShellFolder* folder, LPCITEMIDLIST folderId, HTREEITEM item, bool sorted);
    void SortChildren(HTREEITEM item, IShellFolder* folder);
    std::unordered_map<std::wstring, int> RowsByName() const;
    bool FillFolderList(IShellFolder* folder, LPCITEMIDLIST folderId);
    void DeleteAllRows();
    void SortRows();
    void ShowFolder(HTREEITEM item);
    void OnItemExpanding(const NMTREEVIEWW& info);
    void OnGetDisplayInfo(NMLVDISPINFOW& info);
    void OnDoubleClick(const NMITEMACTIVATE& info);
    void OnRightClick(const NMITEMACTIVATE& info);
    void OpenItem(const ListEntry& entry);
    void OfferOpenWith(const std::wstring& path);
    void ShowContextMenu(const ListEntry& entry, POINT screen);
    const FolderNode* SelectedNode() const;
    ListEntry* EntryOf(int row) const;

    static int CALLBACK CompareEntries(LPARAM a, LPARAM b, LPARAM self);
    static int CALLBACK CompareTreeChildren(LPARAM a, LPARAM b, LPARAM parent);

    static std::atomic<int> liveNodes_;
    static std::atomic<int> liveEntries_;

    HWND owner_ = nullptr;
    HWND tree_ = nullptr;
    HWND list_ = nullptr;
    bool built_ = false;
    ComPtr<IShellFolder> desktop_;
    FolderNode desktopNode_;
    HTREEITEM root_ = nullptr;
    // The folder the list shows (none after a failed bind), and the
    // absolute id of the folder the rows come from, which stays with the
    // rows even when no folder counts as shown.
    ComPtr<IShellFolder> shown_;
    ItemId rowsFolderId_;
    SortState sort_;
    std::function<bool(const std::wstring&)> openQuery_;
    std::function<void(HMENU)> menuObserver_;
    std::function<void(int, HRESULT)> shellCommandObserver_;
};

}  // namespace corva::desktop
