#include "VaultInstaller.h"

#include <algorithm>

#include "VaultLayout.h"

namespace corva::vault {

std::wstring StagingPathOf(const std::wstring& destination) { return destination + L".partial"; }

namespace {

InstallResult Failure(InstallStep step, const std::wstring& file) {
    InstallResult result;
    result.failedStep = step;
    result.file = file;
    return result;
}

// Clears a staging file left by an interrupted run, so that it can be
// written again.
bool ClearStaging(InstallFiles& files, const std::wstring& staging) {
    if (!files.Exists(staging)) return true;
    files.SetAttributes(staging, kAttrNormal);
    return files.Remove(staging);
}

// Copies a source file to its staging name beside the destination.
bool Stage(InstallFiles& files, const std::wstring& source, const std::wstring& staging) {
    if (!ClearStaging(files, staging)) return false;
    if (files.CopyReplacing(source, staging)) return true;
    ClearStaging(files, staging);
    return false;
}

// Appends the record to the staged program, then checks that the file is
// its source plus exactly these 32 bytes.
bool SealStaged(InstallFiles& files, const std::wstring& source, const std::wstring& staging,
                const RecordBytes& record) {
    int64_t sourceSize = 0, stagedSize = 0;
    if (!files.SizeOf(source, &sourceSize)) return false;
    if (!files.AppendFlushed(staging, record.data(), record.size())) return false;
    if (!files.SizeOf(staging, &stagedSize) || stagedSize != sourceSize + static_cast<int64_t>(record.size()))
        return false;
    std::vector<uint8_t> tail;
    if (!files.ReadTail(staging, record.size(), &tail)) return false;
    return tail.size() == record.size() && std::equal(tail.begin(), tail.end(), record.begin());
}

// Puts the staged file in place of the destination, whose protective
// attributes (from an earlier installation) are cleared first.
bool Replace(InstallFiles& files, const std::wstring& staging, const std::wstring& destination) {
    if (files.Exists(destination)) files.SetAttributes(destination, kAttrNormal);
    return files.RenameReplacing(staging, destination);
}

}  // namespace

InstallResult InstallVault(const std::wstring& sourceFolder, const std::wstring& root, const std::string& recordText,
                           InstallFiles& files) {
    RecordBytes record{};
    if (!RecordFromDigestText(recordText, &record)) return Failure(InstallStep::BadRecord, kVaultProgramName);

    const std::wstring programSource = sourceFolder + kVaultProgramName;
    const std::wstring librarySource = sourceFolder + kCryptoLibraryName;
    const std::wstring program = root + L"\\" + kVaultProgramName;
    const std::wstring library = root + L"\\" + kCryptoLibraryName;
    const std::wstring folder = root + L"\\" + kVaultFolderName;
    const std::wstring programStaging = StagingPathOf(program);
    const std::wstring libraryStaging = StagingPathOf(library);

    // Both files are staged completely before either replaces anything.
    if (!Stage(files, programSource, programStaging)) return Failure(InstallStep::Copy, kVaultProgramName);
    if (!SealStaged(files, programSource, programStaging, record)) {
        ClearStaging(files, programStaging);
        return Failure(InstallStep::Record, kVaultProgramName);
    }
    if (!Stage(files, librarySource, libraryStaging)) {
        ClearStaging(files, programStaging);
        return Failure(InstallStep::Copy, kCryptoLibraryName);
    }

    if (!Replace(files, libraryStaging, library)) {
        ClearStaging(files, programStaging);
        ClearStaging(files, libraryStaging);
        return Failure(InstallStep::Replace, kCryptoLibraryName);
    }
    if (!Replace(files, programStaging, program)) {
        ClearStaging(files, programStaging);
        return Failure(InstallStep::Replace, kVaultProgramName);
    }

    // The record as it now lies at the end of the vault program.
    std::vector<uint8_t> tail;
    if (!files.ReadTail(program, record.size(), &tail) || tail.size() != record.size() ||
        !std::equal(tail.begin(), tail.end(), record.begin()))
        return Failure(InstallStep::Record, kVaultProgramName);

    if (!files.CreateFolder(folder) || !files.SetAttributes(folder, kAttrHidden))
        return Failure(InstallStep::Folder, kVaultFolderName);
    if (!files.SetAttributes(library, kAttrReadOnly | kAttrHidden | kAttrSystem))
        return Failure(InstallStep::Attributes, kCryptoLibraryName);
    if (!files.SetAttributes(program, kAttrReadOnly | kAttrSystem))
        return Failure(InstallStep::Attributes, kVaultProgramName);
    return InstallResult();
}

ExistingVault FindExistingVault(const std::wstring& root, const std::string& recordText, InstallFiles& files) {
    const std::wstring program = root + L"\\" + kVaultProgramName;
    const bool hasProgram = files.Exists(program);
    if (!hasProgram && !files.Exists(root + L"\\" + kVaultFolderName)) return ExistingVault::None;
    RecordBytes record{};
    std::vector<uint8_t> tail;
    if (hasProgram && RecordFromDigestText(recordText, &record) && files.ReadTail(program, record.size(), &tail) &&
        tail.size() == record.size() && std::equal(tail.begin(), tail.end(), record.begin()))
        return ExistingVault::SamePassword;
    return ExistingVault::OtherPassword;
}

std::wstring ReplaceVaultQuestion(const std::wstring& root) {
    return L"The drive " + root +
           L" already holds a Corvastine Vault. The files locked in it under the old password will open only "
           L"with the old password, not with the new one.\n\nInstall the vault with the new password anyway?";
}

std::wstring InstallFailureText(const InstallResult& result, const std::wstring& root) {
    const std::wstring file = L"\"" + result.file + L"\"";
    std::wstring what;
    switch (result.failedStep) {
    case InstallStep::None: return std::wstring();
    case InstallStep::BadRecord: what = L"The password record for " + file + L" could not be made."; break;
    case InstallStep::Copy: what = L"The file " + file + L" could not be copied to " + root + L"."; break;
    case InstallStep::Record:
        what = L"The password could not be written into " + file + L" on " + root + L".";
        break;
    case InstallStep::Replace:
        what = L"The file " + file + L" on " + root + L" could not be replaced.";
        break;
    case InstallStep::Folder: what = L"The folder " + file + L" could not be created on " + root + L"."; break;
    case InstallStep::Attributes:
        what = L"The attributes of " + file + L" on " + root + L" could not be set.";
        break;
    }
    return what + L" The installation was not completed. Please check that the disk is not write-protected or full.";
}

}  // namespace corva::vault
