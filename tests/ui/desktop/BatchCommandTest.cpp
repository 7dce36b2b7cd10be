// Lock, Unlock and Shred over the rows of the file list, from the keyboard:
// paths handled last row first in the progress dialog, its status line,
// cancel during a path, the shred and large-lock questions (modal to the
// window, naming what they act on), the rows selected again by name
// afterwards, and a password set meanwhile replacing the start-up one.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <fstream>

#include "BrowserTestSupport.h"
#include "DialogIds.h"
#include "StartupPassword.h"
#include "WipeGate.h"
#include "engine/BatchOutcome.h"
#include "engine/LockedFile.h"
#include "resource.h"
#include "settings/PasswordStore.h"
#include "settings/SettingKeys.h"
#include "settings/Settings.h"

namespace desktoptest {
namespace {

using namespace uitest;

std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The last part of a path as the progress dialog shows it (a long path has
// folders in its middle left out, the name stays whole).
std::wstring LeafOf(const std::wstring& shown) {
    const size_t cut = shown.find_last_of(L'\\');
    return cut == std::wstring::npos ? shown : shown.substr(cut + 1);
}

// Lets a lock batch lock kPassed files, then holds its workers inside each
// further file, once its locked copy is written, until released (the
// engine's hook is one for the process).
struct LockHold {
    static constexpr int kPassed = 3;
    static std::atomic<int> held;
    static HANDLE release;
    static void Hook(plat::File&) {
        if (++held > kPassed) ::WaitForSingleObject(release, 60000);
    }
};
std::atomic<int> LockHold::held{0};
HANDLE LockHold::release = nullptr;

class BatchCommandTest : public BrowserFixture {
protected:
    void SetUp() override {
        BrowserFixture::SetUp();
        firstDone_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        goOn_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        configure_ = [this](corva::desktop::MainFrame& frame) {
            frame.SetBatchHookForTesting(&BatchCommandTest::AfterPath, this);
            frame.SetWipeLibraryForTesting(gate_.LibraryPath());
        };
    }
    void TearDown() override {
        ::SetEvent(goOn_);
        gate_.Release(1000);  // nothing stays held, whatever failed
        BrowserFixture::TearDown();
        ::CloseHandle(firstDone_);
        ::CloseHandle(goOn_);
    }
    // Holds the batch after its first path while holdFirst_ is set.
    static void AfterPath(BatchProgress*, int handled, void* context) {
        auto* self = static_cast<BatchCommandTest*>(context);
        if (handled != 1 || !self->holdFirst_.exchange(false)) return;
        ::SetEvent(self->firstDone_);
        ::WaitForSingleObject(self->goOn_, 60000);
    }
    HWND WaitForProgress() {
        WindowQuery query = WindowQuery::Dialog(Scope::Process(::GetCurrentProcessId()), L"Corvastine");
        query.filter = [](HWND w) { return ::GetDlgItem(w, IDC_PROGRESS_STATUS) != nullptr; };
        return WaitForWindow(query);
    }
    // Ctrl and a letter, pressed until the window takes the command.
    void PressCommandKey(WORD key) {
        ASSERT_TRUE(BringToForeground(hwnd_));
        ClearCommands();
        ASSERT_TRUE(PressKeysUntil({VK_CONTROL, key}, [&] { return !Commands().empty(); }));
    }
    // Clicks a button of the big toolbar.
    void ClickToolbarButton(int command) {
        HWND toolbar = ::GetDlgItem(frame_->Rebar(), IDC_BIG_TOOLBAR);
        ASSERT_NE(toolbar, nullptr);
        RECT r{};
        ASSERT_TRUE(::SendMessageW(toolbar, TB_GETRECT, command, reinterpret_cast<LPARAM>(&r)));
        POINT p{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
        ::ClientToScreen(toolbar, &p);
        ASSERT_TRUE(BringToForeground(hwnd_));
        ASSERT_TRUE(ClickAt(p));
    }
    void ClickButtonOf(HWND dialog, int id) {
        ASSERT_NE(::GetDlgItem(dialog, id), nullptr);
        ASSERT_TRUE(ClickControl(dialog, id));
    }
    // Answers a message box with a click and waits until it is gone.
    void Answer(const MessageBoxInfo& box, int id) {
        ClickButtonOf(box.window, id);
        ASSERT_TRUE(WaitForWindowGone(box.window));
    }
    // Types into a field of a dialog as keys, the field focused first.
    static void TypeInto(HWND dialog, int id, const std::wstring& text) {
        ASSERT_TRUE(FocusControl(dialog, id));
        ASSERT_TRUE(uitest::TypeKeys(dialog, text));
        ASSERT_TRUE(WaitUntil([&] { return ControlText(dialog, id) == text; }));
    }
    bool ListHasFocus() { return WaitUntil([&] { return FocusedWindow(hwnd_) == list_; }); }

    WipeGate gate_;
    HANDLE firstDone_ = nullptr;
    HANDLE goOn_ = nullptr;
    std::atomic<bool> holdFirst_{false};
};

TEST_F(BatchCommandTest, ThreeRowsAreLockedLastFirstThenUnlockedWithTheStartupPassword) {
    WriteSampleFile(scratch_ / L"a.txt", 3000);
    WriteSampleFile(scratch_ / L"b.txt", 2000);
    WriteSampleFile(scratch_ / L"c.txt", 1000);
    const std::string a = Content(scratch_ / L"a.txt");
    Open();
    ShowScratch(3);
    SelectRows(0, 2);

    holdFirst_ = true;
    PressCommandKey('L');
    HWND progress = WaitForProgress();
    ASSERT_NE(progress, nullptr) << "no progress dialog";
    ASSERT_EQ(::WaitForSingleObject(firstDone_, 30000), WAIT_OBJECT_0) << "the batch did not start";
    // The last selected row first.
    EXPECT_TRUE(Exists(scratch_ / L"c.txt.corvastine"));
    EXPECT_FALSE(Exists(scratch_ / L"c.txt"));
    EXPECT_TRUE(Exists(scratch_ / L"a.txt"));
    EXPECT_TRUE(Exists(scratch_ / L"b.txt"));
    EXPECT_TRUE(WaitUntil([&] { return ControlText(progress, IDC_PROGRESS_STATUS) == L"Tocal files:3 processed files:1"; }))
        << ControlText(progress, IDC_PROGRESS_STATUS);
    ::SetEvent(goOn_);
    ASSERT_TRUE(WaitForWindowGone(progress));
    ASSERT_TRUE(WaitForRows({L"a.txt.corvastine", L"b.txt.corvastine", L"c.txt.corvastine"}));
    // The same items stay selected, under their locked names, with the
    // keyboard back in the list.
    EXPECT_TRUE(WaitUntil([&] { return SelectedRows() == std::vector<int>{0, 1, 2}; }));
    EXPECT_EQ(FocusedRow(), 0);
    EXPECT_TRUE(ListHasFocus());
    SaveScreenshot(hwnd_, L"desktop-locked-and-selected-" + std::to_wstring(ScreenDpi()) + L"dpi");

    SelectRows(1, 2);
    PressCommandKey('U');
    ASSERT_TRUE(WaitForRows({L"a.txt.corvastine", L"b.txt", L"c.txt"}));
    EXPECT_EQ(SelectedNames(), (std::vector<std::wstring>{L"b.txt", L"c.txt"}));
    EXPECT_EQ(FocusedRow(), 1);
    SelectRows(0, 0);
    ClickToolbarButton(ID_EDIT_UNLOCK);
    ASSERT_TRUE(WaitForRows({L"a.txt", L"b.txt", L"c.txt"})) << "the toolbar's Unlock did not run";
    EXPECT_EQ(Content(scratch_ / L"a.txt"), a);
    EXPECT_EQ(SelectedRows(), std::vector<int>{0});
}

TEST_F(BatchCommandTest, TheShredQuestionNamesItsTargetAndTheWindowWaitsForTheAnswer) {
    ASSERT_TRUE(gate_.Loaded()) << "ui_gatedwipe.dll missing beside the test program";
    WriteSampleFile(scratch_ / L"a.txt", 300);
    WriteSampleFile(scratch_ / L"b.txt", 200);
    WriteSampleFile(scratch_ / L"c.txt", 100);
    const std::string b = Content(scratch_ / L"b.txt");
    Open();
    ShowScratch(3);

    SelectRows(0, 0);
    PressCommandKey('R');
    auto box = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()));
    ASSERT_TRUE(box.has_value()) << "no shred question";
    EXPECT_EQ(box->text, L"Do you really want to shred the file \"a.txt\"?");
    EXPECT_EQ(box->caption, L"Warning");
    EXPECT_EQ(box->owner, hwnd_);
    EXPECT_EQ(box->icon, MessageIcon::Information);
    // A click on b.txt while the question is up selects nothing: the window
    // waits for the answer, and Yes shreds what was asked about.
    const POINT other = RowLabelPoint(1);
    RECT boxRect{};
    ::GetWindowRect(box->window, &boxRect);
    ASSERT_FALSE(::PtInRect(&boxRect, other)) << "the question covers the row";
    ASSERT_TRUE(ClickAt(other));
    Answer(*box, IDYES);
    ASSERT_TRUE(WaitUntil([&] { return gate_.Calls() == 1; }));
    EXPECT_NE(gate_.PathOfCall(0).find("a.txt"), std::string::npos) << gate_.PathOfCall(0);
    gate_.Release(1);
    ASSERT_TRUE(WaitForRows({L"b.txt", L"c.txt"}));
    EXPECT_EQ(Content(scratch_ / L"b.txt"), b);
    EXPECT_EQ(gate_.Calls(), 1);
    EXPECT_TRUE(ListHasFocus());

    // Delete asks the same question, about these 2 items; No keeps them.
    SelectRows(0, 1);
    ASSERT_TRUE(BringToForeground(hwnd_));
    std::optional<MessageBoxInfo> question;
    ASSERT_TRUE(PressKeysUntil({VK_DELETE}, [&] {
        return (question = FindMessageBox(Scope::Process(::GetCurrentProcessId()))).has_value();
    }));
    EXPECT_EQ(question->text, L"Do you really want to shred these 2 items?\n\nb.txt\nc.txt");
    EXPECT_EQ(question->owner, hwnd_);
    SaveScreenshot(question->window, L"desktop-shred-question-" + std::to_wstring(ScreenDpi()) + L"dpi");
    Answer(*question, IDNO);
    EXPECT_TRUE(ListHasFocus());
    EXPECT_EQ(RowNames(), (std::vector<std::wstring>{L"b.txt", L"c.txt"}));
    EXPECT_EQ(gate_.Calls(), 1);
}

TEST_F(BatchCommandTest, ACancelDuringTheSecondShredPathLeavesTheFirstRow) {
    ASSERT_TRUE(gate_.Loaded()) << "ui_gatedwipe.dll missing beside the test program";
    WriteSampleFile(scratch_ / L"a.txt", 300);
    WriteSampleFile(scratch_ / L"b.txt", 200);
    WriteSampleFile(scratch_ / L"c.txt", 100);
    const std::string a = Content(scratch_ / L"a.txt");
    Open();
    ShowScratch(3);

    SelectRows(0, 2);
    PressCommandKey('R');
    auto box = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()));
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(box->text, L"Do you really want to shred these 3 items?\n\na.txt\nb.txt\nc.txt");
    EXPECT_EQ(gate_.Calls(), 0) << "a batch started before the answer";
    ClickButtonOf(box->window, IDYES);
    HWND progress = WaitForProgress();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return gate_.Calls() == 1; }));
    gate_.Release(1);
    ASSERT_TRUE(WaitUntil([&] { return gate_.Calls() == 2; })) << "the second path was not started";
    EXPECT_TRUE(WaitUntil([&] { return LeafOf(ControlText(progress, IDC_PROGRESS_FILE)) == L"b.txt"; }))
        << "the file under work is not shown: " << ControlText(progress, IDC_PROGRESS_FILE);
    // Cancel while the second path is in the wiping library: the dialog
    // says it is stopping and waits, answering, for that path to finish.
    ClickButtonOf(progress, IDCANCEL);
    ASSERT_TRUE(WaitUntil([&] { return ControlText(progress, IDC_PROGRESS_STATUS) == L"Stopping..."; }))
        << "Cancel was not taken";
    gate_.Release(1);
    ASSERT_TRUE(WaitForWindowGone(progress));
    // The summary says how far the batch got.
    auto summary = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()));
    ASSERT_TRUE(summary.has_value()) << "no summary after the cancel";
    EXPECT_EQ(summary->text, L"Cancelled after 2 files were shredded; the rest were left as they were.");
    EXPECT_EQ(summary->caption, L"Corvastine");
    ClickButtonOf(summary->window, IDOK);
    ASSERT_TRUE(WaitForWindowGone(summary->window));
    ASSERT_TRUE(WaitForRows({L"a.txt"}));
    EXPECT_EQ(gate_.Calls(), 2);
    EXPECT_EQ(Content(scratch_ / L"a.txt"), a);
    EXPECT_FALSE(Exists(scratch_ / L"b.txt"));
    EXPECT_FALSE(Exists(scratch_ / L"c.txt"));
    EXPECT_TRUE(SelectedRows().empty()) << "a shred selects nothing";
}

TEST_F(BatchCommandTest, LockingAsksFromAHundredFilesOn) {
    auto fill = [&](const fs::path& folder, int count) {
        fs::create_directories(folder);
        for (int i = 0; i < count; ++i) WriteSampleFile(folder / (L"f" + std::to_wstring(i) + L".txt"), 16);
    };
    fill(scratch_ / L"a ninety-nine", 99);
    fill(scratch_ / L"b hundred", 100);
    fill(scratch_ / L"c hundred fifty", 60);
    fill(scratch_ / L"c hundred fifty" / L"deeper", 90);
    Open();
    ShowScratch(3);
    const auto lockedIn = [&](const fs::path& folder) {
        int n = 0;
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            if (entry.path().extension() == L".corvastine") ++n;
        }
        return n;
    };

    for (int row : {1, 2}) {
        SelectRows(row, row);
        PressCommandKey('L');
        auto box = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()));
        ASSERT_TRUE(box.has_value()) << "no question for row " << row;
        const std::wstring name = row == 1 ? L"b hundred" : L"c hundred fifty";
        EXPECT_EQ(box->text,
                  L"More than 100 files will be locked in \"" + name + L"\", do you really want to continue?");
        EXPECT_EQ(box->caption, L"Corvastine");
        EXPECT_EQ(box->icon, MessageIcon::Question);
        EXPECT_EQ(box->owner, hwnd_);
        ClickButtonOf(box->window, IDNO);
        ASSERT_TRUE(WaitForWindowGone(box->window));
    }
    // 99 files: no question, all of them locked.
    SelectRows(0, 0);
    PressCommandKey('L');
    ASSERT_TRUE(WaitUntil([&] {
        return lockedIn(scratch_ / L"a ninety-nine") == 99 ||
               FindMessageBox(Scope::Process(::GetCurrentProcessId())).has_value();
    }));
    EXPECT_FALSE(FindMessageBox(Scope::Process(::GetCurrentProcessId())).has_value());
    EXPECT_EQ(lockedIn(scratch_ / L"a ninety-nine"), 99);
    EXPECT_EQ(lockedIn(scratch_ / L"b hundred"), 0);
    EXPECT_EQ(lockedIn(scratch_ / L"c hundred fifty"), 0);
}

TEST_F(BatchCommandTest, ABatchThatLeavesAFileSaysWhichAndWhy) {
    WriteSampleFile(scratch_ / L"free.txt", 500);
    WriteSampleFile(scratch_ / L"held.txt", 500);
    const std::string held = Content(scratch_ / L"held.txt");
    Open();
    ShowScratch(2);
    // held.txt is open in another program, which lets nobody else in.
    HANDLE other = ::CreateFileW((scratch_ / L"held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    SelectRows(0, 1);
    PressCommandKey('L');
    auto summary = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()));
    ::CloseHandle(other);
    ASSERT_TRUE(summary.has_value()) << "the batch ended as if all went well";
    const std::wstring folderLine =
        L"In " + corva::ShortenPathForDisplay(scratch_.wstring(), corva::kSummaryPathChars);
    EXPECT_EQ(WithLineRestored(summary->text, L"In " + scratch_.wstring(), folderLine),
              L"1 file could not be locked:\n\n" + folderLine + L"\nheld.txt: open in another program");
    EXPECT_EQ(summary->caption, L"Corvastine");
    EXPECT_EQ(summary->owner, hwnd_);
    SaveScreenshot(summary->window, L"desktop-batch-summary-" + std::to_wstring(ScreenDpi()) + L"dpi");
    ASSERT_TRUE(BringToForeground(summary->window));
    ASSERT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return !::IsWindowVisible(summary->window); }));
    ASSERT_TRUE(WaitForRows({L"free.txt.corvastine", L"held.txt"}));
    EXPECT_EQ(Content(scratch_ / L"held.txt"), held);
    EXPECT_EQ(SelectedNames(), (std::vector<std::wstring>{L"free.txt.corvastine", L"held.txt"}));
    EXPECT_TRUE(ListHasFocus());
}

// Cancel while a file deep in a selected folder is being locked: the
// dialog answers at once, the batch stops between files, and every file of
// the folder is left either plain or locked, whole.
TEST_F(BatchCommandTest, ACancelInsideAFolderLeavesEachFileWholeOneWayOrTheOther) {
    const fs::path folder = scratch_ / L"many";
    fs::create_directories(folder / L"deeper");
    std::vector<fs::path> files;
    for (int i = 0; i < 24; ++i) {
        files.push_back((i % 2 ? folder / L"deeper" : folder) / (L"f" + std::to_wstring(i) + L".txt"));
        WriteSampleFile(files.back(), 3000 + i);
    }
    std::vector<std::string> contents;
    for (const fs::path& f : files) contents.push_back(Content(f));
    Open();
    ShowScratch(1);
    LockHold::held = 0;
    LockHold::release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    corva::SetBeforeVerifyHookForTesting(&LockHold::Hook);
    struct Unhook {
        ~Unhook() {
            ::SetEvent(LockHold::release);
            corva::SetBeforeVerifyHookForTesting(nullptr);
        }
    } unhook;

    SelectRows(0, 0);
    PressCommandKey('L');
    HWND progress = WaitForProgress();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return LockHold::held.load() > LockHold::kPassed; })) << "the batch did not get far";
    // The file line names a file of the folder.
    EXPECT_TRUE(WaitUntil([&] {
        const std::wstring shown = LeafOf(ControlText(progress, IDC_PROGRESS_FILE));
        return std::any_of(files.begin(), files.end(), [&](const fs::path& f) { return f.filename() == shown; });
    })) << "the file under work is not shown: " << ControlText(progress, IDC_PROGRESS_FILE);
    // Escape, as the user presses it; the dialog says at once that it stops.
    ASSERT_TRUE(BringToForeground(progress));
    ASSERT_TRUE(PressKeysUntil({VK_ESCAPE}, [&] { return ControlText(progress, IDC_PROGRESS_STATUS) == L"Stopping..."; }))
        << "the dialog did not answer while a file was in work";
    ::SetEvent(LockHold::release);
    ASSERT_TRUE(WaitForWindowGone(progress));
    auto summary = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()));
    ASSERT_TRUE(summary.has_value()) << "no word about the cancel";
    Answer(*summary, IDOK);

    int locked = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        const fs::path lockedName = files[i].wstring() + L".corvastine";
        const bool plain = Exists(files[i]), isLocked = Exists(lockedName);
        EXPECT_NE(plain, isLocked) << files[i] << " is both or neither";
        if (plain) {
            EXPECT_EQ(Content(files[i]), contents[i]) << files[i];
        }
        if (isLocked) {
            ++locked;
            ASSERT_TRUE(UnlockOneFile(lockedName.wstring(), "first password", nullptr)) << lockedName;
            EXPECT_EQ(Content(files[i]), contents[i]) << files[i];
        }
    }
    EXPECT_GE(locked, LockHold::kPassed) << "files done before the cancel were undone";
    EXPECT_LT(locked, static_cast<int>(files.size())) << "the batch went on after the cancel";
    EXPECT_EQ(summary->text, L"Cancelled after " + std::to_wstring(locked) +
                                 (locked == 1 ? L" file was" : L" files were") +
                                 L" locked; the rest were left as they were.");
    size_t entries = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) entries += entry.is_regular_file();
    EXPECT_EQ(entries, files.size()) << "a temporary file was left behind";
}

// A password set in the window (Tools -> Change Password, or a reset
// through Forgot Password) replaces the one the commands use: files are
// locked under it, and files locked under it elsewhere unlock here.
class PasswordChangeTest : public BatchCommandTest {
protected:
    void SetUp() override {
        BatchCommandTest::SetUp();
        settings_ = scratch_.parent_path() / (scratchName_ + L"-settings");
        fs::create_directories(settings_);
        corva::SetSettingsFolderForTesting(settings_.wstring() + L"\\");
        ASSERT_TRUE(EnsureSettingsFile());
        ASSERT_TRUE(SetPassword("first password"));
        ASSERT_TRUE(SetAnswers("one", "two", "three"));
        for (const char* key : corva::kQuestionKeys) ASSERT_TRUE(SetSetting(key, "What was your childhood nickname?"));
    }
    void TearDown() override {
        BatchCommandTest::TearDown();
        corva::SetSettingsFolderForTesting(L"");
        std::error_code ec;
        fs::remove_all(settings_, ec);
    }
    // Whether a locked file opens with a password and gives back content
    // (a copy of it is unlocked beside the settings).
    bool OpensWith(const fs::path& locked, const char* password, const std::string& content) {
        const fs::path copy = settings_ / locked.filename();
        std::error_code ec;
        if (!fs::copy_file(locked, copy, fs::copy_options::overwrite_existing, ec)) return false;
        const fs::path plain = settings_ / locked.stem();
        const bool same = UnlockOneFile(copy.wstring(), password, nullptr) && Content(plain) == content;
        fs::remove(copy, ec);
        fs::remove(plain, ec);
        return same;
    }
    // Returns once the window's thread has finished the command it runs
    // (it takes this message only back in its message loop).
    void WaitForCommandEnd() {
        DWORD_PTR ignored = 0;
        ASSERT_TRUE(::SendMessageTimeoutW(hwnd_, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &ignored));
    }
    HWND WaitForDialog(const std::wstring& caption) {
        return WaitForWindow(WindowQuery::Dialog(Scope::Process(::GetCurrentProcessId()), caption));
    }
    fs::path settings_;
};

TEST_F(PasswordChangeTest, ANewPasswordReplacesTheOneTheCommandsUse) {
    WriteSampleFile(scratch_ / L"a.txt", 2000);
    WriteSampleFile(scratch_ / L"a.txt.bak", 100);
    const std::string a = Content(scratch_ / L"a.txt");
    Open();
    ShowScratch(2);

    ChooseMenuItem('T', 'C');
    HWND dialog = WaitForDialog(L"Change Password");
    ASSERT_NE(dialog, nullptr);
    TypeInto(dialog, IDC_CHANGE_NEW, L"second password");
    TypeInto(dialog, IDC_CHANGE_CONFIRM, L"second password");
    ASSERT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return !::IsWindowVisible(dialog); }));
    WaitForCommandEnd();
    EXPECT_TRUE(ListHasFocus()) << "the keyboard is not back in the list";
    EXPECT_EQ(corva::desktop::StartupPassword().Text(), "second password");

    // a.txt moves below a.txt.bak when locked: it stays selected by name.
    SelectRows(0, 0);
    PressCommandKey('L');
    ASSERT_TRUE(WaitForRows({L"a.txt.bak", L"a.txt.corvastine"}));
    EXPECT_TRUE(WaitUntil([&] { return SelectedRows() == std::vector<int>{1}; }));
    EXPECT_EQ(FocusedRow(), 1);
    EXPECT_TRUE(OpensWith(scratch_ / L"a.txt.corvastine", "second password", a)) << "not locked with the new password";

    // The reset: the three answers, then a new password.
    ChooseMenuItem('T', 'F');
    HWND sheet = WaitForDialog(L"Forgot Password");
    ASSERT_NE(sheet, nullptr);
    HWND page = CurrentPage(sheet);
    TypeInto(page, IDC_ANSWER1, L"one");
    TypeInto(page, IDC_ANSWER2, L"two");
    TypeInto(page, IDC_ANSWER3, L"three");
    ASSERT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return CurrentPage(sheet) != page; })) << "the answers were refused";
    page = CurrentPage(sheet);
    TypeInto(page, IDC_PAGE_PASSWORD, L"third password");
    TypeInto(page, IDC_PAGE_CONFIRM, L"third password");
    ASSERT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return CurrentPage(sheet) != page; }));
    ASSERT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return !::IsWindow(sheet) || !::IsWindowVisible(sheet); }));
    WaitForCommandEnd();
    EXPECT_TRUE(ListHasFocus());
    EXPECT_EQ(corva::desktop::StartupPassword().Text(), "third password");

    // A file locked under the new password by another program (the
    // Explorer menu) unlocks here; one locked under an older one does not.
    WriteSampleFile(scratch_ / L"b.txt", 1500);
    const std::string b = Content(scratch_ / L"b.txt");
    ASSERT_TRUE(LockOneFile((scratch_ / L"b.txt").wstring(), "third password", nullptr));
    ASSERT_TRUE(BringToForeground(hwnd_));
    ASSERT_TRUE(PressKeysUntil({VK_F5}, [&] { return RowOfName(L"b.txt.corvastine") >= 0; }));
    SelectRows(1, 2);
    PressCommandKey('U');
    // The file of an older password is named in the summary.
    auto summary = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()));
    ASSERT_TRUE(summary.has_value()) << "no word about the file left locked";
    const std::wstring folderLine =
        L"In " + corva::ShortenPathForDisplay(scratch_.wstring(), corva::kSummaryPathChars);
    EXPECT_EQ(WithLineRestored(summary->text, L"In " + scratch_.wstring(), folderLine),
              L"1 file could not be unlocked:\n\n" + folderLine + L"\na.txt.corvastine: locked with another password");
    Answer(*summary, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return RowOfName(L"b.txt") >= 0; })) << "not unlocked with the new password";
    EXPECT_EQ(Content(scratch_ / L"b.txt"), b);
    EXPECT_TRUE(Exists(scratch_ / L"a.txt.corvastine")) << "the file of the older password stays locked";
}

}  // namespace
}  // namespace desktoptest
