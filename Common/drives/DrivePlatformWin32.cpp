// The device-management operations of the USB-drive test on Windows:
// CreateFileW and DeviceIoControl on volumes and interface paths, SetupAPI
// interface enumeration and the configuration manager's identifiers.
#include "drives/UsbDrives.h"

#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
#include <winioctl.h>

#include <cstring>
#include <vector>

namespace corva {

namespace {

HANDLE ToHandle(DriveHandle h) { return reinterpret_cast<HANDLE>(h); }
DriveHandle FromHandle(HANDLE h) { return reinterpret_cast<DriveHandle>(h); }

GUID ToGuid(const plat::Guid& g) {
    GUID out;
    out.Data1 = g.data1;
    out.Data2 = g.data2;
    out.Data3 = g.data3;
    std::memcpy(out.Data4, g.data4, sizeof out.Data4);
    return out;
}

plat::Guid FromGuid(const GUID& g) {
    plat::Guid out;
    out.data1 = g.Data1;
    out.data2 = g.Data2;
    out.data3 = g.Data3;
    std::memcpy(out.data4, g.Data4, sizeof out.data4);
    return out;
}

SP_DEVICE_INTERFACE_DATA ToInterfaceData(const DeviceInterfaceData& d) {
    SP_DEVICE_INTERFACE_DATA out;
    out.cbSize = sizeof out;
    out.InterfaceClassGuid = ToGuid(d.InterfaceClassGuid);
    out.Flags = d.Flags;
    out.Reserved = static_cast<ULONG_PTR>(d.Reserved);
    return out;
}

// Keeps the system from showing its "no disk in the drive" box while a
// drive without media is probed; the thread's mode is restored afterwards.
class QuietErrors {
public:
    QuietErrors() { ok_ = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS, &previous_) != 0; }
    ~QuietErrors() {
        if (ok_) ::SetThreadErrorMode(previous_, nullptr);
    }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;

private:
    DWORD previous_ = 0;
    bool ok_ = false;
};

class Win32DrivePlatform final : public DrivePlatform {
public:
    DriveHandle OpenDevice(const std::wstring& path) override {
        QuietErrors quiet;
        HANDLE h = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
        return h == INVALID_HANDLE_VALUE ? kInvalidDriveHandle : FromHandle(h);
    }

    bool GetDeviceNumber(DriveHandle device, StorageDeviceNumber* number) override {
        QuietErrors quiet;
        STORAGE_DEVICE_NUMBER record;
        std::memset(&record, 0, sizeof record);
        DWORD bytes = 0;
        if (!::DeviceIoControl(ToHandle(device), IOCTL_STORAGE_GET_DEVICE_NUMBER, nullptr, 0, &record,
                               sizeof record, &bytes, nullptr))
            return false;
        // A reply shorter than the record leaves the number unset.
        if (bytes < sizeof record) return false;
        number->DeviceType = static_cast<uint32_t>(record.DeviceType);
        number->DeviceNumber = record.DeviceNumber;
        number->PartitionNumber = record.PartitionNumber;
        return true;
    }

    void CloseDevice(DriveHandle device) override { ::CloseHandle(ToHandle(device)); }

    uint32_t DriveTypeOf(const std::wstring& root) override { return ::GetDriveTypeW(root.c_str()); }

    bool QueryDosDeviceName(const std::wstring& deviceName, std::wstring* target) override {
        wchar_t buffer[MAX_PATH];
        DWORD n = ::QueryDosDeviceW(deviceName.c_str(), buffer, MAX_PATH);
        if (n == 0) return false;
        buffer[MAX_PATH - 1] = L'\0';
        target->assign(buffer);  // the first target, up to its terminator
        return true;
    }

    DriveHandle GetClassDevices(const plat::Guid& interfaceClass) override {
        GUID g = ToGuid(interfaceClass);
        HDEVINFO set = ::SetupDiGetClassDevsW(&g, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
        return set == INVALID_HANDLE_VALUE ? kInvalidDriveHandle : FromHandle(set);
    }

    bool EnumDeviceInterface(DriveHandle set, const plat::Guid& interfaceClass, uint32_t index,
                             DeviceInterfaceData* data) override {
        GUID g = ToGuid(interfaceClass);
        SP_DEVICE_INTERFACE_DATA d;
        std::memset(&d, 0, sizeof d);
        d.cbSize = sizeof d;
        if (!::SetupDiEnumDeviceInterfaces(ToHandle(set), nullptr, &g, index, &d)) return false;
        data->cbSize = d.cbSize;
        data->InterfaceClassGuid = FromGuid(d.InterfaceClassGuid);
        data->Flags = d.Flags;
        data->Reserved = static_cast<uintptr_t>(d.Reserved);
        return true;
    }

    uint32_t GetInterfaceDetailSize(DriveHandle set, const DeviceInterfaceData& data) override {
        SP_DEVICE_INTERFACE_DATA d = ToInterfaceData(data);
        DWORD required = 0;
        ::SetupDiGetDeviceInterfaceDetailW(ToHandle(set), &d, nullptr, 0, &required, nullptr);
        return required;
    }

    bool GetInterfaceDetail(DriveHandle set, const DeviceInterfaceData& data, uint32_t size,
                            std::wstring* devicePath, uint32_t* deviceInstance) override {
        if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return false;
        SP_DEVICE_INTERFACE_DATA d = ToInterfaceData(data);
        // Storage aligned for the record; its path runs to the end of size.
        std::vector<uint64_t> storage((size + sizeof(uint64_t) - 1) / sizeof(uint64_t) + 1, 0);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        SP_DEVINFO_DATA device;
        std::memset(&device, 0, sizeof device);
        device.cbSize = sizeof device;
        if (!::SetupDiGetDeviceInterfaceDetailW(ToHandle(set), &d, detail, size, nullptr, &device)) return false;
        const size_t offset = reinterpret_cast<const char*>(detail->DevicePath) - reinterpret_cast<const char*>(detail);
        const size_t capacity = (size - offset) / sizeof(wchar_t);
        size_t length = 0;
        while (length < capacity && detail->DevicePath[length] != L'\0') ++length;
        devicePath->assign(detail->DevicePath, length);
        *deviceInstance = device.DevInst;
        return true;
    }

    void DestroyDeviceList(DriveHandle set) override { ::SetupDiDestroyDeviceInfoList(ToHandle(set)); }

    bool GetDeviceId(uint32_t deviceInstance, std::wstring* id) override {
        wchar_t buffer[MAX_PATH];
        std::memset(buffer, 0, sizeof buffer);
        if (::CM_Get_Device_IDW(deviceInstance, buffer, MAX_PATH, 0) != CR_SUCCESS) return false;
        buffer[MAX_PATH - 1] = L'\0';
        id->assign(buffer);
        return true;
    }

    std::wstring ModuleFileName() override { return plat::ModulePath(); }
};

}  // namespace

DrivePlatform& SystemDrivePlatform() {
    static Win32DrivePlatform platform;
    return platform;
}

}  // namespace corva
