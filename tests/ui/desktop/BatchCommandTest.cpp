// Lock, Unlock and Shred over the rows of the file list, from the keyboard:
// paths handled last row first in the progress dialog, its status line,
// cancel during a path, the shred and large-lock questions, the row
// selected again afterwards, and the start-up password kept for the run.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>

#include "BrowserTestSupport.h"
#include "DialogIds.h"
#include "RealInput.h"
#include "StartupPassword.h"
#include "WipeGate.h"
#include "resource.h"

namespace desktoptest {
namespace {

using namespace uitest;

std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
        ASSERT_TRUE(BringToFront(hwnd_));
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
        ASSERT_TRUE(BringToFront(hwnd_));
        ASSERT_TRUE(ClickAt(p));
    }
    void ClickButtonOf(HWND dialog, int id) {
        HWND button = ::GetDlgItem(dialog, id);
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(BringToFront(dialog));
        ASSERT_TRUE(ClickAt(CentreOf(button)));
    }

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
    EXPECT_EQ(SelectedRows(), std::vector<int>{0}) << "the first selected position is selected again";
    EXPECT_EQ(FocusedRow(), 0);

    // A password changed meanwhile does not reach the commands: they keep
    // the one copied at their first run.
    corva::desktop::SetStartupPasswordForTesting("second password");
    SelectRows(1, 2);
    PressCommandKey('U');
    ASSERT_TRUE(WaitForRows({L"a.txt.corvastine", L"b.txt", L"c.txt"})) << "not unlocked with the first password";
    EXPECT_EQ(SelectedRows(), std::vector<int>{1});
    EXPECT_EQ(FocusedRow(), 1);
    SelectRows(0, 0);
    ClickToolbarButton(ID_EDIT_UNLOCK);
    ASSERT_TRUE(WaitForRows({L"a.txt", L"b.txt", L"c.txt"})) << "the toolbar's Unlock did not run";
    EXPECT_EQ(Content(scratch_ / L"a.txt"), a);
    EXPECT_EQ(SelectedRows(), std::vector<int>{0});
}

TEST_F(BatchCommandTest, ShredAsksFirstAndACancelDuringTheSecondPathLeavesTheFirstRow) {
    ASSERT_TRUE(gate_.Loaded()) << "ui_gatedwipe.dll missing beside the test program";
    WriteSampleFile(scratch_ / L"a.txt", 300);
    WriteSampleFile(scratch_ / L"b.txt", 200);
    WriteSampleFile(scratch_ / L"c.txt", 100);
    const std::string a = Content(scratch_ / L"a.txt");
    Open();
    ShowScratch(3);

    // With no row selected the question still comes; Yes then does nothing.
    PressCommandKey('R');
    auto box = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()));
    ASSERT_TRUE(box.has_value()) << "no shred question";
    EXPECT_EQ(box->text, L"Do you really want to shred the file?");
    EXPECT_EQ(box->caption, L"Warning");
    EXPECT_EQ(box->owner, nullptr);
    EXPECT_EQ(box->icon, MessageIcon::Information);
    ClickButtonOf(box->window, IDYES);
    ASSERT_TRUE(WaitForWindowGone(box->window));

    SelectRows(0, 2);
    PressCommandKey('R');
    box = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()));
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ(gate_.Calls(), 0) << "the first Yes started a batch";
    ClickButtonOf(box->window, IDYES);
    HWND progress = WaitForProgress();
    ASSERT_NE(progress, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return gate_.Calls() == 1; }));
    gate_.Release(1);
    ASSERT_TRUE(WaitUntil([&] { return gate_.Calls() == 2; })) << "the second path was not started";
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
        EXPECT_EQ(box->text, L"More than 100 files will be locked, do you really want to continue?");
        EXPECT_EQ(box->caption, L"Corvastine");
        EXPECT_EQ(box->icon, MessageIcon::Question);
        EXPECT_EQ(box->owner, nullptr);
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

}  // namespace
}  // namespace desktoptest
