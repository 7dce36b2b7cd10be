#include "FolderBrowser.h"

#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>

#include "FrameRules.h"
#include "Messages.h"
#include "engine/LockedFile.h"
#include "platform/WinHandles.h"

namespace corva::desktop {

namespace {

constexpr wchar_t kProductName[] = L"Corvastine";
constexpr wchar_t kLockedMessage[] = L"This file is locked. Click Unlock to open the file.";
constexpr UINT kEnumFlags = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;  // hidden items are not asked for

struct Column {
    const wchar_t* title;
    int width;
    int format;
};
constexpr Column kColumns[kListColumns] = {{L"Name", 200, LVCFMT_LEFT},
                                           {L"Size", 100, LVCFMT_RIGHT},
                                           {L"Type", 100, LVCFMT_LEFT},
                                           {L"Modified", 100, LVCFMT_LEFT}};

constexpr int kModifiedColumn = 3;
constexpr wchar_t kOpenWithTitle[] = L"Open with";

// Wide enough for the longest date and time the user's formats write (a
// two-digit day and month, a two-digit hour in the afternoon), in the
// list's font, with the margins a cell keeps.
int ModifiedColumnWidth(HWND list, int dpi) {
    SYSTEMTIME longest{2028, 12, 0, 28, 22, 58, 58, 0};
    wchar_t date[80] = {}, time[80] = {};
    if (!::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &longest, nullptr, date, 80) ||
        !::GetTimeFormatW(LOCALE_USER_DEFAULT, TIME_NOSECONDS, &longest, nullptr, time, 80))
        return 0;
    const std::wstring text = std::wstring(date) + L" " + time;
    return ListView_GetStringWidth(list, text.c_str()) + ::MulDiv(16, dpi, 96);
}

// The wait cursor while the namespace is read; the previous one after.
class WaitCursor {
public:
    WaitCursor() : previous_(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { ::SetCursor(previous_); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    HCURSOR previous_;
};

LPARAM TreeParam(HWND tree, HTREEITEM item) {
    if (!item) return 0;
    TVITEMW data{};
    data.mask = TVIF_PARAM | TVIF_HANDLE;
    data.hItem = item;
    if (!TreeView_GetItem(tree, &data)) return 0;
    return data.lParam;
}

std::wstring TreeText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH + 1] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT | TVIF_HANDLE;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = MAX_PATH + 1;
    if (!TreeView_GetItem(tree, &data)) return std::wstring();
    return text;
}

}  // namespace

std::atomic<int> FolderBrowser::liveNodes_{0};
std::atomic<int> FolderBrowser::liveEntries_{0};

FolderBrowser::~FolderBrowser() { Clear(); }

void FolderBrowser::Attach(HWND owner, HWND tree, HWND list, int dpi) {
    owner_ = owner;
    tree_ = tree;
    list_ = list;
    TreeView_SetImageList(tree_, SystemImageList(true), TVSIL_NORMAL);
    ListView_SetImageList(list_, SystemImageList(false), LVSIL_NORMAL);
    ListView_SetImageList(list_, SystemImageList(true), LVSIL_SMALL);
    for (int i = 0; i < kListColumns; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = kColumns[i].format;
        column.cx = ::MulDiv(kColumns[i].width, dpi, 96);
        if (i == kModifiedColumn) column.cx = std::max<int>(column.cx, ModifiedColumnWidth(list_, dpi));
        column.pszText = const_cast<wchar_t*>(kColumns[i].title);
        column.iSubItem = i;
        ListView_InsertColumn(list_, i, &column);
    }
}

void FolderBrowser::Clear() {
    if (list_ && ::IsWindow(list_)) DeleteAllRows();
    if (tree_ && ::IsWindow(tree_)) TreeView_DeleteAllItems(tree_);
    root_ = nullptr;
    shown_.Reset();
}

// ------------------------------------------------------------ the tree

void FolderBrowser::BuildTree() {
    if (built_ || !tree_) return;
    built_ = true;
    if (FAILED(::SHGetDesktopFolder(&desktop_)) || !desktop_) return;
    WaitCursor wait;
    desktopNode_.parent = desktop_;
    desktopNode_.absolute = ItemId::Empty();
    TVINSERTSTRUCTW insert{};
    insert.hParent = TVI_ROOT;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(L"Desktop");
    const int icon = SmallIconIndexOf(desktopNode_.absolute.Get());
    insert.item.iImage = insert.item.iSelectedImage = icon < 0 ? 0 : icon;
    insert.item.lParam = 0;
    root_ = TreeView_InsertItem(tree_, &insert);
    if (!root_) return;
    FillFolderChildren(desktop_.Get(), desktopNode_.absolute.Get(), root_);
    TreeView_Expand(tree_, root_, TVE_EXPAND);
    TreeView_SelectItem(tree_, root_);
}

namespace {

// One folder among the items of a folder, as the tree shows it.
struct ChildFolder {
    corva::desktop::ItemId relative;
    SFGAOF attributes = 0;
    std::wstring name;
};

// The folders among a folder's items, in the order they are listed. False
// when the folder cannot be listed. A folder whose name cannot be read
// ends the list there.
bool ListChildFolders(IShellFolder* folder, HWND owner, std::vector<ChildFolder>* children) {
    ComPtr<IEnumIDList> items;
    if (FAILED(folder->EnumObjects(owner, kEnumFlags, &items))) return false;
    if (!items) return true;  // nothing to list
    LPITEMIDLIST raw = nullptr;
    while (items->Next(1, &raw, nullptr) == S_OK) {
        ChildFolder child;
        child.relative.Reset(raw);
        child.attributes = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
        LPCITEMIDLIST one = child.relative.Get();
        if (FAILED(folder->GetAttributesOf(1, &one, &child.attributes)) || !(child.attributes & SFGAO_FOLDER)) {
            continue;
        }
        child.name = DisplayNameOf(folder, one);
        if (child.name.empty()) break;
        children->push_back(std::move(child));
    }
    return true;
}

}  // namespace

bool FolderBrowser::FillFolderChildren(IShellFolder* folder, LPCITEMIDLIST parentId, HTREEITEM parentItem) {
    WaitCursor wait;
    std::vector<ChildFolder> children;
    if (!ListChildFolders(folder, owner_, &children)) return false;
    for (ChildFolder& child : children) {
        if (!InsertFolderItem(folder, parentId, parentItem, std::move(child.relative), child.attributes, child.name)) {
            break;
        }
    }
    return true;
}

bool FolderBrowser::InsertFolderItem(IShellFolder* folder, LPCITEMIDLIST parentId, HTREEITEM parentItem,
                                     ItemId relative, SFGAOF attributes, const std::wstring& name) {
    auto node = std::make_unique<FolderNode>();
    node->parent = folder;
    node->absolute = ItemId::Join(parentId, relative.Get());
    node->relative = std::move(relative);
    if (!node->absolute) return false;
    TVINSERTSTRUCTW insert{};
    insert.hParent = parentItem;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(name.c_str());
    insert.item.iImage = std::max(0, SmallIconIndexOf(node->absolute.Get()));
    insert.item.iSelectedImage = std::max(0, SmallIconIndexOf(node->absolute.Get(), true));
    insert.item.cChildren = (attributes & SFGAO_HASSUBFOLDER) ? 1 : 0;
    insert.item.lParam = reinterpret_cast<LPARAM>(node.get());
    if (TreeView_InsertItem(tree_, &insert)) node.release();  // the item owns it now
    return true;
}

void FolderBrowser::RefreshTree() {
    if (!root_ || !desktop_) return;
    WaitCursor wait;
    // The desktop's folders stay in the order they are listed; deeper
    // levels are sorted by name.
    RefreshChildren(desktop_.Get(), desktopNode_.absolute.Get(), root_, false);
}

void FolderBrowser::RefreshChildren(IShellFolder* folder, LPCITEMIDLIST folderId, HTREEITEM item, bool sorted) {
    std::vector<ChildFolder> children;
    if (!ListChildFolders(folder, owner_, &children)) return;
    std::unordered_map<std::wstring, ChildFolder*> fresh;
    for (ChildFolder& child : children) fresh.emplace(child.name, &child);
    // Items whose folder is gone go; the others keep their node, their
    // children and their state.
    HTREEITEM child = TreeView_GetChild(tree_, item);
    while (child) {
        const HTREEITEM next = TreeView_GetNextSibling(tree_, child);
        auto found = fresh.find(TreeText(tree_, child));
        if (found == fresh.end()) {
            TreeView_DeleteItem(tree_, child);
        } else {
            const ChildFolder& now = *found->second;
            fresh.erase(found);
            auto* node = reinterpret_cast<FolderNode*>(TreeParam(tree_, child));
            if (TreeView_GetItemState(tree_, child, TVIS_EXPANDEDONCE) & TVIS_EXPANDEDONCE) {
                ComPtr<IShellFolder> inner;
                if (node && SUCCEEDED(node->parent->BindToObject(node->relative.Get(), nullptr, IID_PPV_ARGS(&inner))) &&
                    inner) {
                    RefreshChildren(inner.Get(), node->absolute.Get(), child, true);
                }
            } else {
                TVITEMW update{};
                update.mask = TVIF_CHILDREN | TVIF_HANDLE;
                update.hItem = child;
                update.cChildren = (now.attributes & SFGAO_HASSUBFOLDER) ? 1 : 0;
                TreeView_SetItem(tree_, &update);
            }
        }
        child = next;
    }
    bool added = false;
    for (ChildFolder& now : children) {
        if (!fresh.count(now.name)) continue;  // already shown
        if (!InsertFolderItem(folder, folderId, item, std::move(now.relative), now.attributes, now.name)) break;
        added = true;
    }
    if (added && sorted) SortChildren(item, folder);
    // The button shows whether any folder is left under the item.
    TVITEMW update{};
    update.mask = TVIF_CHILDREN | TVIF_HANDLE;
    update.hItem = item;
    update.cChildren = TreeView_GetChild(tree_, item) ? 1 : 0;
    TreeView_SetItem(tree_, &update);
}

void FolderBrowser::SortChildren(HTREEITEM item, IShellFolder* folder) {
    TVSORTCB sort{};
    sort.hParent = item;
    sort.lpfnCompare = &FolderBrowser::CompareTreeChildren;
    sort.lParam = reinterpret_cast<LPARAM>(folder);
    TreeView_SortChildrenCB(tree_, &sort, FALSE);
}

void FolderBrowser::OnItemExpanding(const NMTREEVIEWW& info) {
    if (info.action != TVE_EXPAND || (info.itemNew.state & TVIS_EXPANDEDONCE)) return;
    auto* node = reinterpret_cast<FolderNode*>(TreeParam(tree_, info.itemNew.hItem));
    if (!node) return;
    WaitCursor wait;
    ComPtr<IShellFolder> folder;
    if (FAILED(node->parent->BindToObject(node->relative.Get(), nullptr, IID_PPV_ARGS(&folder))) || !folder) return;
    FillFolderChildren(folder.Get(), node->absolute.Get(), info.itemNew.hItem);
    SortChildren(info.itemNew.hItem, folder.Get());
}

int CALLBACK FolderBrowser::CompareTreeChildren(LPARAM a, LPARAM b, LPARAM parent) {
    auto* x = reinterpret_cast<FolderNode*>(a);
    auto* y = reinterpret_cast<FolderNode*>(b);
    auto* folder = reinterpret_cast<IShellFolder*>(parent);
    if (!x || !y || !folder) return 0;
    const HRESULT hr = folder->CompareIDs(0, x->relative.Get(), y->relative.Get());
    return FAILED(hr) ? 0 : static_cast<short>(HRESULT_CODE(hr));
}

const FolderBrowser::FolderNode* FolderBrowser::SelectedNode() const {
    HTREEITEM selected = TreeView_GetSelection(tree_);
    if (!selected) return nullptr;
    if (selected == root_) return desktop_ ? &desktopNode_ : nullptr;
    return reinterpret_cast<FolderNode*>(TreeParam(tree_, selected));
}

void FolderBrowser::ShowFolder(HTREEITEM item) {
    auto* node = reinterpret_cast<FolderNode*>(TreeParam(tree_, item));
    if (!node) {
        DeleteAllRows();
        shown_.Reset();
        if (item && item == root_ && desktop_) {
            shown_ = desktop_;
            FillFolderList(desktop_.Get(), desktopNode_.absolute.Get());
        }
        return;
    }
    shown_.Reset();
    ComPtr<IShellFolder> folder;
    if (FAILED(node->parent->BindToObject(node->relative.Get(), nullptr, IID_PPV_ARGS(&folder))) || !folder) return;
    shown_ = folder;
    DeleteAllRows();
    FillFolderList(folder.Get(), node->absolute.Get());
}

// ------------------------------------------------------------ the list

void FolderBrowser::DeleteAllRows() {
    if (ListView_GetItemCount(list_) > 0) ListView_DeleteAllItems(list_);
    rowsFolderId_.Reset();
}

bool FolderBrowser::FillFolderList(IShellFolder* folder, LPCITEMIDLIST folderId) {
    ItemId rowsFolder = ItemId::Copy(folderId);
    if (!rowsFolder) return false;
    rowsFolderId_ = std::move(rowsFolder);
    ComPtr<IEnumIDList> items;
    if (FAILED(folder->EnumObjects(::GetParent(list_), kEnumFlags, &items))) return false;
    if (!items) return true;
    ::SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    bool complete = true;
    int row = 0;
    LPITEMIDLIST raw = nullptr;
    while (items->Next(1, &raw, nullptr) == S_OK) {
        auto entry = std::make_unique<ListEntry>();
        entry->folder = folder;
        entry->relative.Reset(raw);
        SFGAOF attributes = SFGAO_DISPLAYATTRMASK | SFGAO_FOLDER | SFGAO_HIDDEN;
        LPCITEMIDLIST one = entry->relative.Get();
        if (FAILED(folder->GetAttributesOf(1, &one, &attributes))) {
            complete = false;
            break;
        }
        if (attributes & SFGAO_HIDDEN) continue;  // also when the folder lists it all the same
        entry->attributes = attributes;
        entry->key.folder = (attributes & SFGAO_FOLDER) != 0;
        entry->key.name = DisplayNameOf(folder, one);
        ReadItemValues(folder, one, &entry->key, &entry->name);
        if (entry->name.empty()) entry->name = entry->key.name;
        if (sort_.column == 2) {
            entry->key.type = DetailTextOf(folder, one, 2);
            entry->typeRead = true;
        }
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        item.iItem = row;
        item.pszText = LPSTR_TEXTCALLBACKW;
        item.iImage = I_IMAGECALLBACK;
        item.lParam = reinterpret_cast<LPARAM>(entry.get());
        const int at = ListView_InsertItem(list_, &item);
        if (at < 0) continue;
        entry.release();  // the row owns it now
        for (int column = 1; column < kListColumns; ++column) {
            ListView_SetItemText(list_, at, column, LPSTR_TEXTCALLBACKW);
        }
        ++row;
    }
    if (complete) SortRows();
    ::SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(list_, nullptr, TRUE);
    return complete;
}

FolderBrowser::ListEntry* FolderBrowser::EntryOf(int row) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (!ListView_GetItem(list_, &item)) return nullptr;
    return reinterpret_cast<ListEntry*>(item.lParam);
}

void FolderBrowser::SortRows() {
    if (sort_.column == 2) {
        const int count = ListView_GetItemCount(list_);
        for (int row = 0; row < count; ++row) {
            ListEntry* entry = EntryOf(row);
            if (!entry || entry->typeRead) continue;
            entry->key.type = DetailTextOf(entry->folder.Get(), entry->relative.Get(), 2);
            entry->typeRead = true;
        }
    }
    ListView_SortItems(list_, &FolderBrowser::CompareEntries, reinterpret_cast<LPARAM>(this));
    // The header shows the sort column and direction.
    HWND header = ListView_GetHeader(list_);
    for (int column = 0; column < kListColumns; ++column) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        if (!Header_GetItem(header, column, &item)) continue;
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == sort_.column) item.fmt |= sort_.ascending ? HDF_SORTUP : HDF_SORTDOWN;
        Header_SetItem(header, column, &item);
    }
}

int CALLBACK FolderBrowser::CompareEntries(LPARAM a, LPARAM b, LPARAM self) {
    auto* browser = reinterpret_cast<FolderBrowser*>(self);
    auto* x = reinterpret_cast<ListEntry*>(a);
    auto* y = reinterpret_cast<ListEntry*>(b);
    if (!browser || !x || !y) return 0;
    const SortState& sort = browser->sort_;
    return sort.ascending ? CompareRows(x->key, y->key, sort.column, &LocaleTextOrder)
                          : CompareRows(y->key, x->key, sort.column, &LocaleTextOrder);
}

void FolderBrowser::OnGetDisplayInfo(NMLVDISPINFOW& info) {
    auto* entry = reinterpret_cast<ListEntry*>(info.item.lParam);
    if (!entry) entry = EntryOf(info.item.iItem);
    if (!entry || !rowsFolderId_) return;
    if ((info.item.mask & LVIF_IMAGE) && info.item.iSubItem == 0) {
        ItemId absolute = ItemId::Join(rowsFolderId_.Get(), entry->relative.Get());
        info.item.iImage = absolute ? std::max(0, SmallIconIndexOf(absolute.Get())) : 0;
    }
    if ((info.item.mask & LVIF_TEXT) && info.item.pszText && info.item.cchTextMax > 0) {
        std::wstring text;
        if (info.item.iSubItem == 0) {
            text = entry->key.name;
        } else if (info.item.iSubItem == 2 && openQuery_ && HasLockedExtension(entry->name) &&
                   openQuery_(DisplayNameOf(entry->folder.Get(), entry->relative.Get(), SHGDN_FORPARSING))) {
            text = L"open";
        } else if (info.item.iSubItem == 2 && entry->typeRead) {
            text = entry->key.type;
        } else {
            text = DetailTextOf(entry->folder.Get(), entry->relative.Get(), info.item.iSubItem);
        }
        lstrcpynW(info.item.pszText, text.c_str(), info.item.cchTextMax);
    }
    info.item.mask |= LVIF_DI_SETITEM;  // each row asks once
}

int FolderBrowser::SelectedCount() const { return list_ ? static_cast<int>(ListView_GetSelectedCount(list_)) : 0; }

bool FolderBrowser::GatherSelectedPaths(std::vector<std::wstring>* paths, int* firstRow) const {
    paths->clear();
    *firstRow = -1;
    if (!rowsFolderId_) return false;
    const int count = SelectedCount();
    int row = -1;
    for (int n = 0; n < count; ++n) {
        row = ListView_GetNextItem(list_, row, LVNI_SELECTED);
        if (row < 0) break;
        const ListEntry* entry = EntryOf(row);
        if (!entry) return false;
        if (n == 0) *firstRow = row;
        ItemId absolute = ItemId::Join(rowsFolderId_.Get(), entry->relative.Get());
        std::wstring path;
        // An item without a complete file-system path is left out: an
        // empty or cut path could name some other file.
        if (absolute && FileSystemPathOf(absolute.Get(), &path)) paths->push_back(std::move(path));
    }
    return true;
}

void FolderBrowser::Refill() {
    if (!shown_) return;
    ComPtr<IShellFolder> folder = shown_;
    ItemId folderId = ItemId::Copy(rowsFolderId_.Get());
    if (!folderId) return;
    // Where the view stands: the row at the top (details and list views)
    // or the view's origin (icon views).
    const LONG_PTR type = ::GetWindowLongPtrW(list_, GWL_STYLE) & LVS_TYPEMASK;
    const bool byRows = type == LVS_REPORT || type == LVS_LIST;
    const int topRow = byRows ? ListView_GetTopIndex(list_) : 0;
    const ListEntry* top = byRows ? EntryOf(topRow) : nullptr;
    const std::wstring topName = top ? top->name : std::wstring();
    POINT origin{};
    if (!byRows) ListView_GetOrigin(list_, &origin);

    DeleteAllRows();
    FillFolderList(folder.Get(), folderId.Get());

    const int count = ListView_GetItemCount(list_);
    if (count == 0) return;
    if (byRows) {
        const auto rows = RowsByName();
        const auto found = rows.find(topName);
        const int row = found != rows.end() ? found->second : std::min(topRow, count - 1);
        RECT want{}, now{};
        want.left = now.left = LVIR_BOUNDS;
        if (!ListView_GetItemRect(list_, row, &want, LVIR_BOUNDS) ||
            !ListView_GetItemRect(list_, ListView_GetTopIndex(list_), &now, LVIR_BOUNDS))
            return;
        if (type == LVS_REPORT) ListView_Scroll(list_, 0, want.top - now.top);
        else ListView_Scroll(list_, want.left - now.left, 0);
    } else {
        POINT fresh{};
        ListView_GetOrigin(list_, &fresh);
        ListView_Scroll(list_, origin.x - fresh.x, origin.y - fresh.y);
    }
}

std::vector<std::wstring> FolderBrowser::SelectedRowNames() const {
    std::vector<std::wstring> names;
    for (int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list_, row, LVNI_SELECTED)) {
        if (const ListEntry* entry = EntryOf(row)) names.push_back(entry->name);
    }
    return names;
}

std::wstring FolderBrowser::FocusedRowName() const {
    const ListEntry* entry = EntryOf(ListView_GetNextItem(list_, -1, LVNI_FOCUSED));
    return entry ? entry->name : std::wstring();
}

std::unordered_map<std::wstring, int> FolderBrowser::RowsByName() const {
    std::unordered_map<std::wstring, int> rows;
    const int count = ListView_GetItemCount(list_);
    for (int row = 0; row < count; ++row) {
        if (const ListEntry* entry = EntryOf(row)) rows.emplace(entry->name, row);
    }
    return rows;
}

std::function<bool(const std::wstring&)> FolderBrowser::RowLookup() const {
    auto rows = std::make_shared<std::unordered_map<std::wstring, int>>(RowsByName());
    return [rows](const std::wstring& name) { return rows->count(name) > 0; };
}

void FolderBrowser::SelectRowsNamed(const std::vector<std::wstring>& names, const std::wstring& focus, bool show) {
    const auto rows = RowsByName();
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (const std::wstring& name : names) {
        const auto found = rows.find(name);
        if (found != rows.end()) ListView_SetItemState(list_, found->second, LVIS_SELECTED, LVIS_SELECTED);
    }
    const auto focused = rows.find(focus);
    if (focused == rows.end()) return;
    ListView_SetItemState(list_, focused->second, LVIS_FOCUSED, LVIS_FOCUSED);
    ListView_SetSelectionMark(list_, focused->second);
    if (show) ListView_EnsureVisible(list_, focused->second, FALSE);
}

void FolderBrowser::SelectAllRows() { ListView_SetItemState(list_, -1, LVIS_SELECTED, LVIS_SELECTED); }

bool FolderBrowser::FillFolderListForTesting(const std::wstring& folderPath) {
    if (!desktop_ && FAILED(::SHGetDesktopFolder(&desktop_))) return false;
    ItemId absolute;
    if (FAILED(desktop_->ParseDisplayName(nullptr, nullptr, const_cast<wchar_t*>(folderPath.c_str()), nullptr,
                                          absolute.Receive(), nullptr)))
        return false;
    ComPtr<IShellFolder> folder;
    if (FAILED(desktop_->BindToObject(absolute.Get(), nullptr, IID_PPV_ARGS(&folder))) || !folder) return false;
    shown_ = folder;
    DeleteAllRows();
    return FillFolderList(folder.Get(), absolute.Get());
}

const RowSortKey* FolderBrowser::RowKeyForTesting(int row) const {
    const ListEntry* entry = EntryOf(row);
    return entry ? &entry->key : nullptr;
}

// ------------------------------------------------------------ double click

void FolderBrowser::OnDoubleClick(const NMITEMACTIVATE& info) {
    LVHITTESTINFO hit{};
    hit.pt = info.ptAction;
    if (ListView_HitTest(list_, &hit) < 0 || !(hit.flags & LVHT_ONITEM)) return;
    const ListEntry* entry = EntryOf(hit.iItem);
    if (!entry) return;
    wchar_t text[MAX_PATH + 1] = {};
    ListView_GetItemText(list_, hit.iItem, 0, text, MAX_PATH + 1);
    const std::wstring name = text;
    // A folder row: the tree child of that name, selected and expanded.
    // Selecting it fills the list again, so the row is not looked at after.
    bool matched = false;
    if (HTREEITEM selected = TreeView_GetSelection(tree_)) {
        TreeView_Expand(tree_, selected, TVE_EXPAND);
        for (HTREEITEM child = TreeView_GetChild(tree_, selected); child;
             child = TreeView_GetNextSibling(tree_, child)) {
            if (TreeText(tree_, child) != name) continue;
            matched = true;
            TreeView_SelectItem(tree_, child);
            TreeView_Expand(tree_, child, TVE_EXPAND);
        }
    }
    switch (DoubleClickActionFor(name, matched)) {
    case DoubleClickAction::ShowFolder:
        break;
    case DoubleClickAction::RefuseLocked:
        ::MessageBoxW(owner_, kLockedMessage, kProductName, MB_OK | MB_ICONINFORMATION);
        break;
    case DoubleClickAction::Open:
        OpenItem(*entry);
        break;
    }
}

void FolderBrowser::OpenItem(const ListEntry& entry) {
    if (!desktop_) return;
    std::wstring parsing = DisplayNameOf(entry.folder.Get(), entry.relative.Get(), SHGDN_FORPARSING);
    if (parsing.empty()) return;
    ItemId absolute;
    if (FAILED(desktop_->ParseDisplayName(::GetParent(list_), nullptr, &parsing[0], nullptr, absolute.Receive(),
                                          nullptr)) ||
        !absolute)
        return;
    SHELLEXECUTEINFOW run{};
    run.cbSize = sizeof run;
    run.fMask = SEE_MASK_IDLIST | SEE_MASK_FLAG_NO_UI;  // a failure is not reported
    run.hwnd = ::GetParent(list_);
    run.lpVerb = L"Open";
    run.nShow = SW_SHOWNORMAL;
    run.lpIDList = absolute.Get();
    if (::ShellExecuteExW(&run)) return;
    const bool noProgram = ::GetLastError() == ERROR_NO_ASSOCIATION ||
                           reinterpret_cast<INT_PTR>(run.hInstApp) == SE_ERR_NOASSOC;
    // No program is set for the file: let the user choose one.
    std::wstring path;
    if (noProgram && FileSystemPathOf(absolute.Get(), &path)) OfferOpenWith(path);
}

void FolderBrowser::OfferOpenWith(const std::wstring& path) {
    HWND owner = ::GetParent(list_);
    OPENASINFO info{};
    info.pcszFile = path.c_str();
    info.oaifInFlags = OAIF_ALLOW_REGISTRATION | OAIF_EXEC;
    // Cancelled or done: the system's dialog has had its say.
    if (::SHOpenWithDialog(owner, &info) != E_NOTIMPL) return;
    // A system without that dialog: the user picks a program in the Open
    // dialog, and it is started with the file.
    wchar_t program[MAX_PATH] = {};
    OPENFILENAMEW choose{};
    choose.lStructSize = sizeof choose;
    choose.hwndOwner = owner;
    choose.lpstrFilter = L"Programs (*.exe)\0*.exe\0";
    choose.lpstrFile = program;
    choose.nMaxFile = MAX_PATH;
    choose.lpstrTitle = kOpenWithTitle;
    wchar_t programs[MAX_PATH] = {};
    if (SUCCEEDED(::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, 0, programs))) {
        choose.lpstrInitialDir = programs;
    }
    choose.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_DONTADDTORECENT |
                   OFN_EXPLORER;
    if (!::GetOpenFileNameW(&choose)) return;
    const std::wstring argument = L"\"" + path + L"\"";
    ::ShellExecuteW(owner, L"open", program, argument.c_str(), nullptr, SW_SHOWNORMAL);
}

// ------------------------------------------------------------ context menu

void FolderBrowser::OnRightClick(const NMITEMACTIVATE& info) {
    LVHITTESTINFO hit{};
    hit.pt = info.ptAction;
    if (ListView_HitTest(list_, &hit) < 0 || !(hit.flags & LVHT_ONITEMLABEL)) return;
    const ListEntry* entry = EntryOf(hit.iItem);
    if (!entry) return;
    POINT screen{};
    ::GetCursorPos(&screen);
    ShowContextMenu(*entry, screen);
}

void FolderBrowser::ShowContextMenu(const ListEntry& entry, POINT screen) {
    HWND parent = ::GetParent(list_);
    ComPtr<IContextMenu> shellMenu;
    LPCITEMIDLIST one = entry.relative.Get();
    if (FAILED(entry.folder->GetUIObjectOf(parent, 1, &one, IID_IContextMenu, nullptr,
                                           reinterpret_cast<void**>(shellMenu.GetAddressOf()))) ||
        !shellMenu)
        return;
    win::UniqueMenu menu(::CreatePopupMenu());
    if (!menu) return;
    shellMenu->QueryContextMenu(menu.Get(), 0, 1, 0x7FFF, CMF_EXPLORE);
    std::vector<std::wstring> texts;
    const int count = ::GetMenuItemCount(menu.Get());
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        ::GetMenuStringW(menu.Get(), static_cast<UINT>(i), text, 256, MF_BYPOSITION);
        texts.push_back(text);
    }
    const int extension = ExtensionEntryPosition(texts);
    if (extension >= 0) ::DeleteMenu(menu.Get(), static_cast<UINT>(extension), MF_BYPOSITION);
    const bool shellItems = ::GetMenuItemCount(menu.Get()) > 0;
    UINT position = 0;
    // A locked file can be opened in its program from here.
    auto insertOwn = [&](const OwnMenuEntry& own) {
        ::InsertMenuW(menu.Get(), position++, MF_BYPOSITION | MF_STRING, static_cast<UINT_PTR>(IdOf(own.command)),
                      own.text);
    };
    if (HasLockedExtension(entry.name)) insertOwn(kOpenMenuEntry);
    for (const OwnMenuEntry& own : kOwnMenuEntries) insertOwn(own);
    if (shellItems) ::InsertMenuW(menu.Get(), position, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
    if (menuObserver_) menuObserver_(menu.Get());
    const int chosen = static_cast<int>(
        ::TrackPopupMenuEx(menu.Get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, screen.x, screen.y, parent, nullptr));
    const MenuRoute route = RouteMenuChoice(chosen);
    switch (route.kind) {
    case MenuRoute::Kind::Nothing:
        break;
    case MenuRoute::Kind::PostCommand:
        PostCommand(owner_, route.command);
        break;
    case MenuRoute::Kind::ShellCommand: {
        CMINVOKECOMMANDINFO invoke{};
        invoke.cbSize = sizeof invoke;
        invoke.hwnd = parent;
        invoke.lpVerb = MAKEINTRESOURCEA(route.shellOffset);
        invoke.nShow = SW_SHOWNORMAL;
        const HRESULT hr = shellMenu->InvokeCommand(&invoke);
        if (shellCommandObserver_) shellCommandObserver_(route.shellOffset, hr);
        break;
    }
    }
}

// ------------------------------------------------------------ notifications

bool FolderBrowser::OnNotify(const NMHDR& header, LRESULT* result) {
    if (header.hwndFrom == tree_ && tree_) {
        switch (header.code) {
        case TVN_ITEMEXPANDINGW:
            OnItemExpanding(reinterpret_cast<const NMTREEVIEWW&>(header));
            *result = FALSE;
            return true;
        case TVN_SELCHANGEDW:
            ShowFolder(reinterpret_cast<const NMTREEVIEWW&>(header).itemNew.hItem);
            *result = 0;
            return true;
        case TVN_DELETEITEMW:
            delete reinterpret_cast<FolderNode*>(reinterpret_cast<const NMTREEVIEWW&>(header).itemOld.lParam);
            *result = 0;
            return true;
        default:
            return false;
        }
    }
    if (header.hwndFrom == list_ && list_) {
        switch (header.code) {
        case LVN_GETDISPINFOW:
            OnGetDisplayInfo(const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header)));
            *result = 0;
            return true;
        case LVN_COLUMNCLICK:
            ApplyColumnClick(sort_, reinterpret_cast<const NMLISTVIEW&>(header).iSubItem);
            SortRows();
            *result = 0;
            return true;
        case LVN_DELETEITEM:
            delete reinterpret_cast<ListEntry*>(reinterpret_cast<const NMLISTVIEW&>(header).lParam);
            *result = 0;
            return true;
        case NM_DBLCLK:
            OnDoubleClick(reinterpret_cast<const NMITEMACTIVATE&>(header));
            *result = 0;
            return true;
        case NM_RCLICK:
            OnRightClick(reinterpret_cast<const NMITEMACTIVATE&>(header));
            *result = 0;
            return true;
        case NM_RETURN: {
            // Enter on a locked row opens it in its program.
            const ListEntry* focused = EntryOf(ListView_GetNextItem(list_, -1, LVNI_FOCUSED));
            if (focused && HasLockedExtension(focused->name))
                PostCommand(owner_, Command::Open);
            *result = 0;
            return true;
        }
        case LVN_KEYDOWN:
            // Delete shreds, as any other way to the command: it asks first.
            if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_DELETE &&
                ::GetKeyState(VK_CONTROL) >= 0 && ::GetKeyState(VK_MENU) >= 0) {
                PostCommand(owner_, Command::Shred);
            }
            *result = 0;
            return true;
        default:
            return false;
        }
    }
    return false;
}

}  // namespace corva::desktop
