#include "ShellItems.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <vector>

namespace corva::desktop {

void ItemId::Reset(LPITEMIDLIST id) {
    if (id_ && id_ != id) ::CoTaskMemFree(id_);
    id_ = id;
}

ItemId ItemId::Copy(LPCITEMIDLIST id) { return ItemId(id ? ::ILClone(id) : nullptr); }

ItemId ItemId::Join(LPCITEMIDLIST folder, LPCITEMIDLIST item) {
    if (!folder || folder->mkid.cb == 0) return Copy(item);
    return ItemId(::ILCombine(folder, item));
}

ItemId ItemId::Empty() {
    auto* id = static_cast<LPITEMIDLIST>(::CoTaskMemAlloc(sizeof(USHORT)));
    if (id) id->mkid.cb = 0;
    return ItemId(id);
}

std::wstring DisplayNameOf(IShellFolder* folder, LPCITEMIDLIST item, SHGDNF flags) {
    STRRET ret{};
    if (!folder || FAILED(folder->GetDisplayNameOf(item, flags, &ret))) return std::wstring();
    LPWSTR text = nullptr;
    if (FAILED(::StrRetToStrW(&ret, item, &text)) || !text) return std::wstring();
    std::wstring name(text);
    ::CoTaskMemFree(text);
    return name;
}

std::wstring DetailTextOf(IShellFolder* folder, LPCITEMIDLIST item, int column) {
    ComPtr<IShellFolder2> details;
    if (!folder || FAILED(folder->QueryInterface(IID_PPV_ARGS(&details)))) return std::wstring();
    SHELLDETAILS cell{};
    if (FAILED(details->GetDetailsOf(item, static_cast<UINT>(column), &cell))) return std::wstring();
    wchar_t text[260] = {};
    if (FAILED(::StrRetToBufW(&cell.str, item, text, 260))) return std::wstring();
    return text;
}

bool ReadItemValues(IShellFolder* folder, LPCITEMIDLIST item, RowSortKey* key, std::wstring* fileName) {
    WIN32_FIND_DATAW data{};
    if (FAILED(::SHGetDataFromIDListW(folder, item, SHGDFIL_FINDDATA, &data, sizeof data))) return false;
    if (fileName) fileName->assign(data.cFileName, ::wcsnlen(data.cFileName, MAX_PATH));
    key->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    key->modified = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                    data.ftLastWriteTime.dwLowDateTime;
    return true;
}

int SmallIconIndexOf(LPCITEMIDLIST absolute, bool open) {
    SHFILEINFOW info{};
    UINT flags = SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON;
    if (open) flags |= SHGFI_OPENICON;
    if (!::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute), 0, &info, sizeof info, flags)) return -1;
    return info.iIcon;
}

HIMAGELIST SystemImageList(bool small) {
    SHFILEINFOW info{};
    const UINT flags = SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | (small ? SHGFI_SMALLICON : SHGFI_LARGEICON);
    return reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(L"C:\\", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info, flags));
}

bool FileSystemPathOf(LPCITEMIDLIST absolute, std::wstring* path) {
    path->clear();
    if (!absolute) return false;
    // The shell writes what fits and stops; a result that fills the buffer
    // may have been cut, so the buffer is as long as the longest path the
    // system knows, and a path that fills it is refused.
    constexpr DWORD kLongestPath = 32768;
    std::vector<wchar_t> buffer(kLongestPath, L'\0');
    if (!::SHGetPathFromIDListEx(absolute, buffer.data(), kLongestPath, GPFIDL_DEFAULT)) return false;
    const size_t length = ::wcsnlen(buffer.data(), kLongestPath);
    if (length == 0 || length + 1 >= kLongestPath) return false;
    path->assign(buffer.data(), length);
    return true;
}

int LocaleTextOrder(const std::wstring& a, const std::wstring& b) {
    const int r = ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                                   b.c_str(), static_cast<int>(b.size()));
    return r == 0 ? PlainTextOrder(a, b) : r - CSTR_EQUAL;
}

}  // namespace corva::desktop
