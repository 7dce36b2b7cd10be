// Batches: lock, unlock or shred a list of selected files and folders on a
// worker thread that a progress dialog can watch and stop.
//
// Owner side: fill a batch with the selected paths, Start(0) it, then poll
// GetProgress() until the stop flag reads set (the batch also sets it when it
// ends by itself); Stop() cancels after the path in progress and waits for the
// worker. Destroying a batch stops it and waits for its worker.
//
// The paths are handled from the last to the first; a folder is walked depth
// first. Links (symbolic links, junctions, other reparse points) are never
// followed: a walk does not descend into them, lock and unlock leave them
// alone, and shred or delete remove the link itself, never its target (where
// the system cannot remove a link as a link, it stays, with its folder).
//
// The stop flag is never cleared: a batch stopped before Start, or started
// again after it ended, handles no path. Use one batch per command.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Platform.h"

class FileLog;

// Status text of a batch: total selected paths, paths handled so far.
extern const wchar_t kBatchStatusFormat[];  // L"Tocal files:%d processed files:%d"

// Name of the wiping library looked for beside the running module:
// "dwipe.dll" on Windows, "libdwipe.so" elsewhere.
extern const wchar_t kWipeLibraryName[];
// Name of its export: int dwipefile(int argc, char** argv); 0 means success.
extern const char kWipeExportName[];  // "dwipefile"

class BatchProgress {
public:
    enum RunState : int { kIdle = 0, kRunning = 1 };

    BatchProgress(const std::vector<std::wstring>& paths, FileLog* log);
    // Sets the stop flag, waits for the worker without time limit, then wipes
    // the password copy.
    virtual ~BatchProgress();
    BatchProgress(const BatchProgress&) = delete;
    BatchProgress& operator=(const BatchProgress&) = delete;

    // Starts the worker thread with the run parameter (callers pass 0).
    // False when the batch is running already or no thread can be created.
    bool Start(int parameter);
    // Sets the stop flag and waits until the worker has ended. The path in
    // progress (a whole folder) is finished first. Safe to call at any time,
    // more than once, and from any thread.
    void Stop();

    // Reads the stop flag and copies the status text under the mutex. The
    // stop flag is set by Stop and by the worker when the batch has ended.
    void GetProgress(bool* stopFlag, std::wstring* statusText);
    bool IsStopFlagSet();
    RunState GetRunState();

    // Handled paths × 100 / selected paths, truncated. A display value only:
    // the progress dialog may also reset it and count its ticks in it.
    int PercentDone() const { return percentDone_.load(); }
    void SetPercentDone(int value) { percentDone_.store(value); }
    int AddPercentDone(int delta) { return percentDone_.fetch_add(delta) + delta; }

    // The run operation's result once the worker has ended (0 for the three
    // batches); -1 before.
    int ExitCode() const { return exitCode_.load(); }
    int RunParameter() const { return runParameter_; }
    const std::vector<std::wstring>& Paths() const { return paths_; }

    // Test hook: called on the worker after each selected path, with the
    // count handled so far. Set before Start.
    using PathHook = void (*)(BatchProgress* batch, int handled, void* context);
    void SetAfterPathHookForTesting(PathHook hook, void* context) {
        afterPath_ = hook;
        afterPathContext_ = context;
    }

protected:
    // The batch itself; runs on the worker thread.
    virtual int Run(int parameter) = 0;

    // Stop flag read under the mutex (checked once before every path).
    bool StopRequested() { return IsStopFlagSet(); }
    // After a path: percent done and the status text for total and handled.
    void ReportHandled(int total, int handled);
    // At the end of the batch: sets the stop flag.
    void MarkFinished();
    // Every derived class calls this first in its destructor, so that the
    // worker never runs into a half-destroyed object.
    void StopAndWait() { Stop(); }

    FileLog* log_;
    std::string password_;  // lock and unlock batches only
    std::vector<std::wstring> paths_;

private:
    void Worker(int parameter);

    plat::Mutex mutex_;      // guards stopFlag_, runState_, statusText_
    bool stopFlag_ = false;
    RunState runState_ = kIdle;
    std::wstring statusText_;
    int runParameter_ = 0;
    std::atomic<int> percentDone_{0};
    std::atomic<int> exitCode_{-1};
    PathHook afterPath_ = nullptr;
    void* afterPathContext_ = nullptr;

    std::mutex threadLock_;  // guards worker_ (start and join)
    std::thread worker_;
    std::atomic<std::thread::id> workerId_{};
};

// Locks every selected path (LockPath) with the password.
class LockBatch final : public BatchProgress {
public:
    LockBatch(const std::vector<std::wstring>& paths, const std::string& password, FileLog* log);
    ~LockBatch() override;

protected:
    int Run(int parameter) override;
};

// Unlocks every selected path (UnlockPath) with the password.
class UnlockBatch final : public BatchProgress {
public:
    UnlockBatch(const std::vector<std::wstring>& paths, const std::string& password, FileLog* log);
    ~UnlockBatch() override;

protected:
    int Run(int parameter) override;
};

// Shreds every selected path: ShredPath, and when that succeeded DeletePath.
// wipeLibrary empty: kWipeLibraryName beside the running module.
class ShredBatch final : public BatchProgress {
public:
    explicit ShredBatch(const std::vector<std::wstring>& paths, FileLog* log = nullptr,
                        const std::wstring& wipeLibrary = std::wstring());
    ~ShredBatch() override;

protected:
    int Run(int parameter) override;

private:
    std::wstring wipeLibrary_;
};

// An operation applied by WalkFolder to every file of a tree and, last, to
// each folder itself; false stops the walk.
using WalkOperation = bool (*)(const std::wstring& path, void* context);

// Depth-first walk: the folder's entries in the order the system lists them
// (hidden and system ones included); a sub-folder is walked first, a file
// or a link is handed to the operation. A failing entry does not stop the
// walk. Last the operation is called on the folder itself; the result is
// true when every call succeeded. Links are never descended into.
bool WalkFolder(const std::wstring& folder, void* context, WalkOperation operation);

// A folder: its tree walked with LockOneFile / UnlockOneFile; a file: the
// pipeline directly. Links, FIFOs, sockets and devices are left alone
// (false at the top, skipped inside a walk), and so are plain files in an
// unlocked folder. A file that fails is left as it was and the walk goes on.
bool LockPath(const std::wstring& path, const char* password, FileLog* log);
bool UnlockPath(const std::wstring& path, const char* password, FileLog* log);

// Calls the wiping library on the path: loaded for this one call, its
// export called with "dwipe-4.2.exe", "-7", "-f", "-n", "2", path (in the
// system ANSI code page), then unloaded. True exactly when the call
// returned 0; false when the library or the export is missing, or when the
// path has no exact form in the ANSI code page.
bool ShredPath(const std::wstring& path);
// The same with the library at an explicit full path.
bool ShredPath(const std::wstring& path, const std::wstring& libraryPath);

// A file (or a link): deleted. A folder: walked, files deleted and folders
// removed, the folder itself last; links inside are removed as links.
// FIFOs, sockets and devices are never deleted (nothing wipes them).
bool DeletePath(const std::wstring& path, bool isFolder);
