// The COM class "Corvastine Class": the context-menu handler Explorer
// creates for every context menu of files and folders. It answers
// QueryInterface for ICorvastine, IDispatch, IShellExtInit and IContextMenu,
// in that order. Initialize keeps the shell's paths, QueryContextMenu adds
// the "Corvastine" submenu, InvokeCommand runs Lock, Unlock or Shred on
// every selected path after asking for the password once, GetCommandString gives verbs
// and help texts.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "ComSupport.h"
#include "MenuBitmaps.h"

namespace corva::shell {

// The dual interface of the class: IDispatch with no methods of its own.
struct ICorvastine : public IDispatch {};

class Corvastine final : public LibraryObject<ICorvastine, IShellExtInit, IContextMenu> {
public:
    static HRESULT Create(REFIID iid, void** object);

    // IUnknown (AddRef and Release: LibraryObject)
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override;

    // IDispatch, answered from the embedded type library.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override;
    STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO* exception, UINT* argumentError) override;

    // IShellExtInit
    STDMETHODIMP Initialize(PCIDLIST_ABSOLUTE folder, IDataObject* data, HKEY progIdKey) override;

    // IContextMenu
    STDMETHODIMP QueryContextMenu(HMENU menu, UINT position, UINT firstId, UINT lastId, UINT flags) override;
    STDMETHODIMP InvokeCommand(CMINVOKECOMMANDINFO* info) override;
    STDMETHODIMP GetCommandString(UINT_PTR offset, UINT type, UINT* reserved, CHAR* buffer, UINT size) override;

private:
    Corvastine() = default;
    ~Corvastine() override = default;

    HRESULT LoadTypeInfo();

    Microsoft::WRL::ComPtr<IDataObject> data_;
    std::vector<std::wstring> paths_;  // the shell's selection, as handed to Initialize
    MenuBitmaps bitmaps_;
    Microsoft::WRL::ComPtr<ITypeInfo> typeInfo_;
};

}  // namespace corva::shell
