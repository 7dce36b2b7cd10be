// The progress dialog over real batches: the count line, the file under work
// and the bar while the paths are handled, Cancel answering at once and
// ending the batch between files (also inside a folder), closing at the
// tick after the end, an empty batch; and the summary RunBatch shows
// afterwards when files were not done or the batch was cancelled.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "DialogIds.h"
#include "DialogTestSupport.h"

#include <commctrl.h>
#include "ui/DialogSupport.h"
#include "ui/RunBatch.h"
#include "ProgressDialog.h"
#include "WipeGate.h"
#include "engine/Batch.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace uitest;
using testing_support::TempDir;

namespace dialogtest {
namespace {

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The file line shows this path: whole, or with folders in its middle left
// out (as "Z:" "\\...\\" "folder\\one.txt").
bool ShowsFile(HWND dialog, const std::wstring& path) {
    const std::wstring text = ControlText(dialog, IDC_PROGRESS_FILE);
    if (text == path) return true;
    const size_t cut = text.find(L"...\\");
    if (cut == std::wstring::npos || cut == 0) return false;
    const std::wstring head = text.substr(0, cut), tail = text.substr(cut + 3);
    return path.size() > text.size() && path.compare(0, head.size(), head) == 0 &&
           path.compare(path.size() - tail.size(), tail.size(), tail) == 0 && tail.size() > 1;
}

class ProgressDialogTest : public DialogUiTest {
protected:
    void SetUp() override {
        DialogUiTest::SetUp();
        ASSERT_TRUE(gate_.Loaded()) << "ui_gatedwipe.dll missing beside the test program";
        for (const wchar_t* name : {L"first.txt", L"second.txt", L"third.txt"}) {
            paths_.push_back(dir_ / name);
            ASSERT_TRUE(testing_support::WriteFileText(paths_.back(), "some text"));
        }
    }
    void TearDown() override {
        gate_.Release(100);  // nothing stays held, whatever failed
        ProgressDialog::SetTimerRefusedForTesting(false);
        thread_.reset();
        batch_.reset();
        DialogUiTest::TearDown();
    }
    void Run(std::vector<std::wstring> paths) {
        batch_ = std::make_unique<ShredBatch>(paths, nullptr, gate_.LibraryPath());
        BatchProgress* batch = batch_.get();
        workerEndedAtReturn_ = false;
        thread_ = std::make_unique<UiThread>([this, batch] {
            ProgressDialog dialog(*batch);
            INT_PTR result = dialog.ShowModal(nullptr);
            // Read at once: the worker must be gone when the dialog returns.
            workerEndedAtReturn_ = batch->GetRunState() == BatchProgress::kIdle && batch->ExitCode() == 0 &&
                                   gate_.Calls() == gate_.Returned();
            return result;
        });
        WindowQuery q = WindowQuery::Dialog(thread_->GetScope(), L"Corvastine");
        q.filter = [](HWND w) { return ::GetDlgItem(w, IDC_PROGRESS_BAR) != nullptr; };
        window_ = WaitForWindow(q);
        ASSERT_NE(window_, nullptr) << "the progress dialog did not show";
    }
    int BarPosition() const {
        DWORD_PTR pos = 0;
        ::SendMessageTimeoutW(::GetDlgItem(window_, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG, 3000, &pos);
        return static_cast<int>(pos);
    }

    // Returns once the dialog has closed and the thread has ended, and
    // checks that the worker had ended when the dialog returned.
    void ExpectClosedWithWorkerEnded() {
        ASSERT_TRUE(WaitForWindowGone(window_)) << "the dialog did not close";
        ASSERT_TRUE(thread_->WaitDone());
        EXPECT_EQ(thread_->Result(), 1);
        EXPECT_TRUE(workerEndedAtReturn_.load()) << "the worker still ran when the dialog returned";
    }

    TempDir dir_;
    std::vector<std::wstring> paths_;
    WipeGate gate_;
    std::atomic<bool> workerEndedAtReturn_{false};
    std::unique_ptr<BatchProgress> batch_;
    std::unique_ptr<UiThread> thread_;
    HWND window_ = nullptr;
};

TEST_F(ProgressDialogTest, ShowsEachHandledPathAndCancelFinishesThePathInWorkOnly) {
    Run(paths_);
    ExpectIcons(window_);
    EXPECT_EQ(ControlText(window_, IDCANCEL), L"Cancel");
    EXPECT_TRUE(::GetWindowLongPtrW(::GetDlgItem(window_, IDC_PROGRESS_BAR), GWL_STYLE) & PBS_SMOOTH);
    EXPECT_TRUE(::GetWindowLongPtrW(::GetDlgItem(window_, IDC_PROGRESS_STATUS), GWL_STYLE) & SS_CENTER);

    // The last path is handled first.
    ASSERT_TRUE(gate_.WaitForCalls(1));
    EXPECT_EQ(gate_.PathOfCall(0), plat::WideToNarrow(paths_[2]));
    gate_.Release(1);
    EXPECT_TRUE(WaitUntil([&] { return ControlText(window_, IDC_PROGRESS_STATUS) == L"Tocal files:3 processed files:1"; }))
        << "status: " << plat::WideToNarrow(ControlText(window_, IDC_PROGRESS_STATUS));
    // The bar jumps to the share of handled paths, then creeps on.
    EXPECT_TRUE(WaitUntil([&] { int p = BarPosition(); return p >= 33 && p < 50; }))
        << "bar at " << BarPosition();
    ASSERT_TRUE(gate_.WaitForCalls(2));
    EXPECT_EQ(gate_.PathOfCall(1), plat::WideToNarrow(paths_[1]));
    Shoot(window_, L"progress");

    // Cancel while the second path is in work: the dialog answers at once
    // and says it is stopping, and closes only once that path is finished.
    ASSERT_TRUE(ClickButton(window_, IDCANCEL));
    EXPECT_TRUE(WaitUntil([&] { return ControlText(window_, IDC_PROGRESS_STATUS) == ProgressDialog::kStoppingText; }))
        << "status: " << plat::WideToNarrow(ControlText(window_, IDC_PROGRESS_STATUS));
    DWORD_PTR ignored = 0;
    EXPECT_TRUE(::SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_BLOCK, 1000, &ignored))
        << "the window thread waits for the path in work";
    EXPECT_FALSE(IsControlEnabled(window_, IDCANCEL));
    Shoot(window_, L"progress-stopping");
    EXPECT_FALSE(WaitForWindowGone(window_, Millis(800))) << "the dialog closed before the path was finished";
    gate_.Release(1);
    ExpectClosedWithWorkerEnded();

    // The second path was finished, the first never touched.
    EXPECT_EQ(gate_.Calls(), 2);
    EXPECT_FALSE(Exists(paths_[2]));
    EXPECT_FALSE(Exists(paths_[1]));
    EXPECT_TRUE(Exists(paths_[0]));
}

TEST_F(ProgressDialogTest, TheBarMovesOneStepPerTickWhileAPathIsInWork) {
    Run({paths_[0]});
    ASSERT_TRUE(gate_.WaitForCalls(1));
    // One step per tick: it creeps, it does not jump to a third.
    EXPECT_TRUE(WaitUntil([&] { return BarPosition() >= 2; })) << "bar at " << BarPosition();
    EXPECT_LT(BarPosition(), 33);
    // From the first tick: the count line and the file under work.
    EXPECT_EQ(ControlText(window_, IDC_PROGRESS_STATUS), L"Tocal files:1 processed files:0");
    EXPECT_TRUE(ShowsFile(window_, paths_[0])) << plat::WideToNarrow(ControlText(window_, IDC_PROGRESS_FILE));
    Shoot(window_, L"progress-start");
    gate_.Release(1);
    ExpectClosedWithWorkerEnded();
    EXPECT_FALSE(Exists(paths_[0]));
}

TEST_F(ProgressDialogTest, EscapeAndTheCloseBoxCancelLikeTheButton) {
    for (int way = 0; way < 2; ++way) {
        ASSERT_TRUE(testing_support::WriteFileText(paths_[0], "x"));
        ASSERT_TRUE(testing_support::WriteFileText(paths_[1], "x"));
        Run({paths_[0], paths_[1]});
        ASSERT_TRUE(gate_.WaitForCalls(way + 1));
        if (way == 0) {
            ASSERT_TRUE(PressEscape(window_));
        }
        if (way == 1) {
            RequestClose(window_);
        }
        EXPECT_FALSE(WaitForWindowGone(window_, Millis(600)));
        gate_.Release(1);
        ExpectClosedWithWorkerEnded();
        EXPECT_EQ(gate_.Calls(), way + 1) << "the first path was handled after the cancel";
        EXPECT_TRUE(Exists(paths_[0])) << "way " << way;
        thread_.reset();
        batch_.reset();
    }
}

TEST_F(ProgressDialogTest, AnEmptyBatchClosesAtTheFirstTick) {
    Run({});
    ExpectClosedWithWorkerEnded();
    EXPECT_EQ(gate_.Calls(), 0);
}

// Keys on the dialog, pressed for real: Space on the focused Cancel button
// and Escape both cancel after the path in work.
TEST_F(ProgressDialogTest, SpaceAndEscapeCancelAfterThePathInWork) {
    const WORD keys[] = {VK_SPACE, VK_ESCAPE};
    for (int way = 0; way < 2; ++way) {
        SCOPED_TRACE(way);
        ASSERT_TRUE(testing_support::WriteFileText(paths_[0], "x"));
        ASSERT_TRUE(testing_support::WriteFileText(paths_[1], "x"));
        Run({paths_[0], paths_[1]});
        ASSERT_TRUE(gate_.WaitForCalls(way + 1));
        if (keys[way] == VK_SPACE) {
            ASSERT_TRUE(TabToControl(window_, IDCANCEL));
        }
        ASSERT_TRUE(PressKey(window_, keys[way]));
        // The key stops the batch: the worker takes the first path no more.
        ASSERT_TRUE(WaitUntil([&] { return batch_->IsStopFlagSet(); })) << "the key did not cancel";
        gate_.Release(1);
        ExpectClosedWithWorkerEnded();
        EXPECT_EQ(gate_.Calls(), way + 1) << "the first path was handled after the cancel";
        EXPECT_TRUE(Exists(paths_[0]));
        thread_.reset();
        batch_.reset();
    }
}

// Without a window timer the dialog still follows the batch: it closes when
// the batch ends by itself, and when it is cancelled.
TEST_F(ProgressDialogTest, WithoutATimerTheDialogStillClosesAtTheEndAndOnCancel) {
    ProgressDialog::SetTimerRefusedForTesting(true);
    Run({paths_[0]});
    ASSERT_TRUE(gate_.WaitForCalls(1));
    gate_.Release(1);
    ExpectClosedWithWorkerEnded();
    EXPECT_FALSE(Exists(paths_[0]));
    thread_.reset();
    batch_.reset();

    Run({paths_[1], paths_[2]});
    ASSERT_TRUE(gate_.WaitForCalls(2));
    ASSERT_TRUE(PressKey(window_, VK_ESCAPE));
    ASSERT_TRUE(WaitUntil([&] { return batch_->IsStopFlagSet(); })) << "Escape did not cancel";
    gate_.Release(1);
    ExpectClosedWithWorkerEnded();
    ProgressDialog::SetTimerRefusedForTesting(false);
    EXPECT_TRUE(Exists(paths_[1]));
    EXPECT_FALSE(Exists(paths_[2]));
}

TEST_F(ProgressDialogTest, OpensCentredOnItsOwner) {
    batch_ = std::make_unique<ShredBatch>(std::vector<std::wstring>{paths_[0]}, nullptr, gate_.LibraryPath());
    BatchProgress* batch = batch_.get();
    std::atomic<HWND> owner{nullptr};
    thread_ = std::make_unique<UiThread>([batch, &owner] {
        HWND frame = ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 700, 500,
                                       nullptr, nullptr, nullptr, nullptr);
        owner = frame;
        ProgressDialog dialog(*batch);
        INT_PTR result = dialog.ShowModal(frame);
        ::DestroyWindow(frame);
        return result;
    });
    WindowQuery q = WindowQuery::Dialog(thread_->GetScope(), L"Corvastine");
    window_ = WaitForWindow(q);
    ASSERT_NE(window_, nullptr);
    EXPECT_EQ(::GetWindow(window_, GW_OWNER), owner.load());
    RECT o{}, d{};
    ::GetWindowRect(owner.load(), &o);
    ::GetWindowRect(window_, &d);
    EXPECT_NEAR((d.left + d.right) / 2, (o.left + o.right) / 2, 2);
    EXPECT_NEAR((d.top + d.bottom) / 2, (o.top + o.bottom) / 2, 2);
    gate_.Release(1);
    ASSERT_TRUE(thread_->WaitDone());
}

// A selected folder: its files are shown as they are taken up, from the
// first tick, and a cancel ends the batch between two of them (the real
// Escape key); RunBatch then says that it was cancelled and how far it got.
TEST_F(ProgressDialogTest, AFolderShowsTheFileUnderWorkAndACancelEndsItBetweenItsFiles) {
    const std::wstring folder = dir_ / L"a folder whose name is long enough to leave out the middle of the path";
    ASSERT_TRUE(testing_support::MakeFolder(folder));
    std::vector<std::wstring> files;
    for (const wchar_t* name : {L"one.txt", L"two.txt", L"three.txt"}) {
        files.push_back(testing_support::Join(folder, name));
        ASSERT_TRUE(testing_support::WriteFileText(files.back(), "in the folder"));
    }
    batch_ = std::make_unique<ShredBatch>(std::vector<std::wstring>{folder}, nullptr, gate_.LibraryPath());
    BatchProgress* batch = batch_.get();
    std::atomic<HWND> owner{nullptr};
    thread_ = std::make_unique<UiThread>([batch, &owner] {
        HWND frame = ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 700, 500,
                                       nullptr, nullptr, nullptr, nullptr);
        owner = frame;
        corva::ui::RunBatch(frame, *batch);
        ::DestroyWindow(frame);
        return INT_PTR(1);
    });
    WindowQuery q = WindowQuery::Dialog(thread_->GetScope(), L"Corvastine");
    q.filter = [](HWND w) { return ::GetDlgItem(w, IDC_PROGRESS_BAR) != nullptr; };
    window_ = WaitForWindow(q);
    ASSERT_NE(window_, nullptr);
    ASSERT_TRUE(gate_.WaitForCalls(1));
    const std::wstring first = plat::NarrowToWide(gate_.PathOfCall(0));
    EXPECT_TRUE(WaitUntil([&] { return ShowsFile(window_, first); }))
        << "file line: " << plat::WideToNarrow(ControlText(window_, IDC_PROGRESS_FILE));
    EXPECT_EQ(ControlText(window_, IDC_PROGRESS_STATUS), L"Tocal files:1 processed files:0");
    Shoot(window_, L"progress-file");
    gate_.Release(1);
    ASSERT_TRUE(gate_.WaitForCalls(2));
    EXPECT_TRUE(WaitUntil([&] { return ShowsFile(window_, plat::NarrowToWide(gate_.PathOfCall(1))); }));

    ASSERT_TRUE(PressKey(window_, VK_ESCAPE));
    ASSERT_TRUE(WaitUntil([&] { return ControlText(window_, IDC_PROGRESS_STATUS) == ProgressDialog::kStoppingText; }))
        << "Escape did not cancel, or the window does not answer";
    gate_.Release(1);
    ExpectMessage(thread_->GetScope(), L"Cancelled after 2 files were shredded; the rest were left as they were.",
                  kCorvastine, MessageIcon::Information, L"summary-cancelled");
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(gate_.Calls(), 2) << "a file was taken up after the cancel";
    int left = 0;
    for (const auto& f : files) left += Exists(f) ? 1 : 0;
    EXPECT_EQ(left, 1);
    EXPECT_TRUE(Exists(folder));
}

// Files the batch could not do are named with their reasons, in one box
// modal to the owner; the program's own files are among them.
TEST_F(ProgressDialogTest, TheSummaryNamesTheFilesNotDoneAndWhy) {
    const std::wstring folder = dir_ / L"program";
    ASSERT_TRUE(testing_support::MakeFolder(folder));
    const std::wstring config = testing_support::Join(folder, L"config.xml");
    ASSERT_TRUE(testing_support::WriteFileText(config, "<settings/>"));
    ASSERT_TRUE(testing_support::WriteFileText(testing_support::Join(folder, L"notes.txt"), "notes"));
    std::vector<std::wstring> selection = {folder};
    for (int i = 0; i < 14; ++i) selection.push_back(dir_ / (L"gone" + std::to_wstring(i) + L".txt"));
    batch_ = std::make_unique<LockBatch>(selection, "pw", nullptr);
    batch_->SetProtectedPaths({config});
    BatchProgress* batch = batch_.get();
    std::atomic<HWND> owner{nullptr};
    thread_ = std::make_unique<UiThread>([batch, &owner] {
        HWND frame = ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 80, 700, 500,
                                       nullptr, nullptr, nullptr, nullptr);
        owner = frame;
        corva::ui::RunBatch(frame, *batch);
        ::DestroyWindow(frame);
        return INT_PTR(1);
    });
    auto box = WaitForMessageBox(thread_->GetScope());
    ASSERT_TRUE(box.has_value()) << "no summary";
    EXPECT_FALSE(SaveScreenshot(box->window, L"summary-failures-" + std::to_wstring(Dpi()) + L"dpi").empty());
    EXPECT_EQ(box->owner, owner.load());
    EXPECT_EQ(box->caption, kCorvastine);
    EXPECT_EQ(box->icon, MessageIcon::Warning);
    // The folder line as the summary writes it; a box too narrow for it
    // shortens it further in its middle.
    const std::wstring folderLine = L"In " + corva::ShortenPathForDisplay(dir_.Path(), corva::kSummaryPathChars);
    std::wstring expected = L"15 files could not be locked:\n\n" + folderLine;
    for (int i = 13; i >= 4; --i) expected += L"\ngone" + std::to_wstring(i) + L".txt: no longer there";
    expected += L"\nand 5 more.";
    EXPECT_EQ(plat::WideToNarrow(WithLineRestored(box->text, L"In " + dir_.Path(), folderLine)),
              plat::WideToNarrow(expected));
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
    ASSERT_TRUE(thread_->WaitDone());
    const auto failures = batch_->Failures();
    ASSERT_EQ(failures.size(), 15u);
    EXPECT_EQ(failures.back().path, config);
    EXPECT_EQ(failures.back().reason, corva::FailureReason::OwnFile);
    EXPECT_EQ(testing_support::ReadFileBytes(config).size(), 11u);
    EXPECT_TRUE(Exists(testing_support::Join(folder, L"notes.txt.corvastine")));
}

// In a message box that keeps its width (Wine's), the line naming a long
// folder is shortened in its middle to the box's width, never cut at the
// right: its start and its last folder stay readable.
TEST_F(ProgressDialogTest, TheSummaryShortensALongFolderToTheBoxsWidth) {
    // Even shortened to its drive and its last part, the folder is wider
    // than the box, which Wine would break at the hyphen.
    const std::wstring folder = testing_support::Join(dir_ / L"above", L"corva-ABatchThatLeavesAFileSaysWhichAndWhereTheyAre");
    batch_ = std::make_unique<LockBatch>(
        std::vector<std::wstring>{testing_support::Join(folder, L"gone-a.txt"), testing_support::Join(folder, L"gone-b.txt")},
        "pw", nullptr);
    BatchProgress* batch = batch_.get();
    thread_ = std::make_unique<UiThread>([batch] {
        corva::ui::RunBatch(nullptr, *batch);
        return INT_PTR(1);
    });
    auto box = WaitForMessageBox(thread_->GetScope());
    ASSERT_TRUE(box.has_value()) << "no summary";
    EXPECT_FALSE(SaveScreenshot(box->window, L"summary-long-folder-" + std::to_wstring(Dpi()) + L"dpi").empty());
    HWND text = ::GetDlgItem(box->window, 0xFFFF);
    ASSERT_NE(text, nullptr);
    const size_t at = box->text.find(L"\nIn ");
    ASSERT_NE(at, std::wstring::npos) << plat::WideToNarrow(box->text);
    const size_t end = box->text.find(L'\n', at + 1);
    const std::wstring line = box->text.substr(at + 1, end - at - 1);
    EXPECT_EQ(line.substr(0, 5), L"In " + folder.substr(0, 2)) << plat::WideToNarrow(line);
    EXPECT_NE(line.find(L"..."), std::wstring::npos) << plat::WideToNarrow(line);
    // Nothing is drawn in the text's last column: no line is cut there.
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;
    ASSERT_TRUE(CaptureWindow(text, &width, &height, &pixels));
    int inked = 0;
    for (int y = 0; y < height; ++y) {
        const unsigned char* p = &pixels[(static_cast<size_t>(y) * width + (width - 1)) * 4];
        if (p[0] < 128 && p[1] < 128 && p[2] < 128) ++inked;
    }
    EXPECT_EQ(inked, 0) << "a line is cut at the right: " << plat::WideToNarrow(box->text);
    EXPECT_EQ(box->text.substr(end), L"\ngone-b.txt: no longer there\ngone-a.txt: no longer there");
    ASSERT_TRUE(AnswerMessageBox(*box, IDOK));
    ASSERT_TRUE(thread_->WaitDone());
}

// A batch that did everything ends without a word.
TEST_F(DialogUiTest, ALockBatchRunsToItsEndInTheDialogAndSaysNothing) {
    TempDir dir;
    std::vector<std::wstring> paths = {dir / L"a.txt", dir / L"b.txt"};
    for (const auto& p : paths) ASSERT_TRUE(testing_support::WriteFileText(p, "plain text"));
    LockBatch batch(paths, "pw", nullptr);
    UiThread thread([&batch] {
        const corva::BatchReport report = corva::ui::RunBatch(nullptr, batch);
        return INT_PTR(report.failures.empty() && !report.cancelled ? 1 : 0);
    });
    // A summary box would keep the thread from ending.
    ASSERT_TRUE(thread.WaitDone());
    EXPECT_EQ(thread.Result(), 1);
    for (const auto& p : paths) {
        EXPECT_FALSE(Exists(p));
        EXPECT_TRUE(Exists(p + L".corvastine"));
    }
}

}  // namespace
}  // namespace dialogtest
