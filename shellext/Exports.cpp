// The library's entry point and exports (named in corvastinesh.def).
#include <windows.h>
#include <olectl.h>

#include "ComSupport.h"
#include "Module.h"
#include "Registration.h"

using namespace corva::shell;

namespace {

// Machine-wide classes: HKEY_LOCAL_MACHINE\Software\Classes (a class
// registered for one user only is not found by every shell); the approval
// list lies below HKEY_LOCAL_MACHINE itself.
HRESULT WithMachineClasses(HRESULT (*action)(const RegistrationRoots&)) {
    HKEY classes = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                          &classes, nullptr) != ERROR_SUCCESS) {
        return SELFREG_E_CLASS;
    }
    HRESULT hr = Guarded([&] { return action(RegistrationRoots{classes, HKEY_LOCAL_MACHINE}); });
    ::RegCloseKey(classes);
    return hr;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        SetModuleHandle(instance);
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    return GetClassObject(clsid, iid, object);
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ModuleLockCount() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllRegisterServer() { return WithMachineClasses(&RegisterServer); }

extern "C" HRESULT WINAPI DllUnregisterServer() { return WithMachineClasses(&UnregisterServer); }
