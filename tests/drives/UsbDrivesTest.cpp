// The USB-drive test against a scripted device-management platform: every
// answer comes from the script, every handle and device list is counted.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "drives/UsbDrives.h"

using namespace corva;

namespace {

bool SameGuid(const plat::Guid& a, const plat::Guid& b) {
    return a.data1 == b.data1 && a.data2 == b.data2 && a.data3 == b.data3 &&
           std::memcmp(a.data4, b.data4, sizeof a.data4) == 0;
}

struct Interface {
    std::wstring devicePath;
    uint32_t instance = 0;
    uint32_t detailSize = 200;  // what the size query reports
    bool detailOk = true;
};

struct Device {                  // what a device path opens to
    bool opens = true;
    bool numberOk = true;
    uint32_t number = 0;
};

struct Volume {
    Device device;
    uint32_t driveType = kDriveRemovable;
    bool dosOk = true;
    std::wstring dosDevice;
};

class ScriptedPlatform : public DrivePlatform {
public:
    // ---- the script
    std::map<wchar_t, Volume> volumes;                   // by drive letter
    std::map<std::wstring, Device> devices;              // by interface device path
    std::vector<Interface> disks, cdroms, floppies;      // per interface class
    std::map<uint32_t, std::wstring> ids;                // by device instance
    bool classSetOk = true;
    std::wstring module = L"C:\\Program Files\\Corvastine\\Corvadesk.exe";

    // ---- what happened
    int openHandles = 0, openSets = 0, setsRequested = 0;
    std::vector<std::wstring> opened;
    std::vector<std::string> classesAsked;
    std::vector<std::wstring> dosNamesAsked, rootsAsked;
    std::set<DriveHandle> live;

    // Adds a USB or other drive whose interface lies in the given class.
    void AddDrive(wchar_t letter, uint32_t type, const std::wstring& dos, std::vector<Interface>* klass,
                  uint32_t number, uint32_t instance, const std::wstring& id) {
        Volume v;
        v.device.number = number;
        v.driveType = type;
        v.dosDevice = dos;
        volumes[letter] = v;
        Interface i;
        i.devicePath = L"\\\\?\\dev#" + std::to_wstring(instance);
        i.instance = instance;
        klass->push_back(i);
        Device d;
        d.number = number;
        devices[i.devicePath] = d;
        ids[instance] = id;
    }

    DriveHandle OpenDevice(const std::wstring& path) override {
        opened.push_back(path);
        const Device* d = nullptr;
        if (path.size() == 6 && path.compare(0, 4, L"\\\\.\\") == 0 && path[5] == L':') {
            auto v = volumes.find(path[4]);
            if (v != volumes.end()) d = &v->second.device;
        } else {
            auto it = devices.find(path);
            if (it != devices.end()) d = &it->second;
        }
        if (!d || !d->opens) return kInvalidDriveHandle;
        DriveHandle h = next_++;
        handleDevice_[h] = *d;
        live.insert(h);
        ++openHandles;
        return h;
    }
    bool GetDeviceNumber(DriveHandle device, StorageDeviceNumber* number) override {
        EXPECT_TRUE(live.count(device)) << "device number asked on a closed handle";
        const Device& d = handleDevice_[device];
        if (!d.numberOk) return false;
        number->DeviceType = 7;
        number->DeviceNumber = d.number;
        number->PartitionNumber = 1;
        return true;
    }
    void CloseDevice(DriveHandle device) override {
        EXPECT_EQ(live.erase(device), 1u) << "closing a handle that is not open";
        --openHandles;
    }
    uint32_t DriveTypeOf(const std::wstring& root) override {
        rootsAsked.push_back(root);
        auto v = volumes.find(root.empty() ? L'?' : root[0]);
        return v == volumes.end() ? 1 : v->second.driveType;  // 1: no root directory
    }
    bool QueryDosDeviceName(const std::wstring& name, std::wstring* target) override {
        dosNamesAsked.push_back(name);
        auto v = volumes.find(name.empty() ? L'?' : name[0]);
        if (v == volumes.end() || !v->second.dosOk) return false;
        *target = v->second.dosDevice;
        return true;
    }
    DriveHandle GetClassDevices(const plat::Guid& klass) override {
        ++setsRequested;
        classesAsked.push_back(SameGuid(klass, kDiskInterfaceClass)     ? "disk"
                               : SameGuid(klass, kCdRomInterfaceClass)  ? "cdrom"
                               : SameGuid(klass, kFloppyInterfaceClass) ? "floppy"
                                                                        : "other");
        if (!classSetOk) return kInvalidDriveHandle;
        DriveHandle h = next_++;
        setClass_[h] = ClassList(klass);
        ++openSets;
        return h;
    }
    bool EnumDeviceInterface(DriveHandle set, const plat::Guid& klass, uint32_t index,
                             DeviceInterfaceData* data) override {
        EXPECT_TRUE(setClass_.count(set)) << "enumerating a released set";
        EXPECT_EQ(data->cbSize, sizeof(DeviceInterfaceData));
        const std::vector<Interface>* list = setClass_[set];
        EXPECT_EQ(list, ClassList(klass));
        if (!list || index >= list->size()) return false;
        data->InterfaceClassGuid = klass;
        data->Reserved = index;  // remembers the interface, as the system does
        return true;
    }
    uint32_t GetInterfaceDetailSize(DriveHandle set, const DeviceInterfaceData& data) override {
        return (*setClass_[set])[data.Reserved].detailSize;
    }
    bool GetInterfaceDetail(DriveHandle set, const DeviceInterfaceData& data, uint32_t size,
                            std::wstring* devicePath, uint32_t* instance) override {
        const Interface& i = (*setClass_[set])[data.Reserved];
        EXPECT_EQ(size, i.detailSize);
        if (!i.detailOk) return false;
        *devicePath = i.devicePath;
        *instance = i.instance;
        return true;
    }
    void DestroyDeviceList(DriveHandle set) override {
        EXPECT_EQ(setClass_.erase(set), 1u) << "releasing a set that is not held";
        --openSets;
    }
    bool GetDeviceId(uint32_t instance, std::wstring* id) override {
        auto it = ids.find(instance);
        if (it == ids.end()) return false;
        *id = it->second;
        return true;
    }
    std::wstring ModuleFileName() override { return module; }

    void ExpectAllReleased() {
        EXPECT_EQ(openHandles, 0);
        EXPECT_EQ(openSets, 0);
        EXPECT_TRUE(live.empty());
    }

private:
    std::vector<Interface>* ClassList(const plat::Guid& klass) {
        if (SameGuid(klass, kDiskInterfaceClass)) return &disks;
        if (SameGuid(klass, kCdRomInterfaceClass)) return &cdroms;
        if (SameGuid(klass, kFloppyInterfaceClass)) return &floppies;
        return nullptr;
    }

    DriveHandle next_ = 100;
    std::map<DriveHandle, Device> handleDevice_;
    std::map<DriveHandle, std::vector<Interface>*> setClass_;
};

const wchar_t kUsbStick[] = L"USBSTOR\\DISK&VEN_SANDISK&PROD_CRUZER&REV_1.00\\4C530001230425118543&0";
const wchar_t kSataDisk[] = L"SCSI\\DISK&VEN_&PROD_SAMSUNG_SSD_860\\4&2B5EA3F6&0&000000";

class UsbDrivesTest : public ::testing::Test {
protected:
    void TearDown() override { os.ExpectAllReleased(); }
    ScriptedPlatform os;
};

}  // namespace

TEST(UsbDrivesConstants, InterfaceClassesAreThePlatformsOwn) {
    const plat::Guid disk = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
    const plat::Guid cdrom = {0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
    const plat::Guid floppy = {0x53F56311, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
    EXPECT_TRUE(SameGuid(kDiskInterfaceClass, disk));
    EXPECT_TRUE(SameGuid(kCdRomInterfaceClass, cdrom));
    EXPECT_TRUE(SameGuid(kFloppyInterfaceClass, floppy));
    EXPECT_EQ(sizeof(StorageDeviceNumber), 12u);
}

TEST_F(UsbDrivesTest, UsbFlashDriveQualifies) {
    os.AddDrive(L'E', kDriveRemovable, L"\\Device\\HarddiskVolume7", &os.disks, 2, 0x1001, kUsbStick);
    EXPECT_TRUE(IsUsbDrive(L'E', os));
    EXPECT_EQ(os.opened.front(), L"\\\\.\\E:");
    EXPECT_EQ(os.rootsAsked, std::vector<std::wstring>{L"E:\\"});
    EXPECT_EQ(os.dosNamesAsked, std::vector<std::wstring>{L"E:"});
    EXPECT_EQ(os.classesAsked, std::vector<std::string>{"disk"});
}

TEST_F(UsbDrivesTest, UsbHardDiskReportedAsFixedQualifiesInternalDiskDoesNot) {
    os.AddDrive(L'C', kDriveFixed, L"\\Device\\HarddiskVolume2", &os.disks, 0, 0x2000, kSataDisk);
    os.AddDrive(L'F', kDriveFixed, L"\\Device\\HarddiskVolume9", &os.disks, 3, 0x2003,
                L"USBSTOR\\DISK&VEN_WD&PROD_ELEMENTS_2621\\575844314141&0");
    os.AddDrive(L'D', kDriveFixed, L"\\Device\\HarddiskVolume3", &os.disks, 1, 0x2001,
                L"IDE\\DISKST3500418AS\\5&1A0B2C3D&0&0.0.0");
    EXPECT_TRUE(IsUsbDrive(L'F', os));
    EXPECT_FALSE(IsUsbDrive(L'C', os));
    EXPECT_FALSE(IsUsbDrive(L'D', os));
}

TEST_F(UsbDrivesTest, UsbOpticalDriveIsFoundAmongOpticalDrives) {
    // Disks and optical drives are numbered separately: disk 0 is internal,
    // optical drive 0 hangs on USB.
    os.AddDrive(L'C', kDriveFixed, L"\\Device\\HarddiskVolume2", &os.disks, 0, 0x10, kSataDisk);
    os.AddDrive(L'R', kDriveCdRom, L"\\Device\\CdRom0", &os.cdroms, 0, 0x20,
                L"USBSTOR\\CDROM&VEN_ASUS&PROD_SDRW-08D2S-U\\KZ9F4BC0041&0");
    EXPECT_TRUE(IsUsbDrive(L'R', os));
    EXPECT_EQ(os.classesAsked, std::vector<std::string>{"cdrom"});
    EXPECT_FALSE(IsUsbDrive(L'C', os));
}

TEST_F(UsbDrivesTest, UsbFloppyIsLookedUpAmongFloppyDrives) {
    os.AddDrive(L'A', kDriveRemovable, L"\\Device\\Floppy0", &os.floppies, 0, 0x30,
                L"USBSTOR\\SFLOPPY&VEN_TEAC&PROD_FD-05PUW\\7&1C2D3E4F&0");
    // An internal disk with the same number in the disk class must not answer.
    os.AddDrive(L'C', kDriveFixed, L"\\Device\\HarddiskVolume2", &os.disks, 0, 0x10, kSataDisk);
    EXPECT_TRUE(IsUsbDrive(L'A', os));
    EXPECT_EQ(os.classesAsked, std::vector<std::string>{"floppy"});

    // "\Floppy" is matched with its case: a lower-case name is looked up
    // among disks, where the number belongs to the internal disk.
    for (const wchar_t* dos : {L"\\Device\\floppy0", L"\\Device\\UsbFloppy0"}) {
        os.classesAsked.clear();
        os.volumes[L'A'].dosDevice = dos;
        EXPECT_FALSE(IsUsbDrive(L'A', os)) << plat::WideToUtf8(dos);
        EXPECT_EQ(os.classesAsked, std::vector<std::string>{"disk"}) << plat::WideToUtf8(dos);
    }
}

TEST_F(UsbDrivesTest, NetworkAndRamDrivesNeverQualify) {
    os.AddDrive(L'N', kDriveRemote, L"\\Device\\LanmanRedirector\\;N:0\\server\\share", &os.disks, 5, 0x40,
                kUsbStick);
    os.AddDrive(L'R', kDriveRamDisk, L"\\Device\\Ramdisk", &os.disks, 5, 0x40, kUsbStick);
    EXPECT_FALSE(IsUsbDrive(L'N', os));
    EXPECT_FALSE(IsUsbDrive(L'R', os));
    EXPECT_EQ(os.setsRequested, 0);  // no interface class for these types
    EXPECT_EQ(FindDriveDeviceInstance(5, kDriveRemote, "\\Device\\X", os), 0u);
    EXPECT_EQ(FindDriveDeviceInstance(5, kDriveRamDisk, "\\Device\\X", os), 0u);
    EXPECT_EQ(FindDriveDeviceInstance(5, 0, "\\Device\\X", os), 0u);
    EXPECT_EQ(os.setsRequested, 0);
}

TEST_F(UsbDrivesTest, IdentifierPrefixIsExactlyUsbWithItsCase) {
    struct Case {
        const wchar_t* id;
        bool usb;
    } cases[] = {
        {L"USB", true},          {L"USB\\VID_0781&PID_5567\\4C53", true},
        {L"USBSTOR\\DISK", true}, {L"US", false},
        {L"", false},            {L"usbstor\\disk&ven_x", false},
        {L"Usb\\x", false},      {L"XUSB\\x", false},
        {L"SCSI\\USB", false},
    };
    for (const Case& c : cases) {
        ScriptedPlatform p;
        p.AddDrive(L'E', kDriveRemovable, L"\\Device\\HarddiskVolume7", &p.disks, 1, 0x55, c.id);
        EXPECT_EQ(IsUsbDrive(L'E', p), c.usb) << plat::WideToUtf8(c.id);
        p.ExpectAllReleased();
    }
}

TEST_F(UsbDrivesTest, EveryFailingStepMeansNotUsb) {
    auto usbE = [](ScriptedPlatform& p) {
        p.AddDrive(L'E', kDriveRemovable, L"\\Device\\HarddiskVolume7", &p.disks, 2, 0x1001, kUsbStick);
    };
    std::vector<std::pair<const char*, void (*)(ScriptedPlatform&)>> breaks = {
        {"nothing mounted", [](ScriptedPlatform& p) { p.volumes.erase(L'E'); }},
        {"volume does not open", [](ScriptedPlatform& p) { p.volumes[L'E'].device.opens = false; }},
        {"no media: number refused", [](ScriptedPlatform& p) { p.volumes[L'E'].device.numberOk = false; }},
        {"no DOS device name", [](ScriptedPlatform& p) { p.volumes[L'E'].dosOk = false; }},
        {"no device set", [](ScriptedPlatform& p) { p.classSetOk = false; }},
        {"no interfaces", [](ScriptedPlatform& p) { p.disks.clear(); }},
        {"detail size 0", [](ScriptedPlatform& p) { p.disks[0].detailSize = 0; }},
        {"detail size 1025", [](ScriptedPlatform& p) { p.disks[0].detailSize = 1025; }},
        {"detail fails", [](ScriptedPlatform& p) { p.disks[0].detailOk = false; }},
        {"interface does not open", [](ScriptedPlatform& p) { p.devices[p.disks[0].devicePath].opens = false; }},
        {"interface number refused", [](ScriptedPlatform& p) { p.devices[p.disks[0].devicePath].numberOk = false; }},
        {"other number", [](ScriptedPlatform& p) { p.devices[p.disks[0].devicePath].number = 9; }},
        {"identifier unreadable", [](ScriptedPlatform& p) { p.ids.clear(); }},
    };
    {
        ScriptedPlatform p;
        usbE(p);
        EXPECT_TRUE(IsUsbDrive(L'E', p));  // the unbroken script qualifies
        p.ExpectAllReleased();
    }
    for (const auto& b : breaks) {
        ScriptedPlatform p;
        usbE(p);
        b.second(p);
        EXPECT_FALSE(IsUsbDrive(L'E', p)) << b.first;
        p.ExpectAllReleased();
    }
    // A detail size of exactly 1024 is still read.
    ScriptedPlatform p;
    usbE(p);
    p.disks[0].detailSize = 1024;
    EXPECT_TRUE(IsUsbDrive(L'E', p));
    p.ExpectAllReleased();
}

TEST_F(UsbDrivesTest, SkippedInterfacesDoNotEndTheSearchAndTheFirstMatchWins) {
    os.AddDrive(L'E', kDriveRemovable, L"\\Device\\HarddiskVolume7", &os.disks, 4, 0x500, kUsbStick);
    Interface broken;
    broken.devicePath = L"\\\\?\\broken";
    broken.detailOk = false;
    Interface closed;
    closed.devicePath = L"\\\\?\\closed";
    closed.instance = 0x501;
    Interface internal;  // same number, listed after the USB one
    internal.devicePath = L"\\\\?\\internal";
    internal.instance = 0x502;
    os.devices[internal.devicePath].number = 4;
    os.ids[0x502] = kSataDisk;
    os.disks.insert(os.disks.begin(), {broken, closed});
    os.disks.push_back(internal);
    EXPECT_EQ(FindDriveDeviceInstance(4, kDriveRemovable, "\\Device\\HarddiskVolume7", os), 0x500u);
    EXPECT_TRUE(IsUsbDrive(L'E', os));

    // With the internal one listed first, it wins.
    std::swap(os.disks[2], os.disks[3]);
    EXPECT_EQ(FindDriveDeviceInstance(4, kDriveFixed, "\\Device\\HarddiskVolume7", os), 0x502u);
    EXPECT_FALSE(IsUsbDrive(L'E', os));
}

TEST_F(UsbDrivesTest, ModuleOnAUsbDrive) {
    os.AddDrive(L'E', kDriveRemovable, L"\\Device\\HarddiskVolume7", &os.disks, 2, 0x1001, kUsbStick);
    os.AddDrive(L'C', kDriveFixed, L"\\Device\\HarddiskVolume2", &os.disks, 0, 0x10, kSataDisk);
    os.module = L"E:\\CorvastineVault.exe";
    EXPECT_TRUE(IsModuleOnUsbDrive(os));
    os.module = L"E:\\tools\\deep\\folder\\corvastinesh.dll";
    EXPECT_TRUE(IsModuleOnUsbDrive(os));
    os.module = L"\\\\?\\E:\\long\\path\\Corvadesk.exe";
    EXPECT_TRUE(IsModuleOnUsbDrive(os));
    os.module = L"C:\\Program Files\\Corvastine\\Corvadesk.exe";
    EXPECT_FALSE(IsModuleOnUsbDrive(os));
}

TEST_F(UsbDrivesTest, ModuleOnANetworkShareIsNotOnAUsbDrive) {
    os.AddDrive(L'E', kDriveRemovable, L"\\Device\\HarddiskVolume7", &os.disks, 2, 0x1001, kUsbStick);
    for (const wchar_t* path : {L"\\\\server\\share\\Corvadesk.exe", L"\\\\?\\UNC\\server\\share\\x.exe",
                                L"\\\\.\\E:\\x.exe", L"", L"E", L"/media/usb/x"}) {
        os.module = path;
        os.opened.clear();
        EXPECT_FALSE(IsModuleOnUsbDrive(os)) << plat::WideToUtf8(path);
        EXPECT_TRUE(os.opened.empty()) << plat::WideToUtf8(path);
    }
    // Not a letter: refused without asking the system.
    EXPECT_FALSE(IsUsbDrive(L'\\', os));
    EXPECT_FALSE(IsUsbDrive(L'1', os));
    EXPECT_TRUE(os.opened.empty());
}

TEST_F(UsbDrivesTest, ListsUsbDrivesInLetterOrderWithTheirLabels) {
    os.AddDrive(L'G', kDriveFixed, L"\\Device\\HarddiskVolume9", &os.disks, 3, 0x2003,
                L"USBSTOR\\DISK&VEN_WD&PROD_ELEMENTS\\5758&0");
    os.AddDrive(L'C', kDriveFixed, L"\\Device\\HarddiskVolume2", &os.disks, 0, 0x10, kSataDisk);
    os.AddDrive(L'E', kDriveRemovable, L"\\Device\\HarddiskVolume7", &os.disks, 2, 0x1001, kUsbStick);
    os.AddDrive(L'Z', kDriveRemote, L"\\Device\\LanmanRedirector", &os.disks, 2, 0x1001, kUsbStick);
    const std::vector<UsbDriveEntry> drives = ListUsbDrives(os);
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].label, L"E:  (Removable Disk)");
    EXPECT_EQ(drives[0].root, L"E:");
    EXPECT_EQ(drives[1].label, L"G:  (Removable Disk)");
    EXPECT_EQ(drives[1].root, L"G:");
    // All 26 letters were tried, in order.
    std::vector<std::wstring> volumesOpened;
    for (const auto& p : os.opened)
        if (p.compare(0, 4, L"\\\\.\\") == 0) volumesOpened.push_back(p);
    ASSERT_EQ(volumesOpened.size(), 26u);
    EXPECT_EQ(volumesOpened.front(), L"\\\\.\\A:");
    EXPECT_EQ(volumesOpened.back(), L"\\\\.\\Z:");
}

TEST_F(UsbDrivesTest, NoUsbDriveGivesAnEmptyList) {
    os.AddDrive(L'C', kDriveFixed, L"\\Device\\HarddiskVolume2", &os.disks, 0, 0x10, kSataDisk);
    EXPECT_TRUE(ListUsbDrives(os).empty());
}

TEST_F(UsbDrivesTest, NothingIsCached) {
    os.AddDrive(L'E', kDriveRemovable, L"\\Device\\HarddiskVolume7", &os.disks, 2, 0x1001, kUsbStick);
    EXPECT_TRUE(IsUsbDrive(L'E', os));
    os.volumes.erase(L'E');  // unplugged
    EXPECT_FALSE(IsUsbDrive(L'E', os));
    EXPECT_TRUE(ListUsbDrives(os).empty());
}
