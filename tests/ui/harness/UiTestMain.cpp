// Entry point of the user-interface test programs: GoogleTest with a
// watchdog, so that a dialog nobody closes ends the program with a message
// instead of hanging the test run.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>

#include "UiHarness.h"

namespace {

constexpr ULONGLONG kTestLimitMs = 240000;

std::atomic<ULONGLONG> g_testStart{0};
std::string g_testName;
CRITICAL_SECTION g_nameLock;

class Watch : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo& info) override {
        ::EnterCriticalSection(&g_nameLock);
        g_testName = std::string(info.test_suite_name()) + "." + info.name();
        ::LeaveCriticalSection(&g_nameLock);
        g_testStart.store(::GetTickCount64());
    }
    void OnTestEnd(const ::testing::TestInfo&) override { g_testStart.store(0); }
};

DWORD WINAPI Watchdog(LPVOID) {
    for (;;) {
        ::Sleep(1000);
        ULONGLONG start = g_testStart.load();
        if (start == 0 || ::GetTickCount64() - start < kTestLimitMs) continue;
        ::EnterCriticalSection(&g_nameLock);
        std::fprintf(stderr, "\n*** %s ran for more than %llu s; open windows of this program:\n", g_testName.c_str(),
                     kTestLimitMs / 1000);
        ::LeaveCriticalSection(&g_nameLock);
        uitest::WindowQuery mine;
        mine.scope = uitest::Scope::Process(::GetCurrentProcessId());
        for (HWND w : uitest::FindWindows(mine)) {
            std::fwprintf(stderr, L"    [%ls] \"%ls\"\n", uitest::ClassNameOf(w).c_str(), uitest::WindowText(w).c_str());
        }
        std::fflush(stderr);
        ::TerminateProcess(::GetCurrentProcess(), 4);
    }
}

}  // namespace

int main(int argc, char** argv) {
    ::InitializeCriticalSection(&g_nameLock);
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new Watch);
    HANDLE watchdog = ::CreateThread(nullptr, 0, &Watchdog, nullptr, 0, nullptr);
    if (watchdog) ::CloseHandle(watchdog);
    return RUN_ALL_TESTS();
}
