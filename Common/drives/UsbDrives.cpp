// The USB-drive test over a DrivePlatform.
#include "drives/UsbDrives.h"

namespace corva {

const plat::Guid kDiskInterfaceClass = {0x53F56307, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
const plat::Guid kCdRomInterfaceClass = {0x53F56308, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};
const plat::Guid kFloppyInterfaceClass = {0x53F56311, 0xB6BF, 0x11D0, {0x94, 0xF2, 0x00, 0xA0, 0xC9, 0x1E, 0xFB, 0x8B}};

namespace {

// Closes a device handle of the platform when the scope ends.
class DeviceHold {
public:
    DeviceHold(DrivePlatform& platform, DriveHandle handle) : platform_(platform), handle_(handle) {}
    ~DeviceHold() {
        if (handle_ != kInvalidDriveHandle) platform_.CloseDevice(handle_);
    }
    DeviceHold(const DeviceHold&) = delete;
    DeviceHold& operator=(const DeviceHold&) = delete;
    bool Valid() const { return handle_ != kInvalidDriveHandle; }
    DriveHandle Get() const { return handle_; }

private:
    DrivePlatform& platform_;
    DriveHandle handle_;
};

// Releases a device information set when the scope ends.
class DeviceListHold {
public:
    DeviceListHold(DrivePlatform& platform, DriveHandle set) : platform_(platform), set_(set) {}
    ~DeviceListHold() {
        if (set_ != kInvalidDriveHandle) platform_.DestroyDeviceList(set_);
    }
    DeviceListHold(const DeviceListHold&) = delete;
    DeviceListHold& operator=(const DeviceListHold&) = delete;
    bool Valid() const { return set_ != kInvalidDriveHandle; }
    DriveHandle Get() const { return set_; }

private:
    DrivePlatform& platform_;
    DriveHandle set_;
};

// Opens a device path and asks its device number; the handle is closed
// before returning.
bool DeviceNumberOf(DrivePlatform& platform, const std::wstring& path, uint32_t* number) {
    DeviceHold device(platform, platform.OpenDevice(path));
    if (!device.Valid()) return false;
    StorageDeviceNumber record{};
    if (!platform.GetDeviceNumber(device.Get(), &record)) return false;
    *number = record.DeviceNumber;
    return true;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

constexpr uint32_t kMaxDetailSize = 1024;

}  // namespace

}  // namespace corva

using namespace corva;

bool IsUsbDrive(wchar_t driveLetter) { return IsUsbDrive(driveLetter, SystemDrivePlatform()); }

bool IsUsbDrive(wchar_t driveLetter, DrivePlatform& platform) {
    // Anything but a letter (a backslash from a network path, say) names no
    // volume.
    if (!IsDriveLetter(driveLetter)) return false;
    const std::wstring volume = std::wstring(L"\\\\.\\") + driveLetter + L':';
    uint32_t deviceNumber = 0;
    if (!DeviceNumberOf(platform, volume, &deviceNumber)) return false;

    const uint32_t driveType = platform.DriveTypeOf(std::wstring(1, driveLetter) + L":\\");
    std::wstring dosDevice;
    if (!platform.QueryDosDeviceName(std::wstring(1, driveLetter) + L':', &dosDevice)) return false;

    const uint32_t instance =
        FindDriveDeviceInstance(deviceNumber, driveType, plat::WideToNarrow(dosDevice), platform);
    if (instance == 0) return false;
    std::wstring id;
    if (!platform.GetDeviceId(instance, &id)) return false;
    // Bus names USB and USBSTOR both qualify; the comparison is case significant.
    return id.size() >= 3 && id.compare(0, 3, L"USB") == 0;
}

uint32_t FindDriveDeviceInstance(uint32_t deviceNumber, uint32_t driveType, const std::string& dosDeviceName) {
    return FindDriveDeviceInstance(deviceNumber, driveType, dosDeviceName, SystemDrivePlatform());
}

uint32_t FindDriveDeviceInstance(uint32_t deviceNumber, uint32_t driveType, const std::string& dosDeviceName,
                                 DrivePlatform& platform) {
    const plat::Guid* interfaceClass = nullptr;
    switch (driveType) {
        case kDriveRemovable:
            interfaceClass = dosDeviceName.find("\\Floppy") != std::string::npos ? &kFloppyInterfaceClass
                                                                                   : &kDiskInterfaceClass;
            break;
        case kDriveFixed: interfaceClass = &kDiskInterfaceClass; break;
        case kDriveCdRom: interfaceClass = &kCdRomInterfaceClass; break;
        default: return 0;
    }

    DeviceListHold set(platform, platform.GetClassDevices(*interfaceClass));
    if (!set.Valid()) return 0;
    for (uint32_t index = 0;; ++index) {
        DeviceInterfaceData data{};
        data.cbSize = static_cast<uint32_t>(sizeof data);
        if (!platform.EnumDeviceInterface(set.Get(), *interfaceClass, index, &data)) break;
        const uint32_t size = platform.GetInterfaceDetailSize(set.Get(), data);
        if (size == 0 || size > kMaxDetailSize) continue;
        std::wstring devicePath;
        uint32_t instance = 0;
        if (!platform.GetInterfaceDetail(set.Get(), data, size, &devicePath, &instance)) continue;
        uint32_t number = 0;
        if (!DeviceNumberOf(platform, devicePath, &number)) continue;
        if (number == deviceNumber) return instance;
    }
    return 0;
}

bool IsModuleOnUsbDrive() { return IsModuleOnUsbDrive(SystemDrivePlatform()); }

bool IsModuleOnUsbDrive(DrivePlatform& platform) {
    std::wstring path = platform.ModuleFileName();
    // The long form "\\?\X:\..." still names drive X.
    if (path.size() >= 6 && path.compare(0, 4, L"\\\\?\\") == 0 && path[5] == L':') path.erase(0, 4);
    // Only "X:" starts a path on a drive; a network path ("\\server\share")
    // or anything else lies on no USB drive.
    if (path.size() < 2 || path[1] != L':' || !IsDriveLetter(path[0])) return false;
    return IsUsbDrive(path[0], platform);
}

std::vector<UsbDriveEntry> ListUsbDrives() { return ListUsbDrives(SystemDrivePlatform()); }

std::vector<UsbDriveEntry> ListUsbDrives(DrivePlatform& platform) {
    std::vector<UsbDriveEntry> drives;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
        if (!IsUsbDrive(letter, platform)) continue;
        UsbDriveEntry entry;
        entry.root = std::wstring(1, letter) + L':';
        entry.label = entry.root + L"  (" + L"Removable Disk" + L")";
        drives.push_back(entry);
    }
    return drives;
}
