// The installation steps over an in-memory drive whose failures the test
// chooses: what lands on the drive, that every step counts, and that a
// failed copy never leaves the vault program without its record.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "VaultInstaller.h"
#include "engine/Secrets.h"

using namespace corva::vault;

namespace {

struct FakeFile {
    std::vector<uint8_t> data;
    uint32_t attributes = kAttrNormal;
    bool folder = false;
};

// Files by path. A path whose prefix is in protectedPrefixes cannot be
// written (write-protected or full drive); read-only files refuse writes,
// renames onto them and removal, as the system does.
class FakeDrive final : public InstallFiles {
public:
    std::map<std::wstring, FakeFile> files;
    std::set<std::wstring> failCopyTo;         // copies to these destinations fail
    std::set<std::wstring> failAppendTo;       // appends to these fail
    std::set<std::wstring> corruptAppendTo;    // appends store other bytes
    bool failFolder = false;
    bool failAttributes = false;

    bool Exists(const std::wstring& path) override { return files.count(path) != 0; }
    bool SetAttributes(const std::wstring& path, uint32_t attributes) override {
        auto it = files.find(path);
        if (it == files.end() || failAttributes) return false;
        it->second.attributes = attributes;
        return true;
    }
    bool CopyReplacing(const std::wstring& from, const std::wstring& to) override {
        auto source = files.find(from);
        if (source == files.end() || failCopyTo.count(to)) return false;
        auto target = files.find(to);
        if (target != files.end() && (target->second.attributes & kAttrReadOnly)) return false;
        FakeFile copy;
        copy.data = source->second.data;
        files[to] = copy;
        return true;
    }
    bool AppendFlushed(const std::wstring& path, const uint8_t* data, size_t size) override {
        auto it = files.find(path);
        if (it == files.end() || failAppendTo.count(path) || (it->second.attributes & kAttrReadOnly)) return false;
        for (size_t i = 0; i < size; ++i)
            it->second.data.push_back(corruptAppendTo.count(path) ? static_cast<uint8_t>(data[i] ^ 1) : data[i]);
        return true;
    }
    bool SizeOf(const std::wstring& path, int64_t* size) override {
        auto it = files.find(path);
        if (it == files.end()) return false;
        *size = static_cast<int64_t>(it->second.data.size());
        return true;
    }
    bool ReadTail(const std::wstring& path, size_t size, std::vector<uint8_t>* bytes) override {
        auto it = files.find(path);
        if (it == files.end() || it->second.data.size() < size) return false;
        bytes->assign(it->second.data.end() - static_cast<ptrdiff_t>(size), it->second.data.end());
        return true;
    }
    bool RenameReplacing(const std::wstring& from, const std::wstring& to) override {
        auto source = files.find(from);
        if (source == files.end()) return false;
        auto target = files.find(to);
        if (target != files.end() && (target->second.attributes & kAttrReadOnly)) return false;
        FakeFile moved = source->second;
        files.erase(source);
        files[to] = moved;
        return true;
    }
    bool Remove(const std::wstring& path) override {
        auto it = files.find(path);
        if (it == files.end() || (it->second.attributes & kAttrReadOnly)) return false;
        files.erase(it);
        return true;
    }
    bool CreateFolder(const std::wstring& path) override {
        if (failFolder) return false;
        auto it = files.find(path);
        if (it != files.end()) return it->second.folder;
        FakeFile folder;
        folder.folder = true;
        folder.attributes = 0x10;
        files[path] = folder;
        return true;
    }

    void Put(const std::wstring& path, std::vector<uint8_t> data, uint32_t attributes = kAttrNormal) {
        FakeFile f;
        f.data = std::move(data);
        f.attributes = attributes;
        files[path] = f;
    }
};

const std::wstring kSource = L"C:\\Setup\\";
const std::wstring kRoot = L"E:";
const std::wstring kProgram = L"E:\\CorvastineVault.exe";
const std::wstring kLibrary = L"E:\\libeay32.dll";
const std::wstring kFolder = L"E:\\corvadocuments";

std::vector<uint8_t> ProgramBytes() { return std::vector<uint8_t>(3000, 0x4D); }
std::vector<uint8_t> LibraryBytes() { return std::vector<uint8_t>(700, 0x11); }

RecordBytes RecordOf(const std::string& password) {
    RecordBytes record{};
    EXPECT_TRUE(RecordFromDigestText(HashSecretText(password, corva::kPasswordLabel), &record));
    return record;
}

class VaultInstallerTest : public ::testing::Test {
protected:
    void SetUp() override {
        drive.Put(kSource + L"CorvastineVault.exe", ProgramBytes());
        drive.Put(kSource + L"libeay32.dll", LibraryBytes());
    }
    InstallResult Install(const std::string& password) {
        return InstallVault(kSource, kRoot, HashSecretText(password, corva::kPasswordLabel), drive);
    }
    bool NoStagingLeft() const {
        return !drive.files.count(StagingPathOf(kProgram)) && !drive.files.count(StagingPathOf(kLibrary));
    }
    FakeDrive drive;
};

}  // namespace

TEST_F(VaultInstallerTest, AnInstallationLaysOutTheVaultWithTheRecordAtTheEnd) {
    const InstallResult result = Install("sesame");
    ASSERT_TRUE(result.Succeeded()) << static_cast<int>(result.failedStep);

    const FakeFile& program = drive.files.at(kProgram);
    ASSERT_EQ(program.data.size(), ProgramBytes().size() + kRecordSize);
    const RecordBytes record = RecordOf("sesame");
    EXPECT_TRUE(std::equal(record.begin(), record.end(), program.data.end() - kRecordSize));
    const std::vector<uint8_t> source = ProgramBytes();
    EXPECT_TRUE(std::equal(source.begin(), source.end(), program.data.begin()));
    EXPECT_EQ(program.attributes, kAttrReadOnly | kAttrSystem);

    EXPECT_EQ(drive.files.at(kLibrary).data, LibraryBytes());
    EXPECT_EQ(drive.files.at(kLibrary).attributes, kAttrReadOnly | kAttrHidden | kAttrSystem);
    ASSERT_TRUE(drive.files.at(kFolder).folder);
    EXPECT_EQ(drive.files.at(kFolder).attributes, kAttrHidden);
    EXPECT_TRUE(NoStagingLeft());
}

TEST_F(VaultInstallerTest, AReinstallReplacesProtectedFilesKeepsTheLockedFilesAndEndsWithOneNewRecord) {
    auto existing = [&](const char* password) {
        return FindExistingVault(kRoot, HashSecretText(password, corva::kPasswordLabel), drive);
    };
    EXPECT_EQ(existing("first"), ExistingVault::None);
    drive.Put(kFolder, {}, 0x10);  // a vault folder alone: its files' password is unknown
    EXPECT_EQ(existing("first"), ExistingVault::OtherPassword);
    drive.files.erase(kFolder);
    ASSERT_TRUE(Install("first").Succeeded());
    drive.Put(kFolder + L"\\old.txt.corvastine", std::vector<uint8_t>(500, 0x77));
    EXPECT_EQ(existing("first"), ExistingVault::SamePassword);
    EXPECT_EQ(existing("second"), ExistingVault::OtherPassword);
    ASSERT_TRUE(Install("second").Succeeded());

    const FakeFile& program = drive.files.at(kProgram);
    ASSERT_EQ(program.data.size(), ProgramBytes().size() + kRecordSize);  // one record, not two
    const RecordBytes record = RecordOf("second");
    EXPECT_TRUE(std::equal(record.begin(), record.end(), program.data.end() - kRecordSize));
    EXPECT_EQ(drive.files.at(kFolder + L"\\old.txt.corvastine").data, std::vector<uint8_t>(500, 0x77));
    EXPECT_EQ(drive.files.at(kLibrary).attributes, kAttrReadOnly | kAttrHidden | kAttrSystem);
}

TEST_F(VaultInstallerTest, AMissingVaultProgramIsReportedAndLeavesNoStubOnTheDrive) {
    drive.files.erase(kSource + L"CorvastineVault.exe");
    const InstallResult result = Install("sesame");
    EXPECT_FALSE(result.Succeeded());
    EXPECT_EQ(result.failedStep, InstallStep::Copy);
    EXPECT_EQ(result.file, L"CorvastineVault.exe");
    EXPECT_FALSE(drive.Exists(kProgram));
    EXPECT_TRUE(NoStagingLeft());
    const std::wstring text = InstallFailureText(result, kRoot);
    EXPECT_NE(text.find(L"\"CorvastineVault.exe\""), std::wstring::npos) << std::string(text.begin(), text.end());
}

TEST_F(VaultInstallerTest, AMissingLibraryIsReportedAndTheOldVaultStaysWhole) {
    ASSERT_TRUE(Install("first").Succeeded());
    const FakeFile before = drive.files.at(kProgram);
    drive.files.erase(kSource + L"libeay32.dll");
    const InstallResult result = Install("second");
    EXPECT_EQ(result.failedStep, InstallStep::Copy);
    EXPECT_EQ(result.file, L"libeay32.dll");
    EXPECT_EQ(drive.files.at(kProgram).data, before.data);  // still the first password's vault
    EXPECT_TRUE(NoStagingLeft());
    EXPECT_NE(InstallFailureText(result, kRoot).find(L"\"libeay32.dll\""), std::wstring::npos);
}

TEST_F(VaultInstallerTest, AWriteProtectedDriveFailsAtTheFirstCopy) {
    drive.failCopyTo = {StagingPathOf(kProgram), StagingPathOf(kLibrary)};
    const InstallResult result = Install("sesame");
    EXPECT_EQ(result.failedStep, InstallStep::Copy);
    EXPECT_FALSE(drive.Exists(kProgram));
    EXPECT_FALSE(drive.Exists(kFolder));
}

TEST_F(VaultInstallerTest, ARecordThatCannotBeAppendedOrReadBackFailsWithoutTouchingTheOldProgram) {
    ASSERT_TRUE(Install("first").Succeeded());
    const FakeFile before = drive.files.at(kProgram);

    drive.failAppendTo = {StagingPathOf(kProgram)};
    InstallResult result = Install("second");
    EXPECT_EQ(result.failedStep, InstallStep::Record);
    EXPECT_EQ(drive.files.at(kProgram).data, before.data);
    EXPECT_TRUE(NoStagingLeft());

    drive.failAppendTo.clear();
    drive.corruptAppendTo = {StagingPathOf(kProgram)};
    result = Install("second");
    EXPECT_EQ(result.failedStep, InstallStep::Record);
    EXPECT_EQ(drive.files.at(kProgram).data, before.data);
    EXPECT_TRUE(NoStagingLeft());
}

TEST_F(VaultInstallerTest, AFolderOrAttributeFailureIsNotCalledSuccess) {
    drive.failFolder = true;
    InstallResult result = Install("sesame");
    EXPECT_EQ(result.failedStep, InstallStep::Folder);
    EXPECT_EQ(result.file, L"corvadocuments");

    drive.failFolder = false;
    drive.failAttributes = true;
    result = Install("sesame");
    EXPECT_FALSE(result.Succeeded());
}

TEST_F(VaultInstallerTest, ALeftoverStagingFileFromAnInterruptedRunIsReplaced) {
    drive.Put(StagingPathOf(kProgram), std::vector<uint8_t>(10, 0), kAttrReadOnly);
    ASSERT_TRUE(Install("sesame").Succeeded());
    EXPECT_EQ(drive.files.at(kProgram).data.size(), ProgramBytes().size() + kRecordSize);
    EXPECT_TRUE(NoStagingLeft());
}

TEST_F(VaultInstallerTest, ARecordTextThatIsNoDigestWritesNothing) {
    const InstallResult result = InstallVault(kSource, kRoot, "not a digest", drive);
    EXPECT_EQ(result.failedStep, InstallStep::BadRecord);
    EXPECT_FALSE(drive.Exists(kProgram));
    EXPECT_FALSE(drive.Exists(kLibrary));
}
