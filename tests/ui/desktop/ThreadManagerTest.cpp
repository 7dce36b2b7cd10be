// The main thread's thread manager with stand-in window threads: Run
// returns once every window thread has ended, WM_USER starts another one,
// and the 64th thread is refused with the manager's message.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

#include "FrameThreadManager.h"
#include "UiHarness.h"

namespace {

using corva::desktop::FrameThreadManager;
using corva::desktop::FrameThreadStart;
using namespace uitest;

std::atomic<int> g_started{0};
HANDLE g_release = nullptr;  // window threads wait for this event

DWORD WaitingBody(FrameThreadStart* start) {
    delete start;
    ++g_started;
    ::WaitForSingleObject(g_release, INFINITE);
    return 0;
}

class ThreadManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_started = 0;
        g_release = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    void TearDown() override {
        ::SetEvent(g_release);
        ::CloseHandle(g_release);
    }
};

// Ends a manager run however the test left it: releases the window
// threads, answers a message box the manager may still show, and waits.
struct RunJoiner {
    HANDLE thread;
    DWORD threadId() const { return ::GetThreadId(thread); }
    explicit RunJoiner(HANDLE t) : thread(t) {}
    RunJoiner(const RunJoiner&) = delete;
    RunJoiner& operator=(const RunJoiner&) = delete;
    ~RunJoiner() {
        if (!thread) return;
        ::SetEvent(g_release);
        WaitUntil([this] {
            if (auto box = FindMessageBox(Scope::Thread(threadId()))) AnswerMessageBox(*box);
            return ::WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        });
        ::CloseHandle(thread);
    }
};

struct ManagerRun {
    FrameThreadManager manager{&WaitingBody};
    std::atomic<int> result{-1};
    std::atomic<DWORD> threadId{0};
    static DWORD WINAPI Main(LPVOID self) {
        auto* run = static_cast<ManagerRun*>(self);
        run->threadId = ::GetCurrentThreadId();
        run->result = run->manager.Run(L"", SW_SHOWNORMAL);
        return 0;
    }
};

TEST_F(ThreadManagerTest, RunEndsWithTheLastWindowThreadAndWmUserStartsAnother) {
    ManagerRun run;
    RunJoiner joiner{::CreateThread(nullptr, 0, &ManagerRun::Main, &run, 0, nullptr)};
    ASSERT_NE(joiner.thread, nullptr);
    ASSERT_TRUE(WaitUntil([] { return g_started == 1; }));
    // Another window thread on request.
    ASSERT_TRUE(::PostThreadMessageW(run.threadId, WM_USER, 0, 0));
    ASSERT_TRUE(WaitUntil([] { return g_started == 2; }));
    // Any other message is dropped.
    ::PostThreadMessageW(run.threadId, WM_APP, 0, 0);
    EXPECT_EQ(::WaitForSingleObject(joiner.thread, 200), static_cast<DWORD>(WAIT_TIMEOUT)) << "Run ended early";
    ::SetEvent(g_release);
    EXPECT_EQ(::WaitForSingleObject(joiner.thread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(run.result, 1) << "the result is the count after the first thread started";
    EXPECT_EQ(g_started, 2);
}

TEST_F(ThreadManagerTest, RequestsArrivingTogetherAreAllServed) {
    ManagerRun run;
    RunJoiner joiner{::CreateThread(nullptr, 0, &ManagerRun::Main, &run, 0, nullptr)};
    ASSERT_NE(joiner.thread, nullptr);
    ASSERT_TRUE(WaitUntil([] { return g_started == 1; }));
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(::PostThreadMessageW(run.threadId, WM_USER, 0, 0));
    EXPECT_TRUE(WaitUntil([] { return g_started == 6; })) << g_started;
}

TEST_F(ThreadManagerTest, TheSixtyFourthThreadIsRefused) {
    ManagerRun run;
    RunJoiner joiner{::CreateThread(nullptr, 0, &ManagerRun::Main, &run, 0, nullptr)};
    ASSERT_NE(joiner.thread, nullptr);
    ASSERT_TRUE(WaitUntil([] { return g_started == 1; }));
    for (int i = 1; i < 63; ++i) ASSERT_TRUE(::PostThreadMessageW(run.threadId, WM_USER, 0, 0));
    ASSERT_TRUE(WaitUntil([] { return g_started == 63; })) << g_started;
    ASSERT_TRUE(::PostThreadMessageW(run.threadId, WM_USER, 0, 0));
    auto box = WaitForMessageBox(Scope::Thread(run.threadId));
    ASSERT_TRUE(box.has_value()) << "no message for the 64th thread";
    EXPECT_EQ(box->text, L"ERROR: Cannot create ANY MORE threads!!!");
    EXPECT_EQ(box->caption, L"WTLExplorer");
    EXPECT_EQ(box->owner, nullptr);
    EXPECT_TRUE(AnswerMessageBox(*box));
    EXPECT_EQ(g_started, 63);
    ::SetEvent(g_release);
    EXPECT_EQ(::WaitForSingleObject(joiner.thread, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(run.result, 1);
}

}  // namespace
