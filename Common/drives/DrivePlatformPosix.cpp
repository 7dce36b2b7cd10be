// The device-management operations of the USB-drive test on systems without
// Windows device management: no volume "\\.\X:" can be opened there, so no
// drive letter names a USB drive and ListUsbDrives finds none. Only the
// module's own path is real.
#include "drives/UsbDrives.h"

namespace corva {

namespace {

class PosixDrivePlatform final : public DrivePlatform {
public:
    DriveHandle OpenDevice(const std::wstring&) override { return kInvalidDriveHandle; }
    bool GetDeviceNumber(DriveHandle, StorageDeviceNumber*) override { return false; }
    void CloseDevice(DriveHandle) override {}
    uint32_t DriveTypeOf(const std::wstring&) override { return 0; }  // unknown type
    bool QueryDosDeviceName(const std::wstring&, std::wstring*) override { return false; }
    DriveHandle GetClassDevices(const plat::Guid&) override { return kInvalidDriveHandle; }
    bool EnumDeviceInterface(DriveHandle, const plat::Guid&, uint32_t, DeviceInterfaceData*) override {
        return false;
    }
    uint32_t GetInterfaceDetailSize(DriveHandle, const DeviceInterfaceData&) override { return 0; }
    bool GetInterfaceDetail(DriveHandle, const DeviceInterfaceData&, uint32_t, std::wstring*, uint32_t*) override {
        return false;
    }
    void DestroyDeviceList(DriveHandle) override {}
    bool GetDeviceId(uint32_t, std::wstring*) override { return false; }
    std::wstring ModuleFileName() override { return plat::ModulePath(); }
};

}  // namespace

DrivePlatform& SystemDrivePlatform() {
    static PosixDrivePlatform platform;
    return platform;
}

}  // namespace corva
