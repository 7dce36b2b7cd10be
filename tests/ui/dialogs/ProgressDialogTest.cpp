// The progress dialog over real batches: the status line and bar while the
// paths are handled, Cancel finishing the path in work and nothing after
// it, closing at the tick after the end, and an empty batch.
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "DialogIds.h"
#include "DialogTestSupport.h"

#include <commctrl.h>
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
            INT_PTR result = dialog.Run(nullptr);
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

    // Cancel while the second path is in work: the dialog waits for it.
    ASSERT_TRUE(ClickButton(window_, IDCANCEL));
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
    EXPECT_EQ(ControlText(window_, IDC_PROGRESS_STATUS), L"");
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
        INT_PTR result = dialog.Run(frame);
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

TEST_F(DialogUiTest, ALockBatchRunsToItsEndInTheDialog) {
    TempDir dir;
    std::vector<std::wstring> paths = {dir / L"a.txt", dir / L"b.txt"};
    for (const auto& p : paths) ASSERT_TRUE(testing_support::WriteFileText(p, "plain text"));
    LockBatch batch(paths, "pw", nullptr);
    UiThread thread([&batch] {
        ProgressDialog dialog(batch);
        return dialog.Run(nullptr);
    });
    ASSERT_TRUE(thread.WaitDone());
    EXPECT_EQ(thread.Result(), 1);
    for (const auto& p : paths) {
        EXPECT_FALSE(Exists(p));
        EXPECT_TRUE(Exists(p + L".corvastine"));
    }
}

}  // namespace
}  // namespace dialogtest
