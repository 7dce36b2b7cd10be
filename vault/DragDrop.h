// The COM objects of the vault's drag and drop: a data object carrying a
// file-drop list (CF_HDROP), the drop source of a drag out of the list, and
// the drop target that takes files dropped onto the window. Nothing thrown
// leaves a COM method; each counts its references on the shared base
// (ui/RefCounted.h).
#pragma once

#include <windows.h>
#include <ole2.h>
#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "ui/RefCounted.h"

namespace corva::vault {

// A file-drop list in movable, zero-filled global memory: the 20-byte
// header (list at offset 20, point 0, 0, wide names), each path with its
// terminating zero and one more zero. Null when memory runs out.
HGLOBAL MakeFileDropList(const std::vector<std::wstring>& paths);

// The paths of a file-drop list, in order.
std::vector<std::wstring> ReadFileDropList(HDROP drop);

// The paths of a data object's CF_HDROP list; empty when it has none.
std::vector<std::wstring> FileDropListOf(IDataObject* data);

template <typename Interface>
using RefCounted = corva::ui::RefCounted<corva::ui::NoHold, Interface>;

// A data object offering one file-drop list; it also keeps what a drag-image
// helper stores in it (global-memory data of any format).
class FileDropData final : public RefCounted<IDataObject> {
public:
    // Created with one reference; null when the list cannot be made.
    static FileDropData* Create(const std::vector<std::wstring>& paths);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

    // The paths of the file-drop list as it now stands.
    std::vector<std::wstring> Paths() const;
    // Puts another file-drop list in place of the one held (before the drop
    // target asks for it); false, with the old list kept, when memory runs
    // out.
    bool ReplacePaths(const std::vector<std::wstring>& paths);

private:
    struct Stored {
        FORMATETC format;
        HGLOBAL memory;
    };
    FileDropData() = default;
    ~FileDropData() override;
    const Stored* Find(const FORMATETC& format) const;

    std::vector<Stored> stored_;  // the file-drop list first
};

// What the drop source asks its owner when the mouse button is released:
// true lets the drop happen, false cancels the drag.
class DragReleaseHandler {
public:
    virtual bool OnDragReleased() = 0;

protected:
    ~DragReleaseHandler() = default;
};

class DropSource final : public RefCounted<IDropSource> {
public:
    explicit DropSource(DragReleaseHandler& owner) : owner_(owner) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        static const QITAB kInterfaces[] = {QITABENT(DropSource, IDropSource), {nullptr, 0}};
        return ::QISearch(this, kInterfaces, iid, out);
    }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escapePressed, DWORD keyState) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

private:
    DragReleaseHandler& owner_;
};

// What the drop target hands to its window.
class FileDropReceiver {
public:
    // Whether files may be dropped now (not while the window's own drag runs).
    virtual bool AcceptsDrops() = 0;
    // Takes the dropped paths and the drop point (screen coordinates); must
    // only store them and post a message.
    virtual void TakeDrop(std::vector<std::wstring> paths, POINT screenPoint) = 0;

protected:
    ~FileDropReceiver() = default;
};

// Accepts file-drop lists as a copy: the files are locked after the drop
// has returned, so the drag's source must not delete them itself.
class FileDropTarget final : public RefCounted<IDropTarget> {
public:
    explicit FileDropTarget(FileDropReceiver& receiver) : receiver_(receiver) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        static const QITAB kInterfaces[] = {QITABENT(FileDropTarget, IDropTarget), {nullptr, 0}};
        return ::QISearch(this, kInterfaces, iid, out);
    }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

private:
    DWORD EffectFor(DWORD allowed) const;

    FileDropReceiver& receiver_;
    bool hasFiles_ = false;
};

}  // namespace corva::vault
