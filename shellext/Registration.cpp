#include "Registration.h"

#include <olectl.h>
#include <oleauto.h>

#include <map>
#include <memory>
#include <vector>

#include <wrl/client.h>

#include "Guids.h"
#include "Module.h"
#include "ShellResourceIds.h"

namespace corva::shell {

namespace {

// Closes an open registry key.
class KeyOwner {
public:
    KeyOwner() = default;
    ~KeyOwner() {
        if (key_) ::RegCloseKey(key_);
    }
    KeyOwner(const KeyOwner&) = delete;
    KeyOwner& operator=(const KeyOwner&) = delete;
    HKEY* Receive() { return &key_; }
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

bool ScriptText(int resourceId, std::wstring* text) {
    HMODULE module = ModuleHandle();
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"REGISTRY");
    if (!found) return false;
    HGLOBAL loaded = ::LoadResource(module, found);
    const DWORD size = ::SizeofResource(module, found);
    const auto* bytes = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
    if (!bytes) return false;
    if (size >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        text->assign(reinterpret_cast<const wchar_t*>(bytes + 2), (size - 2) / sizeof(wchar_t));
        return true;
    }
    if (size == 0) {
        text->clear();
        return true;
    }
    const int n = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(size), nullptr, 0);
    if (n <= 0) return false;
    text->assign(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, static_cast<int>(size), &(*text)[0], n);
    return true;
}

HRESULT RegisterTypeLibrary() {
    const std::wstring path = ModuleFileName();
    if (path.empty()) return SELFREG_E_TYPELIB;
    Microsoft::WRL::ComPtr<ITypeLib> library;
    // REGKIND_NONE, then RegisterTypeLib: the registry gets the plain path
    // (registering while loading would store it with a \\?\ prefix).
    if (FAILED(::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &library))) return SELFREG_E_TYPELIB;
    std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
    if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
    std::wstring fullPath = path;  // the call takes writable strings
    if (FAILED(::RegisterTypeLib(library.Get(), &fullPath[0], folder.empty() ? nullptr : &folder[0]))) {
        return SELFREG_E_TYPELIB;
    }
    return S_OK;
}

HRESULT UnregisterTypeLibrary() {
#ifdef _WIN64
    const SYSKIND kind = SYS_WIN64;
#else
    const SYSKIND kind = SYS_WIN32;
#endif
    HRESULT hr = ::UnRegisterTypeLib(kTypeLibId, kTypeLibMajor, kTypeLibMinor, LANG_NEUTRAL, kind);
    // Nothing registered: already done.
    if (hr == E_INVALIDARG || hr == TYPE_E_REGISTRYACCESS || hr == TYPE_E_CANTLOADLIBRARY) return S_OK;
    return SUCCEEDED(hr) ? S_OK : SELFREG_E_TYPELIB;
}

HKEY RootFor(ScriptRoot root, const RegistrationRoots& roots) {
    return root == ScriptRoot::LocalMachine ? roots.machineRoot : roots.classesRoot;
}

}  // namespace

ScriptParse LoadRegistryScript(int resourceId) {
    std::wstring text;
    if (!ScriptText(resourceId, &text)) {
        ScriptParse missing;
        missing.error = L"registry script " + std::to_wstring(resourceId) + L" is missing or not UTF-8";
        return missing;
    }
    const std::wstring module = ModuleFileName();
    if (module.empty()) {
        ScriptParse failed;
        failed.error = L"the library's own path is unknown";
        return failed;
    }
    return ParseRegistryScript(text, {{L"MODULE", module}});
}

// ------------------------------------------------------------ store

bool Win32RegistryStore::CreateKey(const std::wstring& key) {
    KeyOwner opened;
    return ::RegCreateKeyExW(root_, key.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, opened.Receive(),
                             nullptr) == ERROR_SUCCESS;
}

bool Win32RegistryStore::SetString(const std::wstring& key, const std::wstring& name, const std::wstring& data) {
    KeyOwner opened;
    if (::RegOpenKeyExW(root_, key.c_str(), 0, KEY_SET_VALUE, opened.Receive()) != ERROR_SUCCESS) return false;
    const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(opened.Get(), name.empty() ? nullptr : name.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(data.c_str()), bytes) == ERROR_SUCCESS;
}

bool Win32RegistryStore::KeyExists(const std::wstring& key) {
    KeyOwner opened;
    return ::RegOpenKeyExW(root_, key.c_str(), 0, KEY_READ, opened.Receive()) == ERROR_SUCCESS;
}

bool Win32RegistryStore::GetString(const std::wstring& key, const std::wstring& name, std::wstring* data) {
    KeyOwner opened;
    if (::RegOpenKeyExW(root_, key.c_str(), 0, KEY_QUERY_VALUE, opened.Receive()) != ERROR_SUCCESS) return false;
    DWORD type = 0, bytes = 0;
    const wchar_t* valueName = name.empty() ? nullptr : name.c_str();
    if (::RegQueryValueExW(opened.Get(), valueName, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS) return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    if (::RegQueryValueExW(opened.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS) {
        return false;
    }
    buffer.back() = L'\0';
    *data = buffer.data();
    return true;
}

bool Win32RegistryStore::HasSubkeys(const std::wstring& key) {
    KeyOwner opened;
    if (::RegOpenKeyExW(root_, key.c_str(), 0, KEY_READ, opened.Receive()) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0;
    if (::RegQueryInfoKeyW(opened.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                           nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return true;  // unknown: keep the key
    }
    return subkeys > 0;
}

bool Win32RegistryStore::DeleteTree(const std::wstring& key) {
    LSTATUS tree = ::RegDeleteTreeW(root_, key.c_str());
    if (tree != ERROR_SUCCESS && tree != ERROR_FILE_NOT_FOUND) return false;
    LSTATUS self = ::RegDeleteKeyW(root_, key.c_str());
    return self == ERROR_SUCCESS || self == ERROR_FILE_NOT_FOUND;
}

bool Win32RegistryStore::DeleteKey(const std::wstring& key) {
    LSTATUS status = ::RegDeleteKeyW(root_, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool Win32RegistryStore::DeleteValue(const std::wstring& key, const std::wstring& name) {
    KeyOwner opened;
    LSTATUS status = ::RegOpenKeyExW(root_, key.c_str(), 0, KEY_SET_VALUE, opened.Receive());
    if (status == ERROR_FILE_NOT_FOUND) return true;
    if (status != ERROR_SUCCESS) return false;
    status = ::RegDeleteValueW(opened.Get(), name.empty() ? nullptr : name.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

// ------------------------------------------------------------ server

HRESULT RegisterServer(const RegistrationRoots& roots) {
    for (int id : {IDR_CORVASTINE_CLASS, IDR_CORVASTINE_HANDLERS, IDR_CORVASTINE_APPROVAL}) {
        ScriptParse script = LoadRegistryScript(id);
        if (!script.ok) return SELFREG_E_CLASS;
        Win32RegistryStore store(RootFor(script.root, roots));
        if (!RegisterScript(script.rows, store, nullptr)) return SELFREG_E_CLASS;
    }
    return RegisterTypeLibrary();
}

HRESULT UnregisterServer(const RegistrationRoots& roots) {
    HRESULT result = S_OK;
    for (int id : {IDR_CORVASTINE_APPROVAL, IDR_CORVASTINE_HANDLERS, IDR_CORVASTINE_CLASS}) {
        ScriptParse script = LoadRegistryScript(id);
        if (!script.ok) {
            result = SELFREG_E_CLASS;
            continue;
        }
        Win32RegistryStore store(RootFor(script.root, roots));
        if (!UnregisterScript(script.rows, store, nullptr)) result = SELFREG_E_CLASS;
    }
    HRESULT typelib = UnregisterTypeLibrary();
    return FAILED(result) ? result : typelib;
}

}  // namespace corva::shell
