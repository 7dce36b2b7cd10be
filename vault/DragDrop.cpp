#include "DragDrop.h"

#include <shlobj.h>

#include <cstring>
#include <new>

namespace corva::vault {

namespace {

constexpr DWORD kDropListOffset = 20;

FORMATETC HdropFormat() {
    FORMATETC format{};
    format.cfFormat = CF_HDROP;
    format.ptd = nullptr;
    format.dwAspect = DVASPECT_CONTENT;
    format.lindex = -1;
    format.tymed = TYMED_HGLOBAL;
    return format;
}

// A copy of a block of global memory, movable like the original.
HGLOBAL CopyGlobal(HGLOBAL source) {
    const SIZE_T size = ::GlobalSize(source);
    const void* from = ::GlobalLock(source);
    if (!from) return nullptr;
    HGLOBAL copy = ::GlobalAlloc(GMEM_MOVEABLE, size);
    void* to = copy ? ::GlobalLock(copy) : nullptr;
    if (to) {
        std::memcpy(to, from, size);
        ::GlobalUnlock(copy);
    } else if (copy) {
        ::GlobalFree(copy);
        copy = nullptr;
    }
    ::GlobalUnlock(source);
    return copy;
}

}  // namespace

HGLOBAL MakeFileDropList(const std::vector<std::wstring>& paths) {
    size_t chars = 1;
    for (const auto& path : paths) chars += path.size() + 1;
    const size_t bytes = kDropListOffset + chars * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
    if (!memory) return nullptr;
    auto* base = static_cast<unsigned char*>(::GlobalLock(memory));
    if (!base) {
        ::GlobalFree(memory);
        return nullptr;
    }
    DROPFILES header{};
    header.pFiles = kDropListOffset;
    header.fWide = TRUE;
    std::memcpy(base, &header, sizeof header < kDropListOffset ? sizeof header : kDropListOffset);
    auto* names = reinterpret_cast<wchar_t*>(base + kDropListOffset);
    for (const auto& path : paths) {
        std::memcpy(names, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
        names += path.size() + 1;
    }
    ::GlobalUnlock(memory);
    return memory;
}

std::vector<std::wstring> ReadFileDropList(HDROP drop) {
    std::vector<std::wstring> paths;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
        std::wstring path(length + 1, L'\0');
        const UINT got = ::DragQueryFileW(drop, i, &path[0], length + 1);
        path.resize(got);
        if (!path.empty()) paths.push_back(path);
    }
    return paths;
}

std::vector<std::wstring> FileDropListOf(IDataObject* data) {
    if (!data) return {};
    FORMATETC format = HdropFormat();
    STGMEDIUM medium{};
    if (FAILED(data->GetData(&format, &medium))) return {};
    std::vector<std::wstring> paths;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        paths = ReadFileDropList(static_cast<HDROP>(medium.hGlobal));
    }
    ::ReleaseStgMedium(&medium);
    return paths;
}

// ------------------------------------------------------------ data object

FileDropData* FileDropData::Create(const std::vector<std::wstring>& paths) {
    HGLOBAL list = MakeFileDropList(paths);
    if (!list) return nullptr;
    auto* data = new (std::nothrow) FileDropData();
    if (!data) {
        ::GlobalFree(list);
        return nullptr;
    }
    data->stored_.push_back(Stored{HdropFormat(), list});
    return data;
}

FileDropData::~FileDropData() {
    for (auto& entry : stored_) ::GlobalFree(entry.memory);
}

const FileDropData::Stored* FileDropData::Find(const FORMATETC& format) const {
    for (const auto& entry : stored_) {
        if (entry.format.cfFormat == format.cfFormat && (format.tymed & TYMED_HGLOBAL) &&
            entry.format.dwAspect == format.dwAspect && (format.lindex == -1 || format.lindex == 0))
            return &entry;
    }
    return nullptr;
}

HRESULT FileDropData::QueryInterface(REFIID iid, void** out) {
    static const QITAB kInterfaces[] = {QITABENT(FileDropData, IDataObject), {nullptr, 0}};
    return ::QISearch(this, kInterfaces, iid, out);
}

HRESULT FileDropData::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (!format || !medium) return E_INVALIDARG;
    const Stored* entry = Find(*format);
    if (!entry) return DV_E_FORMATETC;
    HGLOBAL copy = CopyGlobal(entry->memory);
    if (!copy) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = copy;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

HRESULT FileDropData::QueryGetData(FORMATETC* format) {
    if (!format) return E_INVALIDARG;
    return Find(*format) ? S_OK : DV_E_FORMATETC;
}

HRESULT FileDropData::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) {
    if (out) out->ptd = nullptr;
    return E_NOTIMPL;
}

HRESULT FileDropData::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
    try {
        if (!format || !medium) return E_INVALIDARG;
        if (medium->tymed != TYMED_HGLOBAL || !medium->hGlobal) return DV_E_TYMED;
        HGLOBAL memory = release ? medium->hGlobal : CopyGlobal(medium->hGlobal);
        if (!memory) return E_OUTOFMEMORY;
        FORMATETC kept = *format;
        kept.ptd = nullptr;
        kept.tymed = TYMED_HGLOBAL;
        for (auto& entry : stored_) {
            if (entry.format.cfFormat == kept.cfFormat && entry.format.dwAspect == kept.dwAspect) {
                ::GlobalFree(entry.memory);
                entry.memory = memory;
                return S_OK;
            }
        }
        stored_.push_back(Stored{kept, memory});
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

HRESULT FileDropData::EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) {
    try {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (direction != DATADIR_GET) return E_NOTIMPL;
        std::vector<FORMATETC> formats;
        for (const auto& entry : stored_) formats.push_back(entry.format);
        return ::SHCreateStdEnumFmtEtc(static_cast<UINT>(formats.size()), formats.data(), out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

std::vector<std::wstring> FileDropData::Paths() const {
    if (stored_.empty()) return {};
    return ReadFileDropList(static_cast<HDROP>(stored_.front().memory));
}

bool FileDropData::ReplacePaths(const std::vector<std::wstring>& paths) {
    if (stored_.empty()) return false;
    HGLOBAL list = MakeFileDropList(paths);
    if (!list) return false;
    ::GlobalFree(stored_.front().memory);
    stored_.front().memory = list;
    return true;
}

// ------------------------------------------------------------ drop source

HRESULT DropSource::QueryContinueDrag(BOOL escapePressed, DWORD keyState) {
    if (escapePressed) return DRAGDROP_S_CANCEL;
    if (keyState & MK_LBUTTON) return S_OK;
    try {
        return owner_.OnDragReleased() ? DRAGDROP_S_DROP : DRAGDROP_S_CANCEL;
    } catch (...) {
        return DRAGDROP_S_CANCEL;
    }
}

// ------------------------------------------------------------ drop target

DWORD FileDropTarget::EffectFor(DWORD allowed) const {
    if (!hasFiles_ || !receiver_.AcceptsDrops()) return DROPEFFECT_NONE;
    return (allowed & DROPEFFECT_COPY) ? DROPEFFECT_COPY : DROPEFFECT_NONE;
}

HRESULT FileDropTarget::DragEnter(IDataObject* data, DWORD, POINTL, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    FORMATETC format = HdropFormat();
    hasFiles_ = data && data->QueryGetData(&format) == S_OK;
    *effect = EffectFor(*effect);
    return S_OK;
}

HRESULT FileDropTarget::DragOver(DWORD, POINTL, DWORD* effect) {
    if (!effect) return E_INVALIDARG;
    *effect = EffectFor(*effect);
    return S_OK;
}

HRESULT FileDropTarget::DragLeave() {
    hasFiles_ = false;
    return S_OK;
}

HRESULT FileDropTarget::Drop(IDataObject* data, DWORD, POINTL point, DWORD* effect) {
    try {
        if (!effect) return E_INVALIDARG;
        const DWORD chosen = EffectFor(*effect);
        hasFiles_ = false;
        *effect = chosen;
        if (chosen == DROPEFFECT_NONE) return S_OK;
        std::vector<std::wstring> paths = FileDropListOf(data);
        if (paths.empty()) {
            *effect = DROPEFFECT_NONE;
            return S_OK;
        }
        receiver_.TakeDrop(std::move(paths), POINT{point.x, point.y});
        return S_OK;
    } catch (const std::bad_alloc&) {
        *effect = DROPEFFECT_NONE;
        return E_OUTOFMEMORY;
    } catch (...) {
        *effect = DROPEFFECT_NONE;
        return E_UNEXPECTED;
    }
}

}  // namespace corva::vault
