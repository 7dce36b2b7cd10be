// The library's module state: its own handle (stored by DllMain) and the
// count of live objects and class-factory locks that DllCanUnloadNow
// reports. Counts change with interlocked operations.
#pragma once

#include <windows.h>

#include <string>

namespace corva::shell {

HMODULE ModuleHandle();
void SetModuleHandle(HMODULE module);

void ModuleAddRef();
void ModuleRelease();
long ModuleLockCount();

// Full path of the library file, at any length (empty on failure).
std::wstring ModuleFileName();

// Holds one module reference for as long as it lives: every COM object of
// the library and every thread it starts has one.
class ModuleReference {
public:
    ModuleReference() { ModuleAddRef(); }
    ~ModuleReference() { ModuleRelease(); }
    ModuleReference(const ModuleReference&) { ModuleAddRef(); }
    ModuleReference& operator=(const ModuleReference&) = default;
};

}  // namespace corva::shell
