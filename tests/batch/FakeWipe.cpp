// A stand-in for the wiping library, for the batch tests: records every call
// of "dwipefile" with its arguments, answers with a result the test chose,
// and can hold each call until the test lets it go. The test keeps the
// library loaded itself, so its state outlives the load and unload around
// each call.
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#ifdef _WIN32
#define FAKE_EXPORT extern "C" __declspec(dllexport)
#define FAKE_CALL __cdecl
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#define FAKE_CALL
#endif

namespace {

struct State {
    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::string> calls;  // arguments joined with '|'
    int result = 0;
    bool hold = false;
    int released = 0;  // calls allowed to return while holding
    int returned = 0;
};

State& Shared() {
    static State state;
    return state;
}

}  // namespace

FAKE_EXPORT int FAKE_CALL dwipefile(int argc, char** argv) {
    State& s = Shared();
    std::unique_lock<std::mutex> hold(s.lock);
    std::string line = std::to_string(argc);
    for (int i = 0; i < argc; ++i) line += std::string("|") + (argv[i] ? argv[i] : "(null)");
    s.calls.push_back(line);
    const int index = static_cast<int>(s.calls.size());
    s.changed.notify_all();
    s.changed.wait(hold, [&] { return !s.hold || s.released >= index; });
    ++s.returned;
    s.changed.notify_all();
    return s.result;
}

// Forgets the calls; later calls return result; hold makes each call wait
// for fakewipe_release.
FAKE_EXPORT void FAKE_CALL fakewipe_reset(int result, int hold) {
    State& s = Shared();
    std::lock_guard<std::mutex> g(s.lock);
    s.calls.clear();
    s.result = result;
    s.hold = hold != 0;
    s.released = 0;
    s.returned = 0;
    s.changed.notify_all();
}

// Waits until count calls have begun.
FAKE_EXPORT void FAKE_CALL fakewipe_wait_calls(int count) {
    State& s = Shared();
    std::unique_lock<std::mutex> g(s.lock);
    s.changed.wait(g, [&] { return static_cast<int>(s.calls.size()) >= count; });
}

// Lets the calls up to number count return.
FAKE_EXPORT void FAKE_CALL fakewipe_release(int count) {
    State& s = Shared();
    std::lock_guard<std::mutex> g(s.lock);
    s.released = count;
    s.changed.notify_all();
}

// Stops holding calls altogether.
FAKE_EXPORT void FAKE_CALL fakewipe_release_all() {
    State& s = Shared();
    std::lock_guard<std::mutex> g(s.lock);
    s.hold = false;
    s.changed.notify_all();
}

FAKE_EXPORT int FAKE_CALL fakewipe_call_count() {
    State& s = Shared();
    std::lock_guard<std::mutex> g(s.lock);
    return static_cast<int>(s.calls.size());
}

FAKE_EXPORT int FAKE_CALL fakewipe_returned_count() {
    State& s = Shared();
    std::lock_guard<std::mutex> g(s.lock);
    return s.returned;
}

// Copies call number index (from 0) into buffer; false past the last call.
FAKE_EXPORT int FAKE_CALL fakewipe_call(int index, char* buffer, int size) {
    State& s = Shared();
    std::lock_guard<std::mutex> g(s.lock);
    if (index < 0 || index >= static_cast<int>(s.calls.size()) || size <= 0) return 0;
    const std::string& c = s.calls[static_cast<size_t>(index)];
    const size_t n = c.size() < static_cast<size_t>(size - 1) ? c.size() : static_cast<size_t>(size - 1);
    std::memcpy(buffer, c.data(), n);
    buffer[n] = '\0';
    return 1;
}
