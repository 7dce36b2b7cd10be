#include "Module.h"

#include <vector>

namespace corva::shell {

namespace {
HMODULE g_module = nullptr;
volatile LONG g_locks = 0;
}  // namespace

HMODULE ModuleHandle() { return g_module; }
void SetModuleHandle(HMODULE module) { g_module = module; }

void ModuleAddRef() { ::InterlockedIncrement(&g_locks); }
void ModuleRelease() { ::InterlockedDecrement(&g_locks); }
long ModuleLockCount() { return ::InterlockedCompareExchange(&g_locks, 0, 0); }

std::wstring ModuleFileName() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD n = ::GetModuleFileNameW(g_module, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return std::wstring();
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        if (buffer.size() >= 32768) return std::wstring();
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace corva::shell
