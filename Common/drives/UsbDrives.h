// Is the volume behind a drive letter a storage device attached through USB?
// A drive qualifies when the Plug and Play device instance identifier of the
// disk, floppy or optical drive that holds the volume begins with "USB"
// (case significant). Nothing is cached; every call re-examines the system,
// and every failure of the system means "not a USB drive".
//
// The logic is written against DrivePlatform, the handful of device-
// management calls it needs. SystemDrivePlatform() is the real one: SetupAPI,
// the configuration manager and DeviceIoControl on Windows; elsewhere a
// platform without them, on which no volume opens and so no drive is a USB
// drive. Tests supply their own DrivePlatform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace corva {

// A handle of the platform (device handle or device information set);
// kInvalidDriveHandle is the platform's invalid-handle value.
using DriveHandle = intptr_t;
constexpr DriveHandle kInvalidDriveHandle = -1;

// Drive type codes of the platform that matter here.
enum DriveTypeCode : uint32_t {
    kDriveRemovable = 2,
    kDriveFixed = 3,
    kDriveRemote = 4,
    kDriveCdRom = 5,
    kDriveRamDisk = 6,
};

// The platform's device-number record (12 bytes); only DeviceNumber is used.
struct StorageDeviceNumber {
    uint32_t DeviceType;
    uint32_t DeviceNumber;
    uint32_t PartitionNumber;
};

// The platform's device-interface record, as the enumeration fills it and
// the detail query takes it back.
struct DeviceInterfaceData {
    uint32_t cbSize;
    plat::Guid InterfaceClassGuid;
    uint32_t Flags;
    uintptr_t Reserved;
};

// Device interface classes: disks, optical drives, floppy drives.
extern const plat::Guid kDiskInterfaceClass;    // {53F56307-B6BF-11D0-94F2-00A0C91EFB8B}
extern const plat::Guid kCdRomInterfaceClass;   // {53F56308-B6BF-11D0-94F2-00A0C91EFB8B}
extern const plat::Guid kFloppyInterfaceClass;  // {53F56311-B6BF-11D0-94F2-00A0C91EFB8B}

// The device-management operations the drive test uses. Each mirrors one
// system call (named in its comment); none throws.
class DrivePlatform {
public:
    virtual ~DrivePlatform() = default;

    // CreateFileW(path, access 0, share read+write, open existing): a volume
    // "\\.\X:" or an interface device path; kInvalidDriveHandle on failure.
    virtual DriveHandle OpenDevice(const std::wstring& path) = 0;
    // DeviceIoControl(IOCTL_STORAGE_GET_DEVICE_NUMBER) into a 12-byte record.
    virtual bool GetDeviceNumber(DriveHandle device, StorageDeviceNumber* number) = 0;
    // CloseHandle on a handle from OpenDevice.
    virtual void CloseDevice(DriveHandle device) = 0;
    // GetDriveTypeW("X:\").
    virtual uint32_t DriveTypeOf(const std::wstring& root) = 0;
    // QueryDosDeviceW("X:") with 260 characters: the first target; false on failure.
    virtual bool QueryDosDeviceName(const std::wstring& deviceName, std::wstring* target) = 0;
    // SetupDiGetClassDevsW(class, no enumerator, no window, present | device
    // interface): a device information set or kInvalidDriveHandle.
    virtual DriveHandle GetClassDevices(const plat::Guid& interfaceClass) = 0;
    // SetupDiEnumDeviceInterfaces(set, no device, class, index): false past the last.
    virtual bool EnumDeviceInterface(DriveHandle set, const plat::Guid& interfaceClass, uint32_t index,
                                     DeviceInterfaceData* data) = 0;
    // SetupDiGetDeviceInterfaceDetailW without a buffer: the required size in
    // bytes, 0 when the call does not report one.
    virtual uint32_t GetInterfaceDetailSize(DriveHandle set, const DeviceInterfaceData& data) = 0;
    // SetupDiGetDeviceInterfaceDetailW with a buffer of size bytes: the
    // interface's device path and its owning device instance.
    virtual bool GetInterfaceDetail(DriveHandle set, const DeviceInterfaceData& data, uint32_t size,
                                    std::wstring* devicePath, uint32_t* deviceInstance) = 0;
    // SetupDiDestroyDeviceInfoList.
    virtual void DestroyDeviceList(DriveHandle set) = 0;
    // CM_Get_Device_IDW(instance, 260 characters, 0): false unless it succeeded.
    virtual bool GetDeviceId(uint32_t deviceInstance, std::wstring* id) = 0;
    // GetModuleFileNameW of the module holding this code (260 characters).
    virtual std::wstring ModuleFileName() = 0;
};

// The running system's device management.
DrivePlatform& SystemDrivePlatform();

// One entry of ListUsbDrives: label "E:  (Removable Disk)", root "E:".
struct UsbDriveEntry {
    std::wstring label;
    std::wstring root;
};

}  // namespace corva

// The USB-drive test for a drive letter 'A'..'Z'.
bool IsUsbDrive(wchar_t driveLetter);
bool IsUsbDrive(wchar_t driveLetter, corva::DrivePlatform& platform);

// The device instance whose interface of the class chosen by the drive type
// (and, for removable media, by "\Floppy" in the DOS device name) carries the
// device number; 0 when there is none.
uint32_t FindDriveDeviceInstance(uint32_t deviceNumber, uint32_t driveType, const std::string& dosDeviceName);
uint32_t FindDriveDeviceInstance(uint32_t deviceNumber, uint32_t driveType, const std::string& dosDeviceName,
                                 corva::DrivePlatform& platform);

// Whether the file of the running program (or of the library holding this
// code) lies on a USB drive; false for a module on a network share.
bool IsModuleOnUsbDrive();
bool IsModuleOnUsbDrive(corva::DrivePlatform& platform);

// Every USB drive, A: to Z: in order.
std::vector<corva::UsbDriveEntry> ListUsbDrives();
std::vector<corva::UsbDriveEntry> ListUsbDrives(corva::DrivePlatform& platform);
