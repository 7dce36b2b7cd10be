// The wiping library stand-in (ui_gatedwipe.dll) that holds each call until
// the test releases it, kept loaded by the test so that its record of calls
// outlives a batch's own load and unload of the library.
#pragma once

#include <windows.h>

#include <string>

namespace uitest {

class WipeGate {
public:
    WipeGate();
    ~WipeGate();
    WipeGate(const WipeGate&) = delete;
    WipeGate& operator=(const WipeGate&) = delete;

    bool Loaded() const;
    const std::wstring& LibraryPath() const { return path_; }
    // Lets count more held calls return (calls still to come included).
    void Release(int count);
    int Calls() const;     // calls that have started
    int Returned() const;  // calls that have returned
    // The path the call of that index (from 0) was given, or "".
    std::string PathOfCall(int index) const;
    bool WaitForCalls(int count) const;

private:
    std::wstring path_;
    HMODULE module_;
    void(__cdecl* reset_)() = nullptr;
    void(__cdecl* release_)(int) = nullptr;
    int(__cdecl* calls_)() = nullptr;
    int(__cdecl* returned_)() = nullptr;
    int(__cdecl* pathOf_)(int, char*, int) = nullptr;
};

}  // namespace uitest
