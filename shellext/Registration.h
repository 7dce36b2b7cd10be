// Self-registration from the library's registry scripts: the class script
// (resource 101: class, ProgIDs, in-process server), the handler script
// (resource 3001: the class as context-menu handler of all files and of
// folders) and the approval script (resource 3002: the class in the
// machine's list of approved shell extensions, which Windows consults when
// a policy allows approved extensions only), plus the embedded type
// library. Registration is machine-wide; the classes root and the machine
// root are parameters so that tests can redirect them.
#pragma once

#include <windows.h>

#include <string>

#include "RegistryScript.h"

namespace corva::shell {

// The script of a "REGISTRY" resource of the library, with %MODULE% set to
// the library's full path. ok false with the reason when it is missing or
// does not parse.
ScriptParse LoadRegistryScript(int resourceId);

// A RegistryStore on the keys below root (an open key, not owned).
class Win32RegistryStore final : public RegistryStore {
public:
    explicit Win32RegistryStore(HKEY root) : root_(root) {}
    bool CreateKey(const std::wstring& key) override;
    bool SetString(const std::wstring& key, const std::wstring& name, const std::wstring& data) override;
    bool KeyExists(const std::wstring& key) override;
    bool GetString(const std::wstring& key, const std::wstring& name, std::wstring* data) override;
    bool HasSubkeys(const std::wstring& key) override;
    bool DeleteTree(const std::wstring& key) override;
    bool DeleteKey(const std::wstring& key) override;
    bool DeleteValue(const std::wstring& key, const std::wstring& name) override;

private:
    HKEY root_;
};

// Where the scripts write: the HKCR scripts below classesRoot, the HKLM
// script below machineRoot (open keys, not owned).
struct RegistrationRoots {
    HKEY classesRoot;
    HKEY machineRoot;
};

// Applies the three scripts and registers the type library (with the
// library's plain path). S_OK, SELFREG_E_CLASS or SELFREG_E_TYPELIB.
HRESULT RegisterServer(const RegistrationRoots& roots);
// Removes what the scripts wrote (by their removal rules) and unregisters
// the type library; a type library that was not registered counts as done.
HRESULT UnregisterServer(const RegistrationRoots& roots);

}  // namespace corva::shell
