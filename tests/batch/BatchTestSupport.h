// Shared pieces of the batch tests: the recording stand-in for the wiping
// library, names of the libraries beside the test program, and waiting for a
// batch to finish.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "engine/Batch.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

namespace batch_test {

#ifdef _WIN32
#define FAKE_CALL __cdecl
inline const wchar_t* FakeWipeName() { return L"fakewipe.dll"; }
inline const wchar_t* NoWipeName() { return L"nowipe.dll"; }
#else
#define FAKE_CALL
inline const wchar_t* FakeWipeName() { return L"libfakewipe.so"; }
inline const wchar_t* NoWipeName() { return L"libnowipe.so"; }
#endif

inline std::wstring BesideTest(const std::wstring& name) {
    return testing_support::Join(plat::ParentFolder(plat::ModulePath()), name);
}

// Keeps the stand-in loaded for the test's lifetime and drives it.
class FakeWipe {
public:
    FakeWipe() {
        loaded_ = library_.Load(BesideTest(FakeWipeName()));
        reset_ = reinterpret_cast<void(FAKE_CALL*)(int, int)>(library_.Symbol("fakewipe_reset"));
        waitCalls_ = reinterpret_cast<void(FAKE_CALL*)(int)>(library_.Symbol("fakewipe_wait_calls"));
        release_ = reinterpret_cast<void(FAKE_CALL*)(int)>(library_.Symbol("fakewipe_release"));
        releaseAll_ = reinterpret_cast<void(FAKE_CALL*)()>(library_.Symbol("fakewipe_release_all"));
        callCount_ = reinterpret_cast<int(FAKE_CALL*)()>(library_.Symbol("fakewipe_call_count"));
        returnedCount_ = reinterpret_cast<int(FAKE_CALL*)()>(library_.Symbol("fakewipe_returned_count"));
        call_ = reinterpret_cast<int(FAKE_CALL*)(int, char*, int)>(library_.Symbol("fakewipe_call"));
    }
    bool Ready() const {
        return loaded_ && reset_ && waitCalls_ && release_ && releaseAll_ && callCount_ && returnedCount_ && call_;
    }
    std::wstring Path() const { return BesideTest(FakeWipeName()); }
    void Reset(int result, bool hold) { reset_(result, hold ? 1 : 0); }
    void WaitCalls(int count) { waitCalls_(count); }
    void Release(int count) { release_(count); }
    void ReleaseAll() { releaseAll_(); }
    int CallCount() { return callCount_(); }
    int ReturnedCount() { return returnedCount_(); }
    std::string Call(int index) {
        char buffer[2048];
        return call_(index, buffer, sizeof buffer) ? std::string(buffer) : std::string("(none)");
    }

private:
    plat::Library library_;
    bool loaded_ = false;
    void(FAKE_CALL* reset_)(int, int) = nullptr;
    void(FAKE_CALL* waitCalls_)(int) = nullptr;
    void(FAKE_CALL* release_)(int) = nullptr;
    void(FAKE_CALL* releaseAll_)() = nullptr;
    int(FAKE_CALL* callCount_)() = nullptr;
    int(FAKE_CALL* returnedCount_)() = nullptr;
    int(FAKE_CALL* call_)(int, char*, int) = nullptr;
};

// The argument line the stand-in records for one shredded path.
inline std::string ExpectedWipeCall(const std::wstring& path) {
    return "6|dwipe-4.2.exe|-7|-f|-n|2|" + plat::WideToNarrow(path);
}

// Waits (without a time limit) until the batch has set its stop flag.
inline void WaitForStopFlag(BatchProgress& batch) {
    while (!batch.IsStopFlagSet()) std::this_thread::yield();
}

// Starts the batch, waits for it to finish and for its worker to end.
inline void RunToEnd(BatchProgress& batch) {
    ASSERT_TRUE(batch.Start(0));
    WaitForStopFlag(batch);
    batch.Stop();
}

}  // namespace batch_test
