// The vault's Windows file operations on a scratch folder: the listing of
// the vault folder with its Size and Date texts, an installation with the
// system's copies, attributes and renames, and the file-drop lists of drags.
#include <windows.h>
#include <shlobj.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>

#include "DragDrop.h"
#include "PasswordRecord.h"
#include "VaultEntries.h"
#include "VaultInstaller.h"
#include "VaultTestPrograms.h"
#include "engine/Secrets.h"
#include "support/TestSupport.h"

using namespace corva::vault;
using testing_support::Bytes;
using testing_support::TempDir;

namespace {

// A file of the given length; beyond a few megabytes it is made sparse by
// setting its end, so that no data is written.
bool MakeFileOfLength(const std::wstring& path, int64_t length) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD ignored = 0;
    ::DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER end{};
    end.QuadPart = length;
    const bool ok = ::SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(file);
    ::CloseHandle(file);
    return ok;
}

std::wstring TodayText() {
    SYSTEMTIME now{};
    ::GetLocalTime(&now);
    wchar_t text[16];
    swprintf(text, 16, L"%04d-%02d-%02d", now.wYear, now.wMonth, now.wDay);
    return text;
}

const VaultEntry* Find(const std::vector<VaultEntry>& entries, const std::wstring& name) {
    for (const auto& e : entries)
        if (e.name == name) return &e;
    return nullptr;
}

DWORD AttributesOf(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()); }

}  // namespace

TEST(VaultEntries, TheVaultFolderIsCreatedAndAnEmptyOneListsNothing) {
    TempDir dir;
    const std::wstring vault = dir / L"corvadocuments";
    EXPECT_TRUE(ReadVaultEntries(vault).empty());
    EXPECT_NE(AttributesOf(vault) & FILE_ATTRIBUTE_DIRECTORY, 0u);
}

TEST(VaultEntries, LockedFilesAndFoldersAreListedWithTheirSizesAndCreationDatesButNoPlainFile) {
    TempDir dir;
    const std::wstring vault = dir / L"corvadocuments";
    ASSERT_TRUE(testing_support::MakeFolder(vault));
    const struct {
        const wchar_t* name;
        int64_t length;
        const wchar_t* size;
    } cases[] = {
        {L"a.corvastine", 1023, L"1023 Bytes"},
        {L"b.corvastine", 1024, L"1 KB"},
        {L"c.corvastine", 1048575, L"1023 KB"},
        {L"d.corvastine", 1048576, L"1 MB"},
        {L"e.corvastine", (int64_t{4} << 30) + 4096, L"4 GB"},  // above 4 GiB, sparse
    };
    for (const auto& c : cases) ASSERT_TRUE(MakeFileOfLength(vault + L"\\" + c.name, c.length)) << c.length;
    ASSERT_TRUE(testing_support::WriteFileText(vault + L"\\plain.txt", "not locked"));
    // A dropped folder's place in the vault, whatever its name.
    ASSERT_TRUE(testing_support::MakeFolder(vault + L"\\photos"));

    const std::vector<VaultEntry> entries = ReadVaultEntries(vault);
    ASSERT_EQ(entries.size(), 6u);
    for (const auto& c : cases) {
        const VaultEntry* entry = Find(entries, c.name);
        ASSERT_NE(entry, nullptr) << std::wstring(c.name).size();
        EXPECT_EQ(entry->sizeText, c.size);
        EXPECT_EQ(entry->dateText, TodayText());
        EXPECT_EQ(entry->path, vault + L"\\" + c.name);
        EXPECT_FALSE(entry->folder);
        EXPECT_EQ(entry->length, c.length);
    }
    const VaultEntry* folder = Find(entries, L"photos");
    ASSERT_NE(folder, nullptr);
    EXPECT_TRUE(folder->folder);
    EXPECT_EQ(folder->sizeText, L"Folder");
    EXPECT_EQ(folder->dateText, TodayText());
}

TEST(VaultEntries, AnEntryThatCannotBeOpenedShowsEmptyTexts) {
    TempDir dir;
    const std::wstring vault = dir / L"corvadocuments";
    ASSERT_TRUE(testing_support::MakeFolder(vault));
    const std::wstring path = vault + L"\\busy.corvastine";
    ASSERT_TRUE(testing_support::WriteFileText(path, "locked content"));
    HANDLE held = ::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const std::vector<VaultEntry> entries = ReadVaultEntries(vault);
    ::CloseHandle(held);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, L"busy.corvastine");
    EXPECT_EQ(entries[0].sizeText, L"");
    EXPECT_EQ(entries[0].dateText, L"");
}

class SystemInstallTest : public ::testing::Test {
protected:
    void SetUp() override {
        source = dir / L"setup\\";
        root = dir / L"drive";
        ASSERT_TRUE(testing_support::MakeFolder(dir / L"setup"));
        ASSERT_TRUE(testing_support::MakeFolder(root));
        program = vaulttest::MinimalProgram(true);
        ASSERT_TRUE(testing_support::WriteFileBytes(source + L"CorvastineVault.exe", program));
        ASSERT_TRUE(testing_support::WriteFileBytes(source + L"libeay32.dll", Bytes(5000, 0x22)));
    }
    TempDir dir;
    std::wstring source, root;
    Bytes program;
};

TEST_F(SystemInstallTest, TheRecordIsTheInstallersDigestAndAReinstallClearsTheProtectiveAttributesFirst) {
    for (const char* password : {"first", "second"}) {
        const InstallResult result =
            InstallVault(source, root, HashSecretText(password, corva::kPasswordLabel), SystemInstallFiles());
        ASSERT_TRUE(result.Succeeded()) << password << " " << static_cast<int>(result.failedStep);
    }
    const Bytes installed = testing_support::ReadFileBytes(root + L"\\CorvastineVault.exe");
    ASSERT_EQ(installed.size(), program.size() + kRecordSize);
    EXPECT_TRUE(std::equal(program.begin(), program.end(), installed.begin()));
    std::string record;
    ASSERT_EQ(ReadPasswordRecord(root + L"\\CorvastineVault.exe", &record), RecordStatus::Ok);
    EXPECT_EQ(record, HashSecretText("second", corva::kPasswordLabel));

    const DWORD programAttributes = AttributesOf(root + L"\\CorvastineVault.exe");
    EXPECT_EQ(programAttributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN), FILE_ATTRIBUTE_READONLY);
    EXPECT_NE(AttributesOf(root + L"\\libeay32.dll") & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(AttributesOf(root + L"\\corvadocuments") & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(AttributesOf(root + L"\\CorvastineVault.exe.partial"), INVALID_FILE_ATTRIBUTES);

    // Let the scratch folder go.
    ::SetFileAttributesW((root + L"\\CorvastineVault.exe").c_str(), FILE_ATTRIBUTE_NORMAL);
    ::SetFileAttributesW((root + L"\\libeay32.dll").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(SystemInstallTest, AMissingSourceIsReportedAndNoProgramStubIsLeft) {
    ::DeleteFileW((source + L"CorvastineVault.exe").c_str());
    const InstallResult result =
        InstallVault(source, root, HashSecretText("pw", corva::kPasswordLabel), SystemInstallFiles());
    EXPECT_EQ(result.failedStep, InstallStep::Copy);
    EXPECT_EQ(AttributesOf(root + L"\\CorvastineVault.exe"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(AttributesOf(root + L"\\CorvastineVault.exe.partial"), INVALID_FILE_ATTRIBUTES);
}

// ------------------------------------------------------------ file-drop lists


TEST(FileDropList, TheListHasTheTwentyByteHeaderWideNamesAndAClosingZero) {
    const std::vector<std::wstring> paths = {L"E:\\corvadocuments\\a.txt", L"E:\\corvadocuments\\b b.txt"};
    HGLOBAL list = MakeFileDropList(paths);
    ASSERT_NE(list, nullptr);
    const auto* bytes = static_cast<const unsigned char*>(::GlobalLock(list));
    ASSERT_NE(bytes, nullptr);
    DROPFILES header{};
    std::memcpy(&header, bytes, sizeof header);
    EXPECT_EQ(header.pFiles, 20u);
    EXPECT_EQ(header.pt.x, 0);
    EXPECT_EQ(header.pt.y, 0);
    EXPECT_FALSE(header.fNC);
    EXPECT_TRUE(header.fWide);
    const size_t chars = paths[0].size() + 1 + paths[1].size() + 1 + 1;
    EXPECT_EQ(::GlobalSize(list), 20 + chars * sizeof(wchar_t));
    const auto* names = reinterpret_cast<const wchar_t*>(bytes + 20);
    EXPECT_EQ(std::wstring(names), paths[0]);
    EXPECT_EQ(names[chars - 1], L'\0');
    EXPECT_EQ(names[chars - 2], L'\0');
    ::GlobalUnlock(list);
    EXPECT_EQ(ReadFileDropList(static_cast<HDROP>(list)), paths);
    ::GlobalFree(list);
}

TEST(FileDropList, TheDataObjectHandsOutCopiesOfItsListAndKeepsWhatIsStoredInIt) {
    const std::vector<std::wstring> paths = {L"C:\\x\\one.txt"};
    FileDropData* data = FileDropData::Create(paths);
    ASSERT_NE(data, nullptr);
    FORMATETC hdrop{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(data->QueryGetData(&hdrop), S_OK);
    FORMATETC text{CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(data->QueryGetData(&text), DV_E_FORMATETC);

    EXPECT_EQ(FileDropListOf(data), paths);
    EXPECT_EQ(FileDropListOf(data), paths);  // the caller's copy was released, the list stays

    // A drag-image helper stores its own formats; they come back as stored.
    HGLOBAL blob = ::GlobalAlloc(GMEM_MOVEABLE, 4);
    std::memcpy(::GlobalLock(blob), "img!", 4);
    ::GlobalUnlock(blob);
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = blob;
    FORMATETC image{static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(L"CorvaTestImage")), nullptr,
                    DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    ASSERT_EQ(data->SetData(&image, &medium, TRUE), S_OK);
    STGMEDIUM back{};
    ASSERT_EQ(data->GetData(&image, &back), S_OK);
    EXPECT_EQ(std::memcmp(::GlobalLock(back.hGlobal), "img!", 4), 0);
    ::GlobalUnlock(back.hGlobal);
    ::ReleaseStgMedium(&back);

    IEnumFORMATETC* formats = nullptr;
    ASSERT_EQ(data->EnumFormatEtc(DATADIR_GET, &formats), S_OK);
    FORMATETC got[4]{};
    ULONG count = 0;
    formats->Next(4, got, &count);
    formats->Release();
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(got[0].cfFormat, CF_HDROP);
    EXPECT_EQ(data->Release(), 0u);
}
