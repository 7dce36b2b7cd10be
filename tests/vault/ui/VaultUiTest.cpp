// The vault program and its installer driven as a user would: the vault
// runs in a program of its own from the scripted USB drive U: (or W:), a
// scratch folder mapped as a drive and answered as USB by the test's
// DrivePlatform; the
// installer's dialog on a thread of the test program. Files go in by a
// real OLE drag from this program and by WM_DROPFILES, and come out by a
// real drag onto a drop target of this program.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "PasswordRecord.h"
#include "ScriptedUsbDrives.h"
#include "StowboxDialog.h"
#include "UiHarness.h"
#include "VaultInstaller.h"
#include "VaultProgram.h"
#include "VaultUiSupport.h"
#include "engine/LockedFile.h"
#include "engine/Secrets.h"
#include "resource.h"
#include "support/TestSupport.h"

using namespace vaulttest;
using corva::vault::kRecordSize;
using uitest::Millis;

namespace {

const std::wstring kU = L"U:\\";
const std::wstring kW = L"W:\\";
const std::wstring kHostName = L"VaultHost.exe";
constexpr Millis kBatchTimeout{30000};
constexpr int kProgressBarId = 1003;  // the progress dialog's bar

int ScreenDpi() {
    HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    return dpi;
}

std::wstring DpiSuffix() { return L"_" + std::to_wstring(ScreenDpi()) + L"dpi"; }

// The scripted USB drives U: and W:, scratch folders for the whole run.
class ScratchDrives : public ::testing::Environment {
public:
    void SetUp() override {
        u_ = std::make_unique<ScratchDrive>(L'U');
        w_ = std::make_unique<ScratchDrive>(L'W');
        ASSERT_TRUE(u_->Mapped() && w_->Mapped()) << "drives U: and W: could not be mapped";
    }
    void TearDown() override {
        u_.reset();
        w_.reset();
    }
    ScratchDrive& U() { return *u_; }

private:
    std::unique_ptr<ScratchDrive> u_, w_;
};
ScratchDrives* const g_drives =
    static_cast<ScratchDrives*>(::testing::AddGlobalTestEnvironment(new ScratchDrives));

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::wstring HostProgram() { return uitest::BesideProgram(L"vault_test_host.exe"); }

int64_t SizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<uint8_t> TailOf(const std::wstring& path) {
    const auto bytes = testing_support::ReadFileBytes(path);
    if (bytes.size() < kRecordSize) return {};
    return std::vector<uint8_t>(bytes.end() - kRecordSize, bytes.end());
}

std::vector<uint8_t> RecordBytesOf(const std::string& password) {
    corva::vault::RecordBytes record{};
    EXPECT_TRUE(corva::vault::RecordFromDigestText(HashSecretText(password, corva::kPasswordLabel), &record));
    return std::vector<uint8_t>(record.begin(), record.end());
}

std::vector<std::wstring> PlainFilesIn(const std::wstring& folder) {
    std::vector<std::wstring> plain;
    for (const auto& name : testing_support::ListNames(folder))
        if (!HasLockedExtension(name)) plain.push_back(name);
    return plain;
}

class VaultUi : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
        ASSERT_TRUE(Exists(kU) && Exists(kW)) << "drives U: and W: are missing";
        // A program the test before started from a drive may still be
        // ending, and its file cannot go until it has.
        ASSERT_TRUE(uitest::WaitUntil([] {
            EmptyFolder(kU);
            EmptyFolder(kW);
            return testing_support::ListNames(kU).empty() && testing_support::ListNames(kW).empty();
        })) << "U: or W: cannot be emptied";
    }
    void TearDown() override {
        vault_.reset();
        EmptyFolder(kU);
        EmptyFolder(kW);
        ::OleUninitialize();
    }

    // A vault on the drive made by the installation steps from the shipped
    // folder, with the test's vault program beside it under another name.
    void MakeVault(const std::wstring& root, const std::string& password) {
        const auto result = corva::vault::InstallVault(ShippedFolder(), root.substr(0, 2),
                                                       HashSecretText(password, corva::kPasswordLabel),
                                                       corva::vault::SystemInstallFiles());
        ASSERT_TRUE(result.Succeeded()) << static_cast<int>(result.failedStep);
        ASSERT_TRUE(CopyTo(HostProgram(), root + kHostName));
    }

    // room: the bytes the vault may write before its drive is full (-1: no limit).
    void StartVault(const std::wstring& root, int64_t room = -1) {
        vault_ = std::make_unique<uitest::ChildProcess>();
        ASSERT_TRUE(vault_->Start(root + kHostName, room < 0 ? L"vault UW" : L"vault UW " + std::to_wstring(room)));
    }

    HWND WaitForPrompt() {
        return uitest::WaitForWindow(uitest::WindowQuery::Dialog(vault_->GetScope(), L"Enter password"));
    }

    // Types the password into the prompt and presses Ok.
    void Answer(HWND prompt, const std::wstring& password) {
        ASSERT_TRUE(uitest::TypeText(prompt, 1000, password));
        ASSERT_TRUE(uitest::ClickButton(prompt, IDOK));
    }

    // Starts the vault on the drive and opens it with the password.
    HWND OpenVault(const std::wstring& root, const std::string& password, int64_t room = -1) {
        StartVault(root, room);
        HWND prompt = WaitForPrompt();
        EXPECT_NE(prompt, nullptr);
        if (!prompt) return nullptr;
        Answer(prompt, std::wstring(password.begin(), password.end()));
        HWND window = uitest::WaitForWindow(uitest::WindowQuery::Dialog(vault_->GetScope(), L"Corvastine Vault"));
        EXPECT_NE(window, nullptr);
        if (window) list_ = ::GetDlgItem(window, IDC_VAULT_LIST);
        return window;
    }

    bool WaitForRows(int rows, Millis timeout = kBatchTimeout) {
        return uitest::WaitUntil([&] { return RowCount(list_) == rows && !ProgressShown(); }, timeout);
    }

    // The progress dialog (not a message box, which bears the same caption).
    uitest::WindowQuery ProgressQuery() {
        uitest::WindowQuery query = uitest::WindowQuery::Dialog(vault_->GetScope(), L"Corvastine");
        query.filter = [](HWND window) { return ::GetDlgItem(window, kProgressBarId) != nullptr; };
        return query;
    }
    bool ProgressShown() { return uitest::FindWindowOnce(ProgressQuery()) != nullptr; }

    // Plain files in a scratch folder of drive C:, named and filled as given.
    std::vector<std::wstring> MakeSources(const std::vector<std::wstring>& names) {
        std::vector<std::wstring> paths;
        for (const auto& name : names) {
            paths.push_back(sources_ / name);
            EXPECT_TRUE(WriteText(paths.back(), "content of " + Narrow(name)));
        }
        return paths;
    }

    // Puts files into the vault by WM_DROPFILES and waits for the rows.
    void DropIn(HWND window, const std::vector<std::wstring>& paths, int rowsAfter) {
        PostDrop(window, paths);
        ASSERT_TRUE(WaitForRows(rowsAfter)) << RowCount(list_);
    }
    void PostDrop(HWND window, const std::vector<std::wstring>& paths) {
        RECT list{};
        ::GetWindowRect(list_, &list);
        POINT at = uitest::CentreOf(list);
        ::ScreenToClient(window, &at);
        ASSERT_TRUE(PostDropFiles(window, paths, at));
    }

    // The message naming what a drop or a drag did not do: its heading with
    // the count, and each file with its reason.
    void ExpectFailureMessage(HWND window, const std::wstring& doneVerb, size_t count,
                              const std::vector<std::pair<std::wstring, corva::FailureReason>>& files,
                              const std::wstring& screenshot) {
        auto box = uitest::WaitForMessageBox(vault_->GetScope(), kBatchTimeout);
        ASSERT_TRUE(box) << Narrow(doneVerb);
        EXPECT_EQ(box->owner, window);
        EXPECT_EQ(box->caption, L"Corvastine");
        EXPECT_EQ(box->text.find(corva::DefaultSummaryHeading(count, doneVerb)), 0u) << Narrow(box->text);
        for (const auto& file : files) {
            EXPECT_NE(box->text.find(file.first), std::wstring::npos) << Narrow(box->text);
            EXPECT_NE(box->text.find(corva::FailureReasonText(file.second)), std::wstring::npos)
                << Narrow(box->text);
        }
        if (!screenshot.empty()) {
            EXPECT_FALSE(uitest::SaveScreenshot(box->window, screenshot + DpiSuffix()).empty());
        }
        ASSERT_TRUE(uitest::AnswerMessageBox(*box));
    }

    // Neither a pending output nor a plain file in the vault folder's tree.
    std::vector<std::wstring> StrayFilesInVault(const std::wstring& folder = L"") {
        const std::wstring root = folder.empty() ? vaultFolder_ : folder;
        std::vector<std::wstring> stray;
        for (const auto& name : testing_support::ListNames(root)) {
            const std::wstring path = root + name;
            if (::GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) {
                for (const auto& inner : StrayFilesInVault(path + L"\\")) stray.push_back(name + L"\\" + inner);
            } else if (!HasLockedExtension(name)) {
                stray.push_back(name);
            }
        }
        return stray;
    }

    std::unique_ptr<uitest::ChildProcess> vault_;
    HWND list_ = nullptr;
    testing_support::TempDir sources_;
    const std::wstring vaultFolder_ = kU + L"corvadocuments\\";
};

}  // namespace

// ------------------------------------------------------------ start

TEST_F(VaultUi, TheShippedVaultOffAUsbDriveSaysSoAndEnds) {
    uitest::ChildProcess shipped;
    ASSERT_TRUE(shipped.Start(ShippedFolder() + L"CorvastineVault.exe", L""));
    auto box = uitest::WaitForMessageBox(shipped.GetScope());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, corva::vault::kNotOnUsbText);
    EXPECT_EQ(box->caption, L"Corvastine Vault");
    EXPECT_EQ(box->owner, nullptr);
    ASSERT_TRUE(uitest::AnswerMessageBox(*box));
    EXPECT_EQ(shipped.WaitExit(), 0u);
}

TEST_F(VaultUi, AVaultProgramOnAnInternalDriveSaysSoWhileTheUsbDrivesAreElsewhere) {
    uitest::ChildProcess host;
    ASSERT_TRUE(host.Start(HostProgram(), L"vault UW"));
    auto box = uitest::WaitForMessageBox(host.GetScope());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, corva::vault::kNotOnUsbText);
    ASSERT_TRUE(uitest::AnswerMessageBox(*box));
    EXPECT_EQ(host.WaitExit(), 0u);
    EXPECT_TRUE(uitest::FindWindows(uitest::WindowQuery{host.GetScope()}).empty());
}

// Missing, too short, and copied from the kit unsealed: no record, so no
// password can be right.
TEST_F(VaultUi, AMissingShortOrUnsealedVaultProgramFileIsExplainedAndNoPasswordIsAsked) {
    ASSERT_TRUE(CopyTo(HostProgram(), kU + kHostName));
    ASSERT_TRUE(CopyTo(ShippedFolder() + L"libeay32.dll", kU + L"libeay32.dll"));
    for (int round = 0; round < 3; ++round) {
        if (round == 1) {
            ASSERT_TRUE(WriteText(kU + L"CorvastineVault.exe", std::string(31, 'x')));
        } else if (round == 2) {
            ASSERT_TRUE(CopyTo(ShippedFolder() + L"CorvastineVault.exe", kU + L"CorvastineVault.exe"));
        }
        StartVault(kU);
        auto box = uitest::WaitForMessageBox(vault_->GetScope());
        ASSERT_TRUE(box) << round;
        EXPECT_EQ(box->text, corva::vault::kNoRecordText);
        EXPECT_EQ(box->caption, L"Corvastine Vault");
        ASSERT_TRUE(uitest::AnswerMessageBox(*box));
        EXPECT_EQ(vault_->WaitExit(), 0u);
    }
}

TEST_F(VaultUi, AWrongPasswordIsRefusedAndTheRightOneFromCorvastineVaultExeOpensTheVault) {
    MakeVault(kU, "sesame");
    StartVault(kU);
    HWND prompt = WaitForPrompt();
    ASSERT_NE(prompt, nullptr);
    EXPECT_EQ(uitest::ControlText(prompt, 1001), L"Please enter your password to continue.");
    EXPECT_FALSE(uitest::ControlExists(prompt, 10001));  // no forgot-password link in the vault
    Answer(prompt, L"Sesame");
    ASSERT_TRUE(uitest::WaitForWindowGone(prompt));
    HWND again = WaitForPrompt();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(uitest::ControlText(again, 1001), corva::vault::kWrongPasswordText);
    Answer(again, L"sesame");
    HWND window = uitest::WaitForWindow(uitest::WindowQuery::Dialog(vault_->GetScope(), L"Corvastine Vault"));
    ASSERT_NE(window, nullptr);
    list_ = ::GetDlgItem(window, IDC_VAULT_LIST);
    EXPECT_EQ(RowCount(list_), 0);
    EXPECT_TRUE(Exists(kU + L"corvadocuments"));
    EXPECT_FALSE(uitest::SaveScreenshot(window, L"vault_empty" + DpiSuffix()).empty());
    uitest::RequestClose(window);
    EXPECT_EQ(vault_->WaitExit(), static_cast<DWORD>(IDCANCEL));
}

TEST_F(VaultUi, CancelAtThePromptEndsTheProgram) {
    MakeVault(kU, "sesame");
    StartVault(kU);
    HWND prompt = WaitForPrompt();
    ASSERT_NE(prompt, nullptr);
    ASSERT_TRUE(uitest::ClickButton(prompt, IDCANCEL));
    EXPECT_EQ(vault_->WaitExit(), 0u);
}

// ------------------------------------------------------------ files in

TEST_F(VaultUi, ThreeFilesDraggedInByOleEndLockedInTheVaultWithTheSourcesGone) {
    MakeVault(kU, "sesame");
    HWND window = OpenVault(kU, "sesame");
    ASSERT_NE(window, nullptr);
    const auto paths = MakeSources({L"alpha.txt", L"beta.txt", L"gamma.txt"});

    TestWindow origin(RECT{20, 120, 260, 360}, L"");
    RECT list{};
    ::GetWindowRect(list_, &list);
    const DWORD effect = DragFilesWithMouse(paths, uitest::CentreOf(RECT{20, 120, 260, 360}), uitest::CentreOf(list));
    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_COPY));  // never a move: the source must not delete
    ASSERT_TRUE(WaitForRows(3));

    std::vector<std::wstring> names = ColumnTexts(list_, 0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"alpha.txt.corvastine", L"beta.txt.corvastine",
                                                L"gamma.txt.corvastine"}));
    for (const auto& path : paths) {
        EXPECT_FALSE(Exists(path)) << Narrow(path);
        EXPECT_FALSE(Exists(path + L".corvastine")) << Narrow(path);
        const std::wstring inVault = vaultFolder_ + path.substr(path.rfind(L'\\') + 1) + L".corvastine";
        EXPECT_EQ(corva::VerifyLockedFile("sesame", inVault, nullptr), corva::kOk) << Narrow(inVault);
    }
    for (const auto& size : ColumnTexts(list_, 1)) EXPECT_NE(size.find(L" Bytes"), std::wstring::npos);
    for (const auto& date : ColumnTexts(list_, 2)) EXPECT_EQ(date.size(), 10u);
    EXPECT_FALSE(uitest::SaveScreenshot(window, L"vault_entries" + DpiSuffix()).empty());
}

TEST_F(VaultUi, FilesDroppedAsWmDropfilesAreLockedTheSameWayAndADropOutsideTheClientAreaIsIgnored) {
    MakeVault(kU, "sesame");
    HWND window = OpenVault(kU, "sesame");
    ASSERT_NE(window, nullptr);
    const auto outside = MakeSources({L"outside.txt"});
    ASSERT_TRUE(PostDropFiles(window, outside, POINT{-20, -20}));
    const auto paths = MakeSources({L"one.txt", L"two.txt", L"three.txt"});
    DropIn(window, paths, 3);
    for (const auto& path : paths) EXPECT_FALSE(Exists(path));
    // The first drop was handled before the second: its file is untouched.
    EXPECT_TRUE(Exists(outside[0]));
    EXPECT_FALSE(Exists(outside[0] + L".corvastine"));
}

// The new file gets the first free name, as copies do; the entry already
// there is left as it was, and nothing stays behind on the host.
TEST_F(VaultUi, ADropWhoseNameIsTakenInTheVaultEntersUnderTheNextFreeName) {
    MakeVault(kU, "sesame");
    ASSERT_TRUE(WriteText(vaultFolder_ + L"dup.txt.corvastine", "the entry already in the vault"));
    HWND window = OpenVault(kU, "sesame");
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(RowCount(list_), 1);
    const auto paths = MakeSources({L"dup.txt", L"fresh.txt"});
    DropIn(window, paths, 3);
    EXPECT_TRUE(testing_support::ListNames(sources_.Path()).empty());
    EXPECT_EQ(ReadText(vaultFolder_ + L"dup.txt.corvastine"), "the entry already in the vault");
    EXPECT_EQ(corva::VerifyLockedFile("sesame", vaultFolder_ + L"dup (2).txt.corvastine", nullptr), corva::kOk);
    std::vector<std::wstring> names = ColumnTexts(list_, 0);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::wstring>{L"dup (2).txt.corvastine", L"dup.txt.corvastine (damaged)",
                                                L"fresh.txt.corvastine"}));
}

// A drive with too little room: the file that does not fit keeps its plain
// source and is named with its reason; nothing of it stays in the vault or
// on the host, and the file that fits is stored.
TEST_F(VaultUi, AFileTooLargeForTheRoomLeftStaysPlainAtItsSourceAndIsNamed) {
    MakeVault(kU, "sesame");
    HWND window = OpenVault(kU, "sesame", 2600 * 1024);
    ASSERT_NE(window, nullptr);
    const auto small = MakeSources({L"small.txt"});
    const std::wstring big = sources_ / L"big.bin";
    const testing_support::Bytes content = testing_support::PseudoRandom(5 * 1024 * 1024, 9);  // incompressible
    ASSERT_TRUE(testing_support::WriteFileBytes(big, content));

    // Paths are handled from the last: the small file is stored first (the
    // test's drive does not get back the room a failed write took).
    PostDrop(window, {big, small[0]});
    ExpectFailureMessage(window, L"stored in the vault", 1,
                         {{L"big.bin", corva::FailureReason::NoRoom}}, L"vault_not_stored");
    ASSERT_TRUE(WaitForRows(1));
    EXPECT_EQ(ColumnTexts(list_, 0), std::vector<std::wstring>{L"small.txt.corvastine"});
    EXPECT_TRUE(testing_support::ReadFileBytes(big) == content);
    EXPECT_EQ(testing_support::ListNames(sources_.Path()), std::vector<std::wstring>{L"big.bin"});
    EXPECT_EQ(testing_support::ListNames(vaultFolder_), std::vector<std::wstring>{L"small.txt.corvastine"});
}

// A dropped folder becomes a folder of the vault holding its files locked;
// dragged out, it arrives as the folder it was.
TEST_F(VaultUi, ADroppedFolderEntersAsAFolderOfLockedFilesAndLeavesAsTheFolderItWas) {
    MakeVault(kU, "sesame");
    HWND window = OpenVault(kU, "sesame");
    ASSERT_NE(window, nullptr);
    const std::wstring trip = sources_ / L"trip";
    ASSERT_TRUE(testing_support::MakeFolder(trip));
    ASSERT_TRUE(testing_support::MakeFolder(trip + L"\\day 1"));
    ASSERT_TRUE(WriteText(trip + L"\\notes.txt", "notes of the trip"));
    ASSERT_TRUE(WriteText(trip + L"\\day 1\\photo.jpg", "a photo"));
    DropIn(window, {trip}, 1);
    EXPECT_FALSE(Exists(trip));
    EXPECT_EQ(ColumnTexts(list_, 0), std::vector<std::wstring>{L"trip"});
    EXPECT_EQ(ColumnTexts(list_, 1), std::vector<std::wstring>{L"Folder"});
    EXPECT_EQ(corva::VerifyLockedFile("sesame", vaultFolder_ + L"trip\\notes.txt.corvastine", nullptr), corva::kOk);
    EXPECT_EQ(corva::VerifyLockedFile("sesame", vaultFolder_ + L"trip\\day 1\\photo.jpg.corvastine", nullptr),
              corva::kOk);
    EXPECT_TRUE(StrayFilesInVault().empty());
    EXPECT_FALSE(uitest::SaveScreenshot(window, L"vault_folder" + DpiSuffix()).empty());

    RECT row0{};
    ASSERT_TRUE(RowRect(list_, 0, &row0));
    testing_support::TempDir target;
    const std::wstring into = target.Path() + L"\\";
    TestWindow drop(RECT{20, 120, 260, 360}, into);
    ASSERT_TRUE(MouseDragPumping(uitest::CentreOf(row0), uitest::CentreOf(RECT{20, 120, 260, 360}),
                                 [&] { return drop.Drops() == 1 && RowCount(list_) == 0 && !ProgressShown(); }))
        << "drops " << drop.Drops() << " rows " << RowCount(list_);
    EXPECT_EQ(ReadText(into + L"trip\\notes.txt"), "notes of the trip");
    EXPECT_EQ(ReadText(into + L"trip\\day 1\\photo.jpg"), "a photo");
    EXPECT_TRUE(testing_support::ListNames(vaultFolder_).empty());
}

// Stopped in the middle, a drop leaves every file either plain where it was
// or whole in the vault, never both and never in part, and says so.
TEST_F(VaultUi, ADropCancelledMidwayLeavesEachFilePlainAtItsSourceOrWholeInTheVault) {
    MakeVault(kU, "sesame");
    HWND window = OpenVault(kU, "sesame");
    ASSERT_NE(window, nullptr);
    constexpr int kFiles = 8;
    constexpr size_t kSize = 8 * 1024 * 1024;  // incompressible: several chunks each
    std::vector<std::wstring> paths;
    for (int i = 0; i < kFiles; ++i) {
        paths.push_back(sources_ / (L"part" + std::to_wstring(i) + L".bin"));
        ASSERT_TRUE(testing_support::WriteFileBytes(paths.back(), testing_support::PseudoRandom(kSize, i)));
    }
    PostDrop(window, paths);
    HWND progress = uitest::WaitForWindow(ProgressQuery());
    ASSERT_NE(progress, nullptr);
    RECT cancel{};
    ASSERT_TRUE(::GetWindowRect(::GetDlgItem(progress, IDCANCEL), &cancel));
    uitest::ClickAt(uitest::CentreOf(cancel));
    ASSERT_TRUE(uitest::WaitForWindowGone(progress, kBatchTimeout));

    auto box = uitest::WaitForMessageBox(vault_->GetScope(), kBatchTimeout);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->owner, window);
    EXPECT_NE(box->text.find(L"Cancelled "), std::wstring::npos) << Narrow(box->text);
    EXPECT_NE(box->text.find(L"the rest were left as they were."), std::wstring::npos) << Narrow(box->text);
    EXPECT_FALSE(uitest::SaveScreenshot(box->window, L"vault_cancelled" + DpiSuffix()).empty());
    ASSERT_TRUE(uitest::AnswerMessageBox(*box));
    int stored = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::wstring name = L"part" + std::to_wstring(i) + L".bin";
        const bool plain = Exists(paths[static_cast<size_t>(i)]);
        const bool locked = Exists(vaultFolder_ + name + L".corvastine");
        EXPECT_NE(plain, locked) << Narrow(name);
        if (plain) {
            EXPECT_TRUE(testing_support::ReadFileBytes(paths[static_cast<size_t>(i)]) ==
                        testing_support::PseudoRandom(kSize, i))
                << Narrow(name);
        }
        if (locked) {
            EXPECT_EQ(corva::VerifyLockedFile("sesame", vaultFolder_ + name + L".corvastine", nullptr), corva::kOk);
            ++stored;
        }
    }
    EXPECT_LT(stored, kFiles);
    EXPECT_TRUE(StrayFilesInVault().empty());
    EXPECT_TRUE(WaitForRows(stored));
}

TEST_F(VaultUi, WithTheVaultDrivePulledOutADropSaysSoAndTouchesNothing) {
    MakeVault(kU, "sesame");
    HWND window = OpenVault(kU, "sesame");
    ASSERT_NE(window, nullptr);
    DropIn(window, MakeSources({L"before.txt"}), 1);
    const auto late = MakeSources({L"late.txt"});

    struct PlugBack {
        ~PlugBack() { g_drives->U().PlugIn(); }
    } plugBack;
    ASSERT_TRUE(g_drives->U().Unplug());
    ASSERT_TRUE(uitest::WaitUntil([] { return !Exists(kU); }));
    RECT list{};
    ::GetWindowRect(list_, &list);
    POINT at = uitest::CentreOf(list);
    ::ScreenToClient(window, &at);
    ASSERT_TRUE(PostDropFiles(window, late, at));
    auto box = uitest::WaitForMessageBox(vault_->GetScope());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, corva::vault::kDriveGoneText);
    EXPECT_EQ(box->caption, L"Corvastine Vault");
    EXPECT_EQ(box->owner, window);
    EXPECT_FALSE(uitest::SaveScreenshot(box->window, L"vault_drive_gone" + DpiSuffix()).empty());
    ASSERT_TRUE(uitest::AnswerMessageBox(*box));

    EXPECT_EQ(ReadText(late[0]), "content of late.txt");
    EXPECT_FALSE(Exists(late[0] + L".corvastine"));
    EXPECT_EQ(PlainFilesIn(sources_.Path()), std::vector<std::wstring>{L"late.txt"});
    EXPECT_EQ(RowCount(list_), 1);
}

// ------------------------------------------------------------ files out

TEST_F(VaultUi, TwoRowsDraggedOutArriveUnlockedAtTheTargetAndLeaveTheList) {
    MakeVault(kU, "sesame");
    HWND window = OpenVault(kU, "sesame");
    ASSERT_NE(window, nullptr);
    DropIn(window, MakeSources({L"red.txt", L"green.txt", L"blue.txt"}), 3);
    const std::vector<std::wstring> names = ColumnTexts(list_, 0);

    RECT row0{}, row1{};
    ASSERT_TRUE(RowRect(list_, 0, &row0) && RowRect(list_, 1, &row1));
    ASSERT_TRUE(SelectRows(list_, {0, 1}));

    testing_support::TempDir target;
    const std::wstring into = target.Path() + L"\\";
    TestWindow drop(RECT{20, 120, 260, 360}, into);
    ASSERT_TRUE(MouseDragPumping(uitest::CentreOf(row1), uitest::CentreOf(RECT{20, 120, 260, 360}),
                                 [&] { return drop.Drops() == 1 && RowCount(list_) == 1 && !ProgressShown(); }))
        << "drops " << drop.Drops() << " rows " << RowCount(list_);

    for (int i = 0; i < 2; ++i) {
        const std::wstring plain = names[i].substr(0, names[i].size() - 11);
        EXPECT_EQ(ReadText(into + plain), "content of " + Narrow(plain)) << Narrow(plain);
    }
    EXPECT_TRUE(PlainFilesIn(kU + L"corvadocuments").empty());
    EXPECT_EQ(ColumnTexts(list_, 0), std::vector<std::wstring>{names[2]});
}

TEST_F(VaultUi, ADragReleasedWhereNothingAcceptsFilesLeavesNoPlainFileInTheVault) {
    MakeVault(kU, "sesame");
    HWND window = OpenVault(kU, "sesame");
    ASSERT_NE(window, nullptr);
    DropIn(window, MakeSources({L"keep.txt", L"stay.txt"}), 2);
    const std::wstring first = ColumnTexts(list_, 0)[0];
    const std::string before = ReadText(vaultFolder_ + first);

    RECT row0{};
    ASSERT_TRUE(RowRect(list_, 0, &row0));
    // Pressing on the row selects it and starts the drag.
    TestWindow refusing(RECT{20, 120, 260, 360}, L"");
    // Unlocked on release, then locked again afresh: the locked file changes.
    ASSERT_TRUE(MouseDragPumping(uitest::CentreOf(row0), uitest::CentreOf(RECT{20, 120, 260, 360}), [&] {
        const std::string now = ReadText(vaultFolder_ + first);
        return !now.empty() && now != before && RowCount(list_) == 2 && !ProgressShown();
    })) << "changed " << (ReadText(vaultFolder_ + first) != before) << " rows " << RowCount(list_) << " plain "
        << PlainFilesIn(kU + L"corvadocuments").size() << " progress " << ProgressShown();
    EXPECT_TRUE(PlainFilesIn(kU + L"corvadocuments").empty());
    EXPECT_EQ(corva::VerifyLockedFile("sesame", vaultFolder_ + first, nullptr), corva::kOk);
    EXPECT_EQ(refusing.Drops(), 0);
}

TEST_F(VaultUi, ADragReleasedOverAWindowWithoutDropTargetAlsoLeavesNoPlainFile) {
    MakeVault(kU, "sesame");
    HWND window = OpenVault(kU, "sesame");
    ASSERT_NE(window, nullptr);
    DropIn(window, MakeSources({L"lone.txt"}), 1);
    const std::wstring entry = ColumnTexts(list_, 0)[0];
    const std::string before = ReadText(vaultFolder_ + entry);

    RECT row0{};
    ASSERT_TRUE(RowRect(list_, 0, &row0));
    TestWindow nothing(RECT{20, 120, 260, 360}, L"", TestWindow::Target::Absent);
    ASSERT_TRUE(MouseDragPumping(uitest::CentreOf(row0), uitest::CentreOf(RECT{20, 120, 260, 360}), [&] {
        const std::string now = ReadText(vaultFolder_ + entry);
        return !now.empty() && now != before && RowCount(list_) == 1 && !ProgressShown();
    })) << "rows " << RowCount(list_) << " plain " << PlainFilesIn(kU + L"corvadocuments").size();
    EXPECT_TRUE(PlainFilesIn(kU + L"corvadocuments").empty());
    EXPECT_EQ(corva::VerifyLockedFile("sesame", vaultFolder_ + entry, nullptr), corva::kOk);
}

// A drag-out that cannot unlock says why and hands nothing over: a stray
// plain file of the entry's name in the vault folder is never overwritten,
// and a drive without room for the plain file keeps the entry as it was.
TEST_F(VaultUi, ADragOutThatCannotUnlockSaysWhyAndLeavesTheVaultAsItWas) {
    MakeVault(kU, "sesame");
    const testing_support::Bytes content = testing_support::PseudoRandom(600 * 1024, 4);
    for (const wchar_t* name : {L"notes.txt", L"movie.bin"}) {
        const std::wstring source = sources_ / name;
        ASSERT_TRUE(testing_support::WriteFileBytes(source, content));
        ASSERT_EQ(corva::LockFileInto(source, vaultFolder_ + name + L".corvastine", "sesame", nullptr), corva::kOk);
    }
    ASSERT_TRUE(WriteText(vaultFolder_ + L"notes.txt", "a stray plain file"));
    const std::string lockedNotes = ReadText(vaultFolder_ + L"notes.txt.corvastine");
    const std::string lockedMovie = ReadText(vaultFolder_ + L"movie.bin.corvastine");
    HWND window = OpenVault(kU, "sesame", 300 * 1024);
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(RowCount(list_), 2);

    testing_support::TempDir target;
    TestWindow drop(RECT{20, 120, 260, 360}, target.Path() + L"\\");
    const std::vector<std::wstring> names = ColumnTexts(list_, 0);
    for (int row = 0; row < 2; ++row) {
        const bool notes = names[static_cast<size_t>(row)] == L"notes.txt.corvastine";
        RECT rect{};
        ASSERT_TRUE(RowRect(list_, row, &rect));
        ASSERT_TRUE(MouseDragPumping(uitest::CentreOf(rect), uitest::CentreOf(RECT{20, 120, 260, 360}),
                                     [&] { return uitest::FindMessageBox(vault_->GetScope()).has_value(); }))
            << row;
        ExpectFailureMessage(window, L"taken out of the vault", 1,
                             {{notes ? L"notes.txt" : L"movie.bin",
                               notes ? corva::FailureReason::NameTaken : corva::FailureReason::NoRoom}},
                             notes ? L"vault_not_taken_out" : L"");
    }
    EXPECT_EQ(drop.Drops(), 0);
    EXPECT_TRUE(testing_support::ListNames(target.Path()).empty());
    EXPECT_EQ(ReadText(vaultFolder_ + L"notes.txt"), "a stray plain file");
    EXPECT_EQ(ReadText(vaultFolder_ + L"notes.txt.corvastine"), lockedNotes);
    EXPECT_EQ(ReadText(vaultFolder_ + L"movie.bin.corvastine"), lockedMovie);
    EXPECT_EQ(StrayFilesInVault(), std::vector<std::wstring>{L"notes.txt"});
    EXPECT_EQ(RowCount(list_), 2);
}

// ------------------------------------------------------------ window

TEST_F(VaultUi, LearnMoreOpensTheVaultPageAndTheMinimiseButtonMinimises) {
    MakeVault(kU, "sesame");
    HWND window = OpenVault(kU, "sesame");
    ASSERT_NE(window, nullptr);
    RECT link{};
    ASSERT_TRUE(::GetWindowRect(::GetDlgItem(window, IDC_VAULT_LEARN_MORE), &link));
    uitest::ClickAt(uitest::CentreOf(link));
    ASSERT_TRUE(uitest::WaitUntil([&] { return Exists(kU + L"learn-more.txt"); }));
    EXPECT_TRUE(uitest::WaitUntil(
        [&] { return ReadText(kU + L"learn-more.txt") == Narrow(corva::vault::kLearnMoreAddress); }));

    RECT frame{};
    ASSERT_TRUE(::GetWindowRect(window, &frame));
    // Inside the minimise button's zone, which grows with the display.
    const int dpi = ScreenDpi();
    uitest::ClickAt(POINT{frame.right - ::MulDiv(66, dpi, 96), frame.top + ::MulDiv(8, dpi, 96)});
    EXPECT_TRUE(uitest::WaitUntil([&] { return ::IsIconic(window) != FALSE; }));
    EXPECT_TRUE(::IsWindow(window));
}

TEST_F(VaultUi, TheCloseButtonEndsTheVault) {
    MakeVault(kU, "sesame");
    HWND window = OpenVault(kU, "sesame");
    ASSERT_NE(window, nullptr);
    RECT frame{};
    ASSERT_TRUE(::GetWindowRect(window, &frame));
    const int dpi = ScreenDpi();
    uitest::ClickAt(POINT{frame.right - ::MulDiv(30, dpi, 96), frame.top + ::MulDiv(8, dpi, 96)});  // the close button's zone
    EXPECT_EQ(vault_->WaitExit(), static_cast<DWORD>(IDCANCEL));
}

// ------------------------------------------------------------ installer

namespace {

class StowboxUi : public VaultUi {
protected:
    // Runs the installer's dialog on a thread of the test program, copying
    // from sourceFolder, with U: and W: as the USB drives.
    void Open(const std::wstring& sourceFolder) {
        source_ = sourceFolder;
        thread_ = std::make_unique<uitest::UiThread>([this] {
            corva::vault::StowboxDialog dialog(drives_, source_, corva::vault::SystemInstallFiles());
            return dialog.ShowModal(nullptr);
        });
        dialog_ = uitest::WaitForWindow(uitest::WindowQuery::Dialog(thread_->GetScope(), L"USB installation"));
        ASSERT_NE(dialog_, nullptr);
    }
    void Install(const std::wstring& drive, const std::wstring& password) {
        ASSERT_TRUE(uitest::SelectComboItem(dialog_, IDC_STOWBOX_DRIVES, drive));
        ASSERT_TRUE(uitest::TypeText(dialog_, IDC_STOWBOX_PASSWORD, password));
        ASSERT_TRUE(uitest::TypeText(dialog_, IDC_STOWBOX_RETYPE, password));
        ASSERT_TRUE(uitest::ClickButton(dialog_, IDOK));
    }
    void ExpectSuccessAndClose() {
        auto box = uitest::WaitForMessageBox(thread_->GetScope());
        ASSERT_TRUE(box);
        EXPECT_EQ(box->text, corva::vault::kSuccessText);
        EXPECT_EQ(box->caption, L"Success");
        EXPECT_EQ(box->owner, dialog_);
        ASSERT_TRUE(uitest::AnswerMessageBox(*box));
        ASSERT_TRUE(thread_->WaitDone());
        EXPECT_EQ(thread_->Result(), IDOK);
    }
    void TearDown() override {
        thread_.reset();
        VaultUi::TearDown();
    }

    ScriptedUsbDrives drives_{L"UW"};
    std::wstring source_;
    std::unique_ptr<uitest::UiThread> thread_;
    HWND dialog_ = nullptr;
};

const std::wstring kIntro =
    L"Install a Corvastine Vault on any USB flash drive or memory card to safely store and transport files.\n\n"
    L"To continue, select your removable drive and enter your password. ";

}  // namespace

TEST_F(StowboxUi, TheDialogListsTheUsbDrivesAndRefusesEmptyOrDifferentPasswords) {
    Open(ShippedFolder());
    EXPECT_EQ(uitest::ComboItems(dialog_, IDC_STOWBOX_DRIVES),
              (std::vector<std::wstring>{L"U:  (Removable Disk)", L"W:  (Removable Disk)"}));
    EXPECT_EQ(uitest::ComboSelection(dialog_, IDC_STOWBOX_DRIVES), L"U:  (Removable Disk)");
    EXPECT_EQ(uitest::ControlText(dialog_, IDC_STOWBOX_INTRO), kIntro);
    EXPECT_EQ(uitest::FocusedControlId(dialog_), IDC_STOWBOX_DRIVES);
    // Tab order: drives, password, re-typed password, OK, Cancel, and round.
    const int order[] = {IDC_STOWBOX_DRIVES, IDC_STOWBOX_PASSWORD, IDC_STOWBOX_RETYPE, IDOK, IDCANCEL,
                         IDC_STOWBOX_DRIVES};
    for (size_t i = 0; i + 1 < sizeof order / sizeof order[0]; ++i) {
        HWND next = ::GetNextDlgTabItem(dialog_, ::GetDlgItem(dialog_, order[i]), FALSE);
        EXPECT_EQ(::GetDlgCtrlID(next), order[i + 1]) << i;
    }
    EXPECT_TRUE(uitest::LayoutProblems(dialog_).empty());
    EXPECT_FALSE(uitest::SaveScreenshot(dialog_, L"stowbox" + DpiSuffix()).empty());

    struct Step {
        const wchar_t* password;
        const wchar_t* retyped;
        const wchar_t* text;
        const wchar_t* caption;
        int focus;
    } steps[] = {
        {L"", L"", L"Please enter a password.", L"No password", IDC_STOWBOX_PASSWORD},
        {L"abc", L"", L"Please enter a password.", L"No password", IDC_STOWBOX_PASSWORD},
        {L"", L"abc", L"Please enter a password.", L"No password", IDC_STOWBOX_PASSWORD},
        {L"abc", L"abc ",
         L"You entered two different passwords. Please make sure that you enter the same password twice in exactly "
         L"the same way.",
         L"Passwords different", IDC_STOWBOX_RETYPE},
    };
    for (const Step& step : steps) {
        ASSERT_TRUE(uitest::SetControlText(dialog_, IDC_STOWBOX_PASSWORD, step.password));
        ASSERT_TRUE(uitest::SetControlText(dialog_, IDC_STOWBOX_RETYPE, step.retyped));
        ASSERT_TRUE(uitest::ClickButton(dialog_, IDOK));
        auto box = uitest::WaitForMessageBox(thread_->GetScope());
        ASSERT_TRUE(box) << Narrow(step.password);
        EXPECT_EQ(box->text, step.text);
        EXPECT_EQ(box->caption, step.caption);
        EXPECT_EQ(box->owner, dialog_);
        ASSERT_TRUE(uitest::AnswerMessageBox(*box));
        EXPECT_TRUE(uitest::WaitUntil([&] { return uitest::FocusedControlId(dialog_) == step.focus; }))
            << Narrow(step.password) << " focus " << uitest::FocusedControlId(dialog_);
    }
    EXPECT_FALSE(thread_->Done());
    ASSERT_TRUE(uitest::ClickButton(dialog_, IDCANCEL));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(thread_->Result(), IDCANCEL);
    EXPECT_TRUE(testing_support::ListNames(L"U:").empty());
    EXPECT_TRUE(testing_support::ListNames(L"W:").empty());
}

TEST_F(StowboxUi, TheSecondDriveChosenGetsAVaultThatTakesThatPasswordAndNoOther) {
    Open(ShippedFolder());
    Install(L"W:  (Removable Disk)", L"sesame");
    ExpectSuccessAndClose();

    const std::wstring program = kW + L"CorvastineVault.exe";
    EXPECT_EQ(SizeOf(program), SizeOf(ShippedFolder() + L"CorvastineVault.exe") + static_cast<int64_t>(kRecordSize));
    EXPECT_EQ(TailOf(program), RecordBytesOf("sesame"));
    EXPECT_NE(::GetFileAttributesW(program.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(::GetFileAttributesW((kW + L"libeay32.dll").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(::GetFileAttributesW((kW + L"corvadocuments").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_TRUE(testing_support::ListNames(L"U:").empty());

    ASSERT_TRUE(CopyTo(HostProgram(), kW + kHostName));
    StartVault(kW);
    HWND prompt = WaitForPrompt();
    ASSERT_NE(prompt, nullptr);
    Answer(prompt, L"other");
    ASSERT_TRUE(uitest::WaitForWindowGone(prompt));
    HWND again = WaitForPrompt();
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(uitest::ControlText(again, 1001), corva::vault::kWrongPasswordText);
    Answer(again, L"sesame");
    HWND window = uitest::WaitForWindow(uitest::WindowQuery::Dialog(vault_->GetScope(), L"Corvastine Vault"));
    ASSERT_NE(window, nullptr);
    uitest::RequestClose(window);
    EXPECT_EQ(vault_->WaitExit(), static_cast<DWORD>(IDCANCEL));
}

// A new password over an existing vault is sealed only when the user agrees
// to it, told that the files already there stay bound to the old one; the
// vault then marks them.
TEST_F(StowboxUi, AReinstallWithANewPasswordAsksFirstKeepsTheLockedFilesAndEndsWithExactlyOneNewRecord) {
    Open(ShippedFolder());
    Install(L"U:  (Removable Disk)", L"first");
    ExpectSuccessAndClose();
    const auto sources = MakeSources({L"kept.txt"});
    ASSERT_EQ(corva::LockFileInto(sources[0], vaultFolder_ + L"kept.txt.corvastine", "first", nullptr), corva::kOk);
    const std::string kept = ReadText(vaultFolder_ + L"kept.txt.corvastine");

    const std::wstring program = kU + L"CorvastineVault.exe";
    Open(ShippedFolder());
    Install(L"U:  (Removable Disk)", L"second");
    for (int answer : {IDNO, IDYES}) {
        if (answer == IDYES) {
            ASSERT_TRUE(uitest::ClickButton(dialog_, IDOK));
        }
        auto box = uitest::WaitForMessageBox(thread_->GetScope());
        ASSERT_TRUE(box) << answer;
        EXPECT_EQ(box->text, corva::vault::ReplaceVaultQuestion(L"U:"));
        EXPECT_EQ(box->caption, L"Corvastine");
        EXPECT_EQ(box->owner, dialog_);
        if (answer == IDNO) {
            EXPECT_FALSE(uitest::SaveScreenshot(box->window, L"stowbox_replace" + DpiSuffix()).empty());
        }
        ASSERT_TRUE(uitest::AnswerMessageBox(*box, answer));
        if (answer == IDNO) {
            // Nothing written; the dialog stays for another drive or Cancel.
            EXPECT_FALSE(thread_->Done());
            EXPECT_EQ(TailOf(program), RecordBytesOf("first"));
        }
    }
    ExpectSuccessAndClose();
    EXPECT_EQ(SizeOf(program), SizeOf(ShippedFolder() + L"CorvastineVault.exe") + static_cast<int64_t>(kRecordSize));
    EXPECT_EQ(TailOf(program), RecordBytesOf("second"));
    EXPECT_EQ(ReadText(vaultFolder_ + L"kept.txt.corvastine"), kept);

    ASSERT_TRUE(CopyTo(HostProgram(), kU + kHostName));
    HWND window = OpenVault(kU, "second");
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(ColumnTexts(list_, 0), std::vector<std::wstring>{L"kept.txt.corvastine (other password)"});
    EXPECT_FALSE(uitest::SaveScreenshot(window, L"vault_other_password" + DpiSuffix()).empty());
}

TEST_F(StowboxUi, AFailedCopyIsReportedByNameAndNotCalledSuccess) {
    testing_support::TempDir partial;
    ASSERT_TRUE(CopyTo(ShippedFolder() + L"libeay32.dll", partial / L"libeay32.dll"));
    Open(partial.Path() + L"\\");
    Install(L"U:  (Removable Disk)", L"sesame");
    auto box = uitest::WaitForMessageBox(thread_->GetScope());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, L"Corvastine");
    EXPECT_NE(box->text.find(L"\"CorvastineVault.exe\""), std::wstring::npos) << Narrow(box->text);
    EXPECT_EQ(box->text.find(L"successful"), std::wstring::npos);
    ASSERT_TRUE(uitest::AnswerMessageBox(*box));
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_FALSE(Exists(kU + L"CorvastineVault.exe"));
    EXPECT_FALSE(Exists(kU + L"CorvastineVault.exe.partial"));
}

TEST(StowboxShipped, WithoutAUsbDiskTheInstallerAsksForOneAndEnds) {
    uitest::ChildProcess shipped;
    ASSERT_TRUE(shipped.Start(ShippedFolder() + L"Stowbox.exe", L""));
    auto box = uitest::WaitForMessageBox(shipped.GetScope());
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text, L"Please insert a USB disk.");
    EXPECT_EQ(box->caption, L"Corvastine");
    EXPECT_EQ(box->owner, nullptr);
    ASSERT_TRUE(uitest::AnswerMessageBox(*box));
    EXPECT_EQ(shipped.WaitExit(), 0u);
}

TEST(StowboxShipped, TheInstallerAsksForAdministratorRightsAndTheVaultDoesNot) {
    auto manifestOf = [](const std::wstring& program) {
        std::string text;
        HMODULE module = ::LoadLibraryExW(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        if (!module) return text;
        HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
        HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
        const char* data = loaded ? static_cast<const char*>(::LockResource(loaded)) : nullptr;
        if (data) text.assign(data, ::SizeofResource(module, found));
        ::FreeLibrary(module);
        return text;
    };
    const std::string installer = manifestOf(ShippedFolder() + L"Stowbox.exe");
    EXPECT_NE(installer.find("level=\"requireAdministrator\" uiAccess=\"false\""), std::string::npos) << installer;
    const std::string vault = manifestOf(ShippedFolder() + L"CorvastineVault.exe");
    EXPECT_NE(vault.find("level=\"asInvoker\""), std::string::npos) << vault;
}
