// Owners and helpers for the shell namespace the folder tree and the file
// list browse: an owned item id (freed with CoTaskMemFree), joining ids,
// display names, detail texts, the values rows are sorted by, system icon
// indices and file-system paths. Every helper reports failure by its
// result (false, -1 or an empty text); nothing throws.
#pragma once

#include <windows.h>

#include <shlobj.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <utility>

#include "BrowseRules.h"

namespace corva::desktop {

using Microsoft::WRL::ComPtr;

// An item id list owned by this object: relative to a folder (one step) or
// absolute (from the desktop; the desktop itself is the empty list).
class ItemId {
public:
    ItemId() = default;
    explicit ItemId(LPITEMIDLIST id) : id_(id) {}
    ~ItemId() { Reset(); }
    ItemId(const ItemId&) = delete;
    ItemId& operator=(const ItemId&) = delete;
    ItemId(ItemId&& other) noexcept : id_(std::exchange(other.id_, nullptr)) {}
    ItemId& operator=(ItemId&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.id_, nullptr));
        return *this;
    }

    LPITEMIDLIST Get() const { return id_; }
    explicit operator bool() const { return id_ != nullptr; }
    void Reset(LPITEMIDLIST id = nullptr);
    LPITEMIDLIST* Receive() {
        Reset();
        return &id_;
    }

    // A copy (empty when out of memory).
    static ItemId Copy(LPCITEMIDLIST id);
    // folder followed by item; a null folder stands for the desktop.
    static ItemId Join(LPCITEMIDLIST folder, LPCITEMIDLIST item);
    // The desktop's own id: the empty list.
    static ItemId Empty();

private:
    LPITEMIDLIST id_ = nullptr;
};

// The item's display name (SHGDN_NORMAL or SHGDN_FORPARSING ...); empty on
// failure.
std::wstring DisplayNameOf(IShellFolder* folder, LPCITEMIDLIST item, SHGDNF flags = SHGDN_NORMAL);

// The folder's detail text of an item for a column, at most 259
// characters; empty when it cannot be had.
std::wstring DetailTextOf(IShellFolder* folder, LPCITEMIDLIST item, int column);

// Size and last write time of a file-system item, read from the item
// itself, and its name in its folder (the file name, extension included);
// false when the shell has no such data for it.
bool ReadItemValues(IShellFolder* folder, LPCITEMIDLIST item, RowSortKey* key, std::wstring* fileName = nullptr);

// The system image list's index of an absolute id's icon (small, or the
// small open-folder icon); -1 on failure.
int SmallIconIndexOf(LPCITEMIDLIST absolute, bool open = false);

// The shared system image lists (the system owns them: never destroy).
HIMAGELIST SystemImageList(bool small);

// The complete file-system path of an absolute id. False when the item has
// none (a virtual item) or when its path does not fit even the longest
// buffer the system allows: a cut path could name another file.
bool FileSystemPathOf(LPCITEMIDLIST absolute, std::wstring* path);

// Text order for names and types, as the user's locale orders them
// (case-insensitive).
int LocaleTextOrder(const std::wstring& a, const std::wstring& b);

}  // namespace corva::desktop
