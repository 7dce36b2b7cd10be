#include "Corvastine.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <memory>
#include <utility>

#include "Commands.h"
#include "Guids.h"
#include "MenuModel.h"
#include "platform/Platform.h"

namespace corva::shell {

namespace {

constexpr HRESULT kNoItems = MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);

struct MenuDeleter {
    void operator()(HMENU menu) const {
        if (menu) ::DestroyMenu(menu);
    }
};
using MenuOwner = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDeleter>;

// Releases a storage medium the data object handed out.
class MediumOwner {
public:
    MediumOwner() = default;
    ~MediumOwner() {
        if (held_) ::ReleaseStgMedium(&medium_);
    }
    MediumOwner(const MediumOwner&) = delete;
    MediumOwner& operator=(const MediumOwner&) = delete;
    STGMEDIUM* Receive() { return &medium_; }
    void Hold() { held_ = true; }
    const STGMEDIUM& Get() const { return medium_; }

private:
    STGMEDIUM medium_{};
    bool held_ = false;
};

// The paths of a file-drop list, in its order; false when the medium holds
// none.
bool ReadDropList(const STGMEDIUM& medium, std::vector<std::wstring>* paths) {
    if (medium.tymed != TYMED_HGLOBAL || !medium.hGlobal) return false;
    auto* drop = static_cast<HDROP>(::GlobalLock(medium.hGlobal));
    if (!drop) return false;
    std::vector<std::wstring> found;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(static_cast<size_t>(length) + 1, L'\0');
        const UINT copied = ::DragQueryFileW(drop, i, &path[0], length + 1);
        path.resize(copied);
        found.push_back(std::move(path));
    }
    ::GlobalUnlock(medium.hGlobal);
    if (found.empty()) return false;
    *paths = std::move(found);
    return true;
}

// The help text in the system ANSI code page, as long as fits into size
// bytes with its terminator, never ending in half a character.
void CopyNarrowTruncated(const std::wstring& text, CHAR* buffer, size_t size) {
    if (!buffer || size == 0) return;
    for (size_t n = text.size();; --n) {
        std::string narrow = plat::WideToNarrow(text.substr(0, n));
        if (narrow.size() < size) {
            CopyTruncated(narrow, buffer, size);
            return;
        }
        if (n == 0) break;
    }
    buffer[0] = '\0';
}

}  // namespace

HRESULT Corvastine::Create(REFIID iid, void** object) {
    auto* self = new Corvastine();
    HRESULT hr = self->QueryInterface(iid, object);
    self->Release();
    return hr;
}

STDMETHODIMP Corvastine::QueryInterface(REFIID iid, void** object) {
    static const QITAB kInterfaces[] = {
        {&kICorvastineIid, OFFSETOFCLASS(ICorvastine, Corvastine)},
        {&IID_IDispatch, OFFSETOFCLASS(ICorvastine, Corvastine)},
        {&IID_IShellExtInit, OFFSETOFCLASS(IShellExtInit, Corvastine)},
        {&IID_IContextMenu, OFFSETOFCLASS(IContextMenu, Corvastine)},
        {nullptr, 0},
    };
    return ::QISearch(this, kInterfaces, iid, object);
}

// ------------------------------------------------------------ IDispatch

HRESULT Corvastine::LoadTypeInfo() {
    if (typeInfo_) return S_OK;
    const std::wstring path = ModuleFileName();
    if (path.empty()) return E_UNEXPECTED;
    Microsoft::WRL::ComPtr<ITypeLib> library;
    HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library);
    if (FAILED(hr)) return hr;
    return library->GetTypeInfoOfGuid(kICorvastineIid, &typeInfo_);
}

STDMETHODIMP Corvastine::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

STDMETHODIMP Corvastine::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
    return Guarded([&]() -> HRESULT {
        if (!info) return E_POINTER;
        *info = nullptr;
        if (index != 0) return DISP_E_BADINDEX;
        HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        return typeInfo_.CopyTo(info);
    });
}

STDMETHODIMP Corvastine::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    return Guarded([&]() -> HRESULT {
        if (!::IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        return ::DispGetIDsOfNames(typeInfo_.Get(), names, count, ids);
    });
}

STDMETHODIMP Corvastine::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                                EXCEPINFO* exception, UINT* argumentError) {
    return Guarded([&]() -> HRESULT {
        if (!::IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
        HRESULT hr = LoadTypeInfo();
        if (FAILED(hr)) return hr;
        return ::DispInvoke(static_cast<ICorvastine*>(this), typeInfo_.Get(), id, flags, params, result, exception,
                            argumentError);
    });
}

// ------------------------------------------------------------ IShellExtInit

STDMETHODIMP Corvastine::Initialize(PCIDLIST_ABSOLUTE, IDataObject* data, HKEY) {
    return Guarded([&]() -> HRESULT {
        data_.Reset();
        if (!data) return S_OK;
        data_ = data;
        FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        MediumOwner medium;
        if (FAILED(data->GetData(&format, medium.Receive()))) return S_OK;
        medium.Hold();
        // A data object without a file-drop list leaves the paths as they were.
        ReadDropList(medium.Get(), &paths_);
        return S_OK;
    });
}

// ------------------------------------------------------------ IContextMenu

STDMETHODIMP Corvastine::QueryContextMenu(HMENU menu, UINT position, UINT firstId, UINT lastId, UINT flags) {
    return Guarded([&]() -> HRESULT {
        bitmaps_.Load();
        if (flags & CMF_DEFAULTONLY) return kNoItems;
        // The shell's range must hold first + 100 to first + 103.
        if (!menu || !IdRangeFits(firstId, lastId)) return kNoItems;

        MenuPlan plan = MenuFor(paths_);
        // "Open" only where the shell's range holds its id too.
        if (firstId + IdsUsedBy(plan) - 1 > lastId) plan.commands.resize(3);
        MenuOwner popup(::CreatePopupMenu());
        if (!popup) return kNoItems;
        // The pictures are the items' own bitmaps (hbmpItem), which menus
        // blend by their alpha; check-mark bitmaps would be drawn as opaque
        // boxes. The bitmaps stay with this object, which outlives the menu.
        UINT index = 0;
        for (const MenuEntry& entry : plan.commands) {
            MENUITEMINFOW item{};
            item.cbSize = sizeof item;
            item.fMask = MIIM_ID | MIIM_STRING | MIIM_BITMAP;
            item.wID = firstId + entry.offset;
            item.dwTypeData = const_cast<wchar_t*>(entry.text);
            item.hbmpItem = bitmaps_.Get(entry.bitmapId);
            if (!::InsertMenuItemW(popup.get(), index, TRUE, &item)) return kNoItems;
            ++index;
        }

        const UINT headerId = firstId + plan.header.offset;
        MENUITEMINFOW header{};
        header.cbSize = sizeof header;
        header.fMask = MIIM_ID | MIIM_STRING | MIIM_SUBMENU | MIIM_DATA | MIIM_BITMAP;
        header.wID = headerId;
        header.dwItemData = headerId;
        header.hSubMenu = popup.get();
        header.dwTypeData = const_cast<wchar_t*>(plan.header.text);
        header.hbmpItem = bitmaps_.Get(plan.header.bitmapId);
        if (!::InsertMenuItemW(menu, position, TRUE, &header)) return kNoItems;
        popup.release();  // the shell's menu owns it now
        return MAKE_HRESULT(SEVERITY_SUCCESS, 0, IdsUsedBy(plan));
    });
}

STDMETHODIMP Corvastine::InvokeCommand(CMINVOKECOMMANDINFO* info) {
    return Guarded([&]() -> HRESULT {
        if (!info || info->cbSize < sizeof(CMINVOKECOMMANDINFO)) return E_INVALIDARG;
        ULONG_PTR verb = reinterpret_cast<ULONG_PTR>(info->lpVerb);
        std::wstring verbText;
        bool isText = false;
        if ((info->fMask & CMIC_MASK_UNICODE) && info->cbSize >= sizeof(CMINVOKECOMMANDINFOEX)) {
            const auto* ex = reinterpret_cast<const CMINVOKECOMMANDINFOEX*>(info);
            verb = reinterpret_cast<ULONG_PTR>(ex->lpVerbW);
            if (!IS_INTRESOURCE(ex->lpVerbW)) {
                isText = true;
                verbText = ex->lpVerbW;
            }
        } else if (!IS_INTRESOURCE(info->lpVerb)) {
            isText = true;
            verbText = plat::NarrowToWide(info->lpVerb);
        }
        if (isText) return IsOwnVerb(verbText) ? S_OK : E_FAIL;

        const unsigned offset = static_cast<unsigned>(verb & 0xFFFF);
        const std::vector<std::wstring> targets = CommandTargets(paths_);
        RunShellCommand(ActionFor(offset, targets, [](const std::wstring& path) { return plat::IsDirectory(path); }),
                        targets, info->hwnd);
        return S_OK;
    });
}

STDMETHODIMP Corvastine::GetCommandString(UINT_PTR offset, UINT type, UINT*, CHAR* buffer, UINT size) {
    return Guarded([&]() -> HRESULT {
        wchar_t loaded[kMaxHelpChars + 1] = {};
        if (offset <= 0xFFFF) {
            ::LoadStringW(ModuleHandle(), static_cast<UINT>(offset), loaded, static_cast<int>(kMaxHelpChars + 1));
        }
        switch (type) {
        case GCS_VERBA:
            CopyTruncated(plat::WideToNarrow(kVerb), buffer, size);
            break;
        case GCS_VERBW:
            CopyTruncated(std::wstring(kVerb), reinterpret_cast<wchar_t*>(buffer), size);
            break;
        case GCS_HELPTEXTA:
            CopyNarrowTruncated(loaded, buffer, size);
            break;
        case GCS_HELPTEXTW:
            CopyTruncated(std::wstring(loaded), reinterpret_cast<wchar_t*>(buffer), size);
            break;
        default:
            break;
        }
        return S_OK;
    });
}

}  // namespace corva::shell
