#include "ShellTestSupport.h"

#include <shlwapi.h>

#include <cstring>

namespace shelltest {

bool Library::Load(const std::wstring& path) {
    module = ::LoadLibraryW(path.c_str());
    if (!module) return false;
    auto find = [this](const char* name) { return reinterpret_cast<void*>(::GetProcAddress(module, name)); };
    getClassObject = reinterpret_cast<decltype(getClassObject)>(find("DllGetClassObject"));
    canUnloadNow = reinterpret_cast<decltype(canUnloadNow)>(find("DllCanUnloadNow"));
    registerServer = reinterpret_cast<decltype(registerServer)>(find("DllRegisterServer"));
    unregisterServer = reinterpret_cast<decltype(unregisterServer)>(find("DllUnregisterServer"));
    return getClassObject && canUnloadNow && registerServer && unregisterServer;
}

Library::~Library() {
    if (module) ::FreeLibrary(module);
}

namespace {

class DropData final : public IDataObject {
public:
    explicit DropData(std::vector<std::wstring> paths, bool offerDrop) : paths_(std::move(paths)), offerDrop_(offerDrop) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        if (::IsEqualIID(iid, IID_IUnknown) || ::IsEqualIID(iid, IID_IDataObject)) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = ::InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!offerDrop_ || !format || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) {
            return DV_E_FORMATETC;
        }
        size_t chars = 1;
        for (const auto& p : paths_) chars += p.size() + 1;
        const size_t bytes = sizeof(DROPFILES) + chars * sizeof(wchar_t);
        HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
        if (!memory) return E_OUTOFMEMORY;
        auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
        drop->pFiles = sizeof(DROPFILES);
        drop->fWide = TRUE;
        auto* out = reinterpret_cast<wchar_t*>(reinterpret_cast<char*>(drop) + sizeof(DROPFILES));
        for (const auto& p : paths_) {
            std::memcpy(out, p.c_str(), (p.size() + 1) * sizeof(wchar_t));
            out += p.size() + 1;
        }
        ::GlobalUnlock(memory);
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = memory;
        medium->pUnkForRelease = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        return offerDrop_ && format && format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    ~DropData() = default;
    volatile LONG refs_ = 1;
    std::vector<std::wstring> paths_;
    bool offerDrop_;
};

}  // namespace

ComPtr<IDataObject> MakeDropData(const std::vector<std::wstring>& paths) {
    ComPtr<IDataObject> data;
    data.Attach(new DropData(paths, true));
    return data;
}

ComPtr<IDataObject> MakeEmptyData() {
    ComPtr<IDataObject> data;
    data.Attach(new DropData({}, false));
    return data;
}

std::vector<MenuItem> ReadMenu(HMENU menu) {
    std::vector<MenuItem> items;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_STRING | MIIM_DATA | MIIM_SUBMENU | MIIM_CHECKMARKS | MIIM_FTYPE | MIIM_BITMAP;
        info.dwTypeData = text;
        info.cch = 255;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
        MenuItem item;
        item.id = info.wID;
        item.text = text;
        item.data = info.dwItemData;
        item.submenu = info.hSubMenu;
        item.bitmap = info.hbmpItem;
        item.checked = info.hbmpChecked;
        item.unchecked = info.hbmpUnchecked;
        item.separator = (info.fType & MFT_SEPARATOR) != 0;
        items.push_back(item);
    }
    return items;
}

std::wstring GuidText(const GUID& guid) {
    wchar_t text[64] = {};
    ::StringFromGUID2(guid, text, 64);
    return text;
}

}  // namespace shelltest
