#include "WipeGate.h"

#include "UiHarness.h"

namespace uitest {

namespace {

// An export of a loaded library as a function of type F.
template <typename F>
F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(::GetProcAddress(module, name)));
}

}  // namespace

WipeGate::WipeGate() : path_(BesideProgram(L"ui_gatedwipe.dll")), module_(::LoadLibraryW(path_.c_str())) {
    if (!module_) return;
    reset_ = Export<void(__cdecl*)()>(module_, "gate_reset");
    release_ = Export<void(__cdecl*)(int)>(module_, "gate_release");
    calls_ = Export<int(__cdecl*)()>(module_, "gate_calls");
    returned_ = Export<int(__cdecl*)()>(module_, "gate_returned");
    pathOf_ = Export<int(__cdecl*)(int, char*, int)>(module_, "gate_path");
    if (reset_) reset_();
}

WipeGate::~WipeGate() {
    if (module_) ::FreeLibrary(module_);
}

bool WipeGate::Loaded() const { return module_ && reset_ && release_ && calls_ && returned_ && pathOf_; }

void WipeGate::Release(int count) {
    if (release_) release_(count);
}

int WipeGate::Calls() const { return calls_ ? calls_() : -1; }

int WipeGate::Returned() const { return returned_ ? returned_() : -1; }

std::string WipeGate::PathOfCall(int index) const {
    char buffer[1024] = {};
    return pathOf_ && pathOf_(index, buffer, sizeof buffer) >= 0 ? std::string(buffer) : std::string();
}

bool WipeGate::WaitForCalls(int count) const {
    return WaitUntil([&] { return Calls() >= count; });
}

}  // namespace uitest
