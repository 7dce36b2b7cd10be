// Puts a vault onto a drive: the vault program and the cryptographic
// library copied from the installer's folder, the hidden vault folder, and
// the password record appended to the copied program.
//
// Every step counts. The program is first copied to a staging name beside
// its destination, the record appended, flushed and read back; only then
// does it replace the vault program on the drive, so that a failed copy
// never leaves a program without its record (or a bare 32-byte record) in
// place of a working one. The result names the step and the file that
// failed; the locked files already in the vault folder are never touched.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PasswordRecord.h"

namespace corva::vault {

// File attributes, the system's values.
enum : uint32_t {
    kAttrReadOnly = 0x1,
    kAttrHidden = 0x2,
    kAttrSystem = 0x4,
    kAttrNormal = 0x80,
};

// The file operations an installation needs; each mirrors one system call
// and none throws. SystemInstallFiles() is the real one (Windows).
class InstallFiles {
public:
    virtual ~InstallFiles() = default;
    virtual bool Exists(const std::wstring& path) = 0;
    // SetFileAttributesW.
    virtual bool SetAttributes(const std::wstring& path, uint32_t attributes) = 0;
    // CopyFileW, replacing an existing destination.
    virtual bool CopyReplacing(const std::wstring& from, const std::wstring& to) = 0;
    // Appends the bytes, flushes them to the device and closes the file.
    virtual bool AppendFlushed(const std::wstring& path, const uint8_t* data, size_t size) = 0;
    virtual bool SizeOf(const std::wstring& path, int64_t* size) = 0;
    // The last size bytes of the file.
    virtual bool ReadTail(const std::wstring& path, size_t size, std::vector<uint8_t>* bytes) = 0;
    // MoveFileExW with replace-existing and write-through.
    virtual bool RenameReplacing(const std::wstring& from, const std::wstring& to) = 0;
    virtual bool Remove(const std::wstring& path) = 0;
    // CreateDirectoryW; true also when a folder of that name exists.
    virtual bool CreateFolder(const std::wstring& path) = 0;
};

InstallFiles& SystemInstallFiles();

enum class InstallStep {
    None,
    BadRecord,    // the record text is not 32 digest bytes
    Copy,         // a file could not be copied (missing source, full or protected drive)
    Record,       // the record could not be appended, flushed or read back
    Replace,      // the staged copy could not take the place of the old file
    Folder,       // the vault folder could not be created or made hidden
    Attributes,   // the protective attributes could not be set
};

struct InstallResult {
    InstallStep failedStep = InstallStep::None;
    std::wstring file;  // the file or folder name the failure concerns
    bool Succeeded() const { return failedStep == InstallStep::None; }
};

// The staging name of a file being installed: its destination + ".partial".
std::wstring StagingPathOf(const std::wstring& destination);

// Installs into root ("E:") from sourceFolder (ending with a backslash),
// sealing the record given as digest text.
InstallResult InstallVault(const std::wstring& sourceFolder, const std::wstring& root, const std::string& recordText,
                           InstallFiles& files);

// What a drive already holds before an installation: no vault, a vault
// sealed with the same password, or a vault (its program or just its
// folder) whose files are locked under another or an unknown password.
enum class ExistingVault { None, SamePassword, OtherPassword };
ExistingVault FindExistingVault(const std::wstring& root, const std::string& recordText, InstallFiles& files);

// The question asked before a new password is sealed over an existing vault
// on root ("E:").
std::wstring ReplaceVaultQuestion(const std::wstring& root);

// The message telling the user which step failed for which file.
std::wstring InstallFailureText(const InstallResult& result, const std::wstring& root);

}  // namespace corva::vault
