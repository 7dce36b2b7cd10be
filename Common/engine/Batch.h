// Batches: lock, unlock or shred a list of selected files and folders on a
// worker thread that a progress dialog can watch and stop.
//
// Owner side: fill a batch with the selected paths, Start(0) it, then poll
// GetProgress() until the stop flag reads set and HasEnded() (the batch also
// sets the flag when it ends by itself); RequestStop() cancels without
// waiting, Stop() cancels and waits for the worker. A stop takes effect
// between files, also inside a folder, and inside a large file between its
// chunks: every file is left either as it was or done whole. Destroying a
// batch stops it and waits for its worker. Once the worker has ended,
// Failures() names every file the batch did not do, with its reason, and
// WasCancelled() tells whether the user's stop cut the batch short.
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

#include "engine/BatchOutcome.h"
#include "engine/SecretText.h"
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

    // Files the batch refuses to lock, unlock (as what an unlock would
    // replace) or shred, selected or met inside a walked folder: the running
    // program's own files (plat::OwnProgramFiles). Each is reported as
    // OwnFile. Set before Start.
    void SetProtectedPaths(std::vector<std::wstring> paths);

    // Starts the worker thread with the run parameter (callers pass 0).
    // False when the batch is running already or no thread can be created.
    bool Start(int parameter);
    // Sets the stop flag and returns at once; the worker stops before the
    // next file, or inside the file in work between two of its chunks.
    void RequestStop();
    // Sets the stop flag and waits until the worker has ended. Safe to call
    // at any time, more than once, and from any thread.
    void Stop();

    // Reads the stop flag and copies the status text (and the file under
    // work) under the mutex. The stop flag is set by Stop and by the worker
    // when the batch has ended. The status text is the count line
    // "Tocal files:%d processed files:%d", set when the first path begins;
    // the file under work is the file (or the folder being listed) the
    // worker took up last.
    void GetProgress(bool* stopFlag, std::wstring* statusText);
    void GetProgress(bool* stopFlag, std::wstring* statusText, std::wstring* currentFile);
    bool IsStopFlagSet();
    RunState GetRunState();
    // True once no worker runs the batch any more: it has finished (or
    // stopped), or it was never started. A stop flag set by RequestStop
    // while a file is still in work does not end it.
    bool HasEnded();

    // Every file the batch did not do, in the order met, with its reason. A
    // file the batch does not act on by design (a plain file met while
    // unlocking a folder, a link met inside a walked folder) is not one;
    // neither is a file left untouched because of a stop. Complete once the
    // worker has ended; safe to read at any time.
    std::vector<corva::BatchFailure> Failures();
    // True when the user's stop came before the end: something was left
    // untouched because of it.
    bool WasCancelled();
    // Files the batch has locked, unlocked or shredded so far.
    size_t FilesDone();
    // Failures, cancel and count together, for a summary.
    corva::BatchReport Report();
    // How a summary says what the batch does to a file: "locked", ...
    virtual std::wstring DoneVerb() const { return L"done"; }

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

    // Stop flag read under the mutex (checked before every path and file,
    // and between the chunks of a file). Once it has been seen set, the
    // batch counts as cancelled.
    bool StopRequested();
    // Before the first path: the count line for total paths, none handled.
    void ReportStarting(int total);
    // After a path: percent done and the status text for total and handled.
    void ReportHandled(int total, int handled);
    // At the end of the batch: sets the stop flag.
    void MarkFinished();
    // The shape every batch runs in: the selected paths from the last to the
    // first, each handed to each, with the stop checked before and the
    // status text set around every one; then MarkFinished. Returns 0.
    template <class Each>
    int ForEachSelectedPath(Each each) {
        const int total = static_cast<int>(paths_.size());
        for (int i = total - 1; i >= 0; --i) {
            if (StopRequested()) break;
            if (i == total - 1) ReportStarting(total);
            each(paths_[static_cast<size_t>(i)]);
            ReportHandled(total, total - i);
        }
        MarkFinished();
        return 0;
    }
    // A file the batch leaves as it is, and why. Any thread.
    void RecordFailure(const std::wstring& path, corva::FailureReason reason);
    // The file (or folder) the worker takes up now. Any thread.
    void SetCurrentFile(const std::wstring& path);
    // One more file locked, unlocked or shredded. Any thread.
    void CountFileDone();
    // Whether a file is one of the protected paths (the same file, by its
    // identity, under whatever name). byName: only a file whose name is that
    // of a protected file can be one (the cheap test for files met in a
    // walk; a selected path is always checked by identity).
    bool IsProtected(const std::wstring& path, bool byName);
    // Every derived class calls this first in its destructor, so that the
    // worker never runs into a half-destroyed object.
    void StopAndWait() { Stop(); }

    FileLog* log_;
    corva::SecretText password_;  // lock and unlock batches only
    std::vector<std::wstring> paths_;

private:
    friend class BatchWork;
    void Worker(int parameter);

    plat::Mutex mutex_;      // guards the fields below it up to percentDone_
    bool stopFlag_ = false;
    bool finished_ = false;  // the worker has reached the end of the batch
    bool cancelled_ = false;
    RunState runState_ = kIdle;
    std::wstring statusText_;
    std::wstring currentFile_;
    std::vector<corva::BatchFailure> failures_;
    size_t filesDone_ = 0;
    // Set before Start, read-only while the worker runs.
    std::vector<std::wstring> protectedPaths_;
    std::vector<plat::FileId> protectedIds_;
    std::vector<std::wstring> protectedNames_;
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
    std::wstring DoneVerb() const override { return L"locked"; }

protected:
    int Run(int parameter) override;
};

// Unlocks every selected path (UnlockPath) with the password.
class UnlockBatch final : public BatchProgress {
public:
    UnlockBatch(const std::vector<std::wstring>& paths, const std::string& password, FileLog* log);
    ~UnlockBatch() override;
    std::wstring DoneVerb() const override { return L"unlocked"; }

protected:
    int Run(int parameter) override;
};

// Shreds every selected path. A file (or a link): ShredPath, and when that
// succeeded DeletePath. A folder: walked file by file, each file wiped and
// then deleted (the library loaded once for the folder), links removed as
// links, and each folder removed once it is empty.
// wipeLibrary empty: kWipeLibraryName beside the running module.
class ShredBatch final : public BatchProgress {
public:
    explicit ShredBatch(const std::vector<std::wstring>& paths, FileLog* log = nullptr,
                        const std::wstring& wipeLibrary = std::wstring());
    ~ShredBatch() override;
    std::wstring DoneVerb() const override { return L"shredded"; }

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

// A folder: its tree walked and every file handed to the lock (unlock)
// pipeline, several at once; a file: the pipeline directly. Links, FIFOs,
// sockets and devices are left alone (false at the top, skipped inside a
// walk), and so are plain files in an unlocked folder. A file that fails is
// left as it was and the walk goes on; the result is false then.
bool LockPath(const std::wstring& path, const char* password, FileLog* log);
bool UnlockPath(const std::wstring& path, const char* password, FileLog* log);

// Calls the wiping library on the path: loaded for this one call, its
// export called with "dwipe-4.2.exe", "-7", "-f", "-n", "2", path (in the
// system ANSI code page), then unloaded. True exactly when the call
// returned 0; false when the library or the export is missing, or when the
// path cannot be handed over exactly (WipeArgument).
bool ShredPath(const std::wstring& path);
// The same with the library at an explicit full path.
bool ShredPath(const std::wstring& path, const std::wstring& libraryPath);
// The path as the wiping library takes it, in the ANSI code page. A name
// that does not convert back to itself (a character the code page lacks, or
// one it maps to a look-alike, which could name another file) goes by its
// short (8.3) name when that converts exactly and names the same file;
// otherwise false.
bool WipeArgument(const std::wstring& path, std::string* narrow);

// A file (or a link): deleted. A folder: walked, files deleted and folders
// removed, the folder itself last; links inside are removed as links.
// FIFOs, sockets and devices are never deleted (nothing wipes them).
bool DeletePath(const std::wstring& path, bool isFolder);
