// Shared pieces of the shell-extension tests under Windows: the library
// loaded as the shell loads it, a data object carrying a file-drop list,
// and reading menus back.
#pragma once

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace shelltest {

using Microsoft::WRL::ComPtr;

// The library's exports, from a LoadLibraryW of its file.
struct Library {
    HMODULE module = nullptr;
    HRESULT(WINAPI* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(WINAPI* canUnloadNow)() = nullptr;
    HRESULT(WINAPI* registerServer)() = nullptr;
    HRESULT(WINAPI* unregisterServer)() = nullptr;

    bool Load(const std::wstring& path);
    ~Library();
};

// A data object whose GetData(CF_HDROP) hands out a fresh file-drop list
// of the paths; every other format is refused.
ComPtr<IDataObject> MakeDropData(const std::vector<std::wstring>& paths);
// A data object offering no format at all.
ComPtr<IDataObject> MakeEmptyData();

struct MenuItem {
    UINT id = 0;
    std::wstring text;
    ULONG_PTR data = 0;
    HMENU submenu = nullptr;
    HBITMAP bitmap = nullptr;     // the item's own bitmap (hbmpItem)
    HBITMAP checked = nullptr;
    HBITMAP unchecked = nullptr;
    bool separator = false;
};
std::vector<MenuItem> ReadMenu(HMENU menu);

// GUID as "{XXXXXXXX-...}".
std::wstring GuidText(const GUID& guid);

}  // namespace shelltest
