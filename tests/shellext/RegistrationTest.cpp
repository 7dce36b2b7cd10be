// Self-registration into scratch keys: HKEY_LOCAL_MACHINE and
// HKEY_CLASSES_ROOT are redirected (RegOverridePredefKey) to keys below a
// scratch key of the current user, so that the registry of the prefix the
// test runs in keeps its classes.
#include <windows.h>

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ShellTestSupport.h"
#include "UiHarness.h"

using namespace shelltest;

namespace {

const wchar_t kScratch[] = L"Software\\Corvastine Tests\\Registration";
const wchar_t kClsid[] = L"{91777546-DFA0-4C50-8B72-9FBBED8179C7}";
const wchar_t kLibid[] = L"{9F95D995-B3DA-4B5D-8A6B-A4C15D80715D}";
const wchar_t kIid[] = L"{B920DA0A-D70B-49CE-88A9-C5AD0CAB4187}";
const wchar_t kApproved[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";

// Every value below a key as "path|name" -> data ("<key>" for a key with no
// values), the path relative to the key.
void Collect(HKEY key, const std::wstring& path, std::map<std::wstring, std::wstring>* out) {
    DWORD values = 0, subkeys = 0;
    ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr, nullptr,
                       nullptr);
    if (values == 0 && !path.empty()) (*out)[path + L"|<key>"] = L"";
    for (DWORD i = 0; i < values; ++i) {
        wchar_t name[256];
        DWORD nameChars = 256, type = 0, bytes = 0;
        BYTE data[2048] = {};
        bytes = sizeof data - 2;
        if (::RegEnumValueW(key, i, name, &nameChars, nullptr, &type, data, &bytes) != ERROR_SUCCESS) continue;
        (*out)[path + L"|" + name] = type == REG_SZ ? std::wstring(reinterpret_cast<wchar_t*>(data)) : L"<not a string>";
    }
    for (DWORD i = 0; i < subkeys; ++i) {
        wchar_t name[256];
        DWORD nameChars = 256;
        if (::RegEnumKeyExW(key, i, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) continue;
        HKEY sub = nullptr;
        if (::RegOpenKeyExW(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS) continue;
        Collect(sub, path.empty() ? name : path + L"\\" + name, out);
        ::RegCloseKey(sub);
    }
}

class RegistrationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kScratch) + L"\\HKLM").c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &machine_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, (std::wstring(kScratch) + L"\\HKCR").c_str(), 0, nullptr, 0,
                                    KEY_ALL_ACCESS, nullptr, &classesRoot_, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(::RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine_), ERROR_SUCCESS);
        ASSERT_EQ(::RegOverridePredefKey(HKEY_CLASSES_ROOT, classesRoot_), ERROR_SUCCESS);
        ASSERT_TRUE(library_.Load(uitest::BesideProgram(L"corvastinesh.dll")));
    }
    void TearDown() override {
        ::RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
        if (machine_) ::RegCloseKey(machine_);
        if (classesRoot_) ::RegCloseKey(classesRoot_);
        ::RegDeleteTreeW(HKEY_CURRENT_USER, kScratch);
        ::RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Corvastine Tests");
        ::CoUninitialize();
    }

    // What lies below a key of the machine, as the library wrote it.
    std::map<std::wstring, std::wstring> Machine(const std::wstring& below) {
        std::map<std::wstring, std::wstring> found;
        HKEY key = nullptr;
        if (::RegOpenKeyExW(machine_, below.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
            Collect(key, L"", &found);
            ::RegCloseKey(key);
        }
        return found;
    }
    // The machine's classes as the library wrote them.
    std::map<std::wstring, std::wstring> Classes(const std::wstring& below) { return Machine(L"Software\\Classes\\" + below); }
    bool MachineKeyExists(const std::wstring& below) {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(machine_, (L"Software\\Classes\\" + below).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        ::RegCloseKey(key);
        return true;
    }
    void SetMachineValue(const std::wstring& below, const std::wstring& data) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExW(machine_, (L"Software\\Classes\\" + below).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                    nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExW(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                         static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
        ::RegCloseKey(key);
    }

    HKEY machine_ = nullptr;
    HKEY classesRoot_ = nullptr;
    Library library_;
};

}  // namespace

TEST_F(RegistrationTest, WritesExactlyTheClassProgIdsHandlersAndTypeLibrary) {
    ASSERT_EQ(library_.registerServer(), S_OK);
    const std::wstring module = uitest::BesideProgram(L"corvastinesh.dll");

    EXPECT_EQ(Classes(L"Corvastinesh.Corvastine.1"), (std::map<std::wstring, std::wstring>{
                                                         {L"|", L"Corvastine Class"},
                                                         {L"CLSID|", kClsid},
                                                     }));
    EXPECT_EQ(Classes(L"Corvastinesh.Corvastine"), (std::map<std::wstring, std::wstring>{
                                                       {L"|", L"Corvastine Class"},
                                                       {L"CLSID|", kClsid},
                                                       {L"CurVer|", L"Corvastinesh.Corvastine.1"},
                                                   }));
    EXPECT_EQ(Classes(std::wstring(L"CLSID\\") + kClsid), (std::map<std::wstring, std::wstring>{
                                                               {L"|", L"Corvastine Class"},
                                                               {L"ProgID|", L"Corvastinesh.Corvastine.1"},
                                                               {L"VersionIndependentProgID|", L"Corvastinesh.Corvastine"},
                                                               {L"Programmable|<key>", L""},
                                                               {L"InprocServer32|", module},
                                                               {L"InprocServer32|ThreadingModel", L"Apartment"},
                                                               {L"TypeLib|", kLibid},
                                                           }));
    EXPECT_EQ(Classes(L"*\\shellex\\ContextMenuHandlers"),
              (std::map<std::wstring, std::wstring>{{L"Corvastine|", kClsid}}));
    EXPECT_EQ(Classes(L"Directory\\shellex\\ContextMenuHandlers"),
              (std::map<std::wstring, std::wstring>{{L"Corvastine|", kClsid}}));
    // Approved machine-wide, for systems that load approved extensions only.
    EXPECT_EQ(Machine(kApproved), (std::map<std::wstring, std::wstring>{{std::wstring(L"|") + kClsid, L"Corvastine Class"}}));

    // The type library with the plain path of the library file.
    wchar_t path[1024] = {};
    LONG size = sizeof path;
    const std::wstring win = sizeof(void*) == 8 ? L"win64" : L"win32";
    ASSERT_EQ(::RegQueryValueW(classesRoot_, (std::wstring(L"TypeLib\\") + kLibid + L"\\1.0\\0\\" + win).c_str(), path, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(std::wstring(path), module);
    size = sizeof path;
    ASSERT_EQ(::RegQueryValueW(classesRoot_, (std::wstring(L"TypeLib\\") + kLibid + L"\\1.0").c_str(), path, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(path, L"corvastinesh 1.0 Type Library");
    size = sizeof path;
    EXPECT_EQ(::RegQueryValueW(classesRoot_, (std::wstring(L"Interface\\") + kIid).c_str(), path, &size), ERROR_SUCCESS);
    EXPECT_STREQ(path, L"ICorvastine");
}

TEST_F(RegistrationTest, RegisteringTwiceLeavesOneClassKeyReplacedAsAWhole) {
    ASSERT_EQ(library_.registerServer(), S_OK);
    SetMachineValue(std::wstring(L"CLSID\\") + kClsid + L"\\Stale", L"left from before");
    ASSERT_EQ(library_.registerServer(), S_OK);
    EXPECT_FALSE(MachineKeyExists(std::wstring(L"CLSID\\") + kClsid + L"\\Stale"));
    auto all = Classes(L"CLSID");
    size_t classKeys = 0;
    for (const auto& entry : all) {
        if (entry.first.rfind(std::wstring(kClsid) + L"|", 0) == 0) ++classKeys;
    }
    EXPECT_EQ(classKeys, 1u) << ::testing::PrintToString(all);
    EXPECT_EQ(Classes(L"*\\shellex\\ContextMenuHandlers").size(), 1u);
}

TEST_F(RegistrationTest, UnregisteringLeavesClsidSharedParentsAndOtherHandlers) {
    SetMachineValue(L"CLSID\\{00000000-1111-2222-3333-444444444444}", L"Another Class");
    SetMachineValue(L"*\\shellex\\ContextMenuHandlers\\Other", L"{00000000-1111-2222-3333-444444444444}");
    HKEY approved = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(machine_, kApproved, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &approved, nullptr), ERROR_SUCCESS);
    const std::wstring other = L"Another Extension";
    ::RegSetValueExW(approved, L"{00000000-1111-2222-3333-444444444444}", 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(other.c_str()), static_cast<DWORD>((other.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(approved);
    ASSERT_EQ(library_.registerServer(), S_OK);
    // Another program has since put its own class under our folder handler's name.
    SetMachineValue(L"Directory\\shellex\\ContextMenuHandlers\\Corvastine", L"{00000000-1111-2222-3333-444444444444}");

    ASSERT_EQ(library_.unregisterServer(), S_OK);
    EXPECT_FALSE(MachineKeyExists(L"Corvastinesh.Corvastine.1"));
    EXPECT_FALSE(MachineKeyExists(L"Corvastinesh.Corvastine"));
    EXPECT_FALSE(MachineKeyExists(std::wstring(L"CLSID\\") + kClsid));
    EXPECT_TRUE(MachineKeyExists(L"CLSID"));
    EXPECT_TRUE(MachineKeyExists(L"CLSID\\{00000000-1111-2222-3333-444444444444}"));
    EXPECT_FALSE(MachineKeyExists(L"*\\shellex\\ContextMenuHandlers\\Corvastine"));
    EXPECT_TRUE(MachineKeyExists(L"*\\shellex\\ContextMenuHandlers\\Other"));
    EXPECT_TRUE(MachineKeyExists(L"Directory\\shellex\\ContextMenuHandlers\\Corvastine"));
    EXPECT_TRUE(MachineKeyExists(L"Directory\\shellex\\ContextMenuHandlers"));
    // Our approval goes, the other extension's stays.
    EXPECT_EQ(Machine(kApproved),
              (std::map<std::wstring, std::wstring>{{L"|{00000000-1111-2222-3333-444444444444}", other}}));
    HKEY typelib = nullptr;
    EXPECT_NE(::RegOpenKeyExW(classesRoot_, (std::wstring(L"TypeLib\\") + kLibid).c_str(), 0, KEY_READ, &typelib),
              ERROR_SUCCESS);
    if (typelib) ::RegCloseKey(typelib);

    // Unregistering again, with nothing left to remove, succeeds.
    EXPECT_EQ(library_.unregisterServer(), S_OK);
}
