// The USB-drive test on the running system's own device management. Under
// Wine and on Linux no drive is a USB drive; on a real Windows machine the
// answers must at least agree with each other. Every handle and device list
// the system hands out is given back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drives/UsbDrives.h"

#ifdef _WIN32
#include <windows.h>
#include <setupapi.h>
#endif

using namespace corva;

namespace {

// Passes every call to the system's platform, counting what is held.
class CountingPlatform : public DrivePlatform {
public:
    explicit CountingPlatform(DrivePlatform& inner) : inner_(inner) {}
    int handles = 0, sets = 0, opensTried = 0, opensSucceeded = 0, setsSucceeded = 0;

    DriveHandle OpenDevice(const std::wstring& path) override {
        ++opensTried;
        DriveHandle h = inner_.OpenDevice(path);
        if (h != kInvalidDriveHandle) {
            ++handles;
            ++opensSucceeded;
        }
        return h;
    }
    bool GetDeviceNumber(DriveHandle d, StorageDeviceNumber* n) override { return inner_.GetDeviceNumber(d, n); }
    void CloseDevice(DriveHandle d) override {
        --handles;
        inner_.CloseDevice(d);
    }
    uint32_t DriveTypeOf(const std::wstring& root) override { return inner_.DriveTypeOf(root); }
    bool QueryDosDeviceName(const std::wstring& n, std::wstring* t) override { return inner_.QueryDosDeviceName(n, t); }
    DriveHandle GetClassDevices(const plat::Guid& c) override {
        DriveHandle s = inner_.GetClassDevices(c);
        if (s != kInvalidDriveHandle) {
            ++sets;
            ++setsSucceeded;
        }
        return s;
    }
    bool EnumDeviceInterface(DriveHandle s, const plat::Guid& c, uint32_t i, DeviceInterfaceData* d) override {
        return inner_.EnumDeviceInterface(s, c, i, d);
    }
    uint32_t GetInterfaceDetailSize(DriveHandle s, const DeviceInterfaceData& d) override {
        return inner_.GetInterfaceDetailSize(s, d);
    }
    bool GetInterfaceDetail(DriveHandle s, const DeviceInterfaceData& d, uint32_t size, std::wstring* p,
                            uint32_t* i) override {
        return inner_.GetInterfaceDetail(s, d, size, p, i);
    }
    void DestroyDeviceList(DriveHandle s) override {
        --sets;
        inner_.DestroyDeviceList(s);
    }
    bool GetDeviceId(uint32_t i, std::wstring* id) override { return inner_.GetDeviceId(i, id); }
    std::wstring ModuleFileName() override { return inner_.ModuleFileName(); }

private:
    DrivePlatform& inner_;
};

// True when no USB drive can be present: Linux, or Windows emulated by Wine.
bool NoUsbDrivesHere() {
#ifdef _WIN32
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return true;
#endif
}

#ifdef _WIN32
DWORD ProcessHandles() {
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return count;
}

// The value the system gives the next handle. Freed handle slots are handed
// out again, so this value creeps upwards only while handles stay open (and
// Wine, unlike Windows, reports no process handle count).
uintptr_t NextHandleValue() {
    HANDLE e = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    const uintptr_t value = reinterpret_cast<uintptr_t>(e);
    ::CloseHandle(e);
    return value;
}
#endif

}  // namespace

TEST(SystemDrivesTest, EveryLetterAnswersAndGivesBackWhatItTook) {
    CountingPlatform os(SystemDrivePlatform());
    std::vector<wchar_t> usb;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter)
        if (IsUsbDrive(letter, os)) usb.push_back(letter);
    EXPECT_EQ(os.handles, 0);
    EXPECT_EQ(os.sets, 0);
    EXPECT_GE(os.opensTried, 26);
    if (NoUsbDrivesHere()) {
        EXPECT_TRUE(usb.empty());
    }

    // The list agrees with the letter-by-letter answers.
    const std::vector<UsbDriveEntry> listed = ListUsbDrives(os);
    ASSERT_EQ(listed.size(), usb.size());
    for (size_t i = 0; i < usb.size(); ++i) {
        EXPECT_EQ(listed[i].root, std::wstring(1, usb[i]) + L":");
        EXPECT_EQ(listed[i].label, listed[i].root + L"  (Removable Disk)");
    }
    EXPECT_EQ(os.handles, 0);
    EXPECT_EQ(os.sets, 0);
#ifdef _WIN32
    // Drive C: exists under Wine and on every Windows: its volume opens.
    EXPECT_GT(os.opensSucceeded, 0);
#endif
}

TEST(SystemDrivesTest, TheModuleItselfIsNotOnAUsbDriveHere) {
    if (!NoUsbDrivesHere()) GTEST_SKIP() << "a real Windows machine may run this from a USB drive";
    EXPECT_FALSE(IsModuleOnUsbDrive());
    EXPECT_TRUE(ListUsbDrives().empty());
    EXPECT_FALSE(IsUsbDrive(L'C'));
    EXPECT_FALSE(IsUsbDrive(L'Z'));
}

#ifdef _WIN32
TEST(SystemDrivesTest, RepeatedQueriesDoNotLeakHandles) {
    ListUsbDrives();  // first use may load libraries and their handles
    const DWORD before = ProcessHandles();
    const uintptr_t nextBefore = NextHandleValue();
    for (int i = 0; i < 20; ++i) ListUsbDrives();
    const DWORD after = ProcessHandles();
    const uintptr_t nextAfter = NextHandleValue();
    // The volume of drive C: alone is opened 20 times: a leak of one handle
    // per query would add at least 20; allow the system's own fluctuations.
    EXPECT_LE(after, before + 10) << before << " -> " << after;
    EXPECT_LE(nextAfter, nextBefore + 10 * sizeof(uint32_t)) << nextBefore << " -> " << nextAfter;
}

TEST(SystemDrivesTest, TheHandleProbeSeesALeak) {
    const uintptr_t before = NextHandleValue();
    std::vector<HANDLE> leaked;
    for (int i = 0; i < 20; ++i) leaked.push_back(::CreateEventW(nullptr, FALSE, FALSE, nullptr));
    EXPECT_GT(NextHandleValue(), before + 10 * sizeof(uint32_t));
    for (HANDLE h : leaked) ::CloseHandle(h);
}

TEST(SystemDrivesTest, DeviceInterfaceRecordMirrorsTheSystems) {
    EXPECT_EQ(sizeof(DeviceInterfaceData), sizeof(SP_DEVICE_INTERFACE_DATA));
}
#endif
