// USB drives for the tests, answered through the DrivePlatform seam: the
// drives whose letters are given are USB flash drives, nothing else is.
// The module's own path is the real one.
#pragma once

#include <string>

#include "drives/UsbDrives.h"
#include "platform/Platform.h"

namespace vaulttest {

// Every drive whose letter is listed is a USB flash drive: its volume
// opens, has device number (letter - 'A') and one disk interface whose
// device carries a USBSTOR identifier. Nothing else opens.
class ScriptedUsbDrives final : public corva::DrivePlatform {
public:
    explicit ScriptedUsbDrives(std::wstring letters) : letters_(std::move(letters)) {}

    corva::DriveHandle OpenDevice(const std::wstring& path) override {
        for (wchar_t letter : letters_) {
            if (path == std::wstring(L"\\\\.\\") + letter + L':') return 1000 + letter;
            if (path == InterfacePath(letter)) return 2000 + letter;
        }
        return corva::kInvalidDriveHandle;
    }
    bool GetDeviceNumber(corva::DriveHandle device, corva::StorageDeviceNumber* number) override {
        const wchar_t letter = static_cast<wchar_t>(device >= 2000 ? device - 2000 : device - 1000);
        number->DeviceType = 7;
        number->DeviceNumber = static_cast<uint32_t>(letter - L'A');
        number->PartitionNumber = 1;
        return true;
    }
    void CloseDevice(corva::DriveHandle) override {}
    uint32_t DriveTypeOf(const std::wstring&) override { return corva::kDriveRemovable; }
    bool QueryDosDeviceName(const std::wstring& name, std::wstring* target) override {
        *target = L"\\Device\\HarddiskVolume" + name.substr(0, 1);
        return true;
    }
    corva::DriveHandle GetClassDevices(const plat::Guid&) override { return 1; }
    bool EnumDeviceInterface(corva::DriveHandle, const plat::Guid& klass, uint32_t index,
                             corva::DeviceInterfaceData* data) override {
        if (index >= letters_.size()) return false;
        data->InterfaceClassGuid = klass;
        data->Reserved = index;
        return true;
    }
    uint32_t GetInterfaceDetailSize(corva::DriveHandle, const corva::DeviceInterfaceData&) override { return 200; }
    bool GetInterfaceDetail(corva::DriveHandle, const corva::DeviceInterfaceData& data, uint32_t,
                            std::wstring* devicePath, uint32_t* instance) override {
        *devicePath = InterfacePath(letters_[data.Reserved]);
        *instance = static_cast<uint32_t>(100 + data.Reserved);
        return true;
    }
    void DestroyDeviceList(corva::DriveHandle) override {}
    bool GetDeviceId(uint32_t instance, std::wstring* id) override {
        *id = L"USBSTOR\\DISK&VEN_CORVA&PROD_SCRIPTED\\" + std::wstring(1, letters_[instance - 100]);
        return true;
    }
    std::wstring ModuleFileName() override { return plat::ModulePath(); }

private:
    static std::wstring InterfacePath(wchar_t letter) {
        return L"\\\\?\\usbstor#disk&ven_corva#" + std::wstring(1, letter) + L"#{53f56307}";
    }
    std::wstring letters_;
};

}  // namespace vaulttest
