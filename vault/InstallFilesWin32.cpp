// The installer's file operations on Windows.
#include <windows.h>

#include "platform/WinHandles.h"

#include "VaultInstaller.h"

namespace corva::vault {

namespace {

using corva::win::UniqueKernelHandle;

// Closes a file now and tells whether the system reported a failure.
bool CloseChecked(UniqueKernelHandle& file) { return ::CloseHandle(file.Release()) != FALSE; }

class Win32InstallFiles final : public InstallFiles {
public:
    bool Exists(const std::wstring& path) override {
        return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    bool SetAttributes(const std::wstring& path, uint32_t attributes) override {
        return ::SetFileAttributesW(path.c_str(), attributes) != FALSE;
    }

    bool CopyReplacing(const std::wstring& from, const std::wstring& to) override {
        return ::CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
    }

    bool AppendFlushed(const std::wstring& path, const uint8_t* data, size_t size) override {
        UniqueKernelHandle file(::CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return false;
        DWORD written = 0;
        if (!::WriteFile(file.Get(), data, static_cast<DWORD>(size), &written, nullptr) || written != size)
            return false;
        if (!::FlushFileBuffers(file.Get())) return false;
        return CloseChecked(file);
    }

    bool SizeOf(const std::wstring& path, int64_t* size) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
        *size = (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        return true;
    }

    bool ReadTail(const std::wstring& path, size_t size, std::vector<uint8_t>* bytes) override {
        UniqueKernelHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.Valid()) return false;
        LARGE_INTEGER length{};
        if (!::GetFileSizeEx(file.Get(), &length) || length.QuadPart < static_cast<LONGLONG>(size)) return false;
        LARGE_INTEGER at{};
        at.QuadPart = length.QuadPart - static_cast<LONGLONG>(size);
        if (!::SetFilePointerEx(file.Get(), at, nullptr, FILE_BEGIN)) return false;
        bytes->assign(size, 0);
        DWORD got = 0;
        if (!::ReadFile(file.Get(), bytes->data(), static_cast<DWORD>(size), &got, nullptr) || got != size)
            return false;
        return true;
    }

    bool RenameReplacing(const std::wstring& from, const std::wstring& to) override {
        return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
    }

    bool Remove(const std::wstring& path) override { return ::DeleteFileW(path.c_str()) != FALSE; }

    bool CreateFolder(const std::wstring& path) override {
        if (::CreateDirectoryW(path.c_str(), nullptr)) return true;
        const DWORD attributes = ::GetFileAttributesW(path.c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
               !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }
};

}  // namespace

InstallFiles& SystemInstallFiles() {
    static Win32InstallFiles files;
    return files;
}

}  // namespace corva::vault
