// A stand-in for the wiping library for the progress-dialog tests: every
// call of "dwipefile" is recorded and then held until the test releases it,
// so a test decides exactly when each path of a batch is finished. The test
// keeps the library loaded, so its state outlives the batch's own load and
// unload around each call. Nothing is wiped; the call reports success.
#include <windows.h>

#include <string>
#include <vector>

#define GATE_EXPORT extern "C" __declspec(dllexport)

namespace {

struct Gate {
    CRITICAL_SECTION lock;
    HANDLE permits;  // one release lets one call return
    HANDLE entered;  // set at every call
    std::vector<std::string> paths;
    long returned = 0;
    Gate() {
        ::InitializeCriticalSection(&lock);
        permits = ::CreateSemaphoreW(nullptr, 0, 1 << 20, nullptr);
        entered = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
};

Gate& TheGate() {
    static Gate gate;
    return gate;
}

}  // namespace

GATE_EXPORT int __cdecl dwipefile(int argc, char** argv) {
    Gate& g = TheGate();
    ::EnterCriticalSection(&g.lock);
    g.paths.push_back(argc >= 6 && argv[5] ? argv[5] : "");
    ::LeaveCriticalSection(&g.lock);
    ::SetEvent(g.entered);
    ::WaitForSingleObject(g.permits, INFINITE);
    ::EnterCriticalSection(&g.lock);
    ++g.returned;
    ::LeaveCriticalSection(&g.lock);
    return 0;
}

// Forgets earlier calls and any permits left over.
GATE_EXPORT void __cdecl gate_reset() {
    Gate& g = TheGate();
    while (::WaitForSingleObject(g.permits, 0) == WAIT_OBJECT_0) {
    }
    ::EnterCriticalSection(&g.lock);
    g.paths.clear();
    g.returned = 0;
    ::LeaveCriticalSection(&g.lock);
}

// Lets count held calls (present or future) return.
GATE_EXPORT void __cdecl gate_release(int count) { ::ReleaseSemaphore(TheGate().permits, count, nullptr); }

// Calls made so far.
GATE_EXPORT int __cdecl gate_calls() {
    Gate& g = TheGate();
    ::EnterCriticalSection(&g.lock);
    int n = static_cast<int>(g.paths.size());
    ::LeaveCriticalSection(&g.lock);
    return n;
}

// Calls that have returned so far.
GATE_EXPORT int __cdecl gate_returned() {
    Gate& g = TheGate();
    ::EnterCriticalSection(&g.lock);
    int n = static_cast<int>(g.returned);
    ::LeaveCriticalSection(&g.lock);
    return n;
}

// The path of call index (from 0), copied into buffer; its length, or -1.
GATE_EXPORT int __cdecl gate_path(int index, char* buffer, int size) {
    Gate& g = TheGate();
    ::EnterCriticalSection(&g.lock);
    int result = -1;
    if (index >= 0 && static_cast<size_t>(index) < g.paths.size() && size > 0) {
        const std::string& p = g.paths[static_cast<size_t>(index)];
        size_t n = p.size() < static_cast<size_t>(size - 1) ? p.size() : static_cast<size_t>(size - 1);
        p.copy(buffer, n);
        buffer[n] = '\0';
        result = static_cast<int>(p.size());
    }
    ::LeaveCriticalSection(&g.lock);
    return result;
}
