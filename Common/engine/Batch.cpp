// Batches over selected paths, the folder walk and the call of the wiping
// library.
#include "engine/Batch.h"

#include <cwchar>
#include <exception>
#include <memory>
#include <vector>

#include "engine/FileWorkers.h"
#include "engine/LockedFile.h"
#include "log/FileLog.h"

#ifdef _WIN32
#define CORVA_WIPE_CALL __cdecl
#else
#define CORVA_WIPE_CALL
#endif

const wchar_t kBatchStatusFormat[] = L"Tocal files:%d processed files:%d";
#ifdef _WIN32
const wchar_t kWipeLibraryName[] = L"dwipe.dll";
#else
const wchar_t kWipeLibraryName[] = L"libdwipe.so";
#endif
const char kWipeExportName[] = "dwipefile";

namespace {

// Walk operations. A link met inside a walk is never acted through: lock and
// unlock skip it, deletion removes the link itself. FIFOs, sockets and
// devices are never opened (lock and unlock skip them) and never deleted
// (the wiping library does not wipe them).
// Stale temporaries of earlier versions go when the walk meets them, or
// when a file of theirs is selected by itself.
void CleanFolder(const std::wstring& folder, FileLog* log) {
    std::vector<std::wstring> names;
    if (plat::ListFolder(folder, &names)) corva::RemoveStaleTemporaries(folder, names, log);
}

bool DeleteEntry(const std::wstring& path, void*) {
    switch (plat::KindOf(path)) {
        case plat::EntryKind::Link: return plat::RemoveLink(path);
        case plat::EntryKind::Folder: return plat::RemoveFolder(path);
        case plat::EntryKind::File: return plat::RemoveFile(path);
        case plat::EntryKind::Special: return false;  // never wiped, so never deleted
        case plat::EntryKind::Missing: return true;
    }
    return false;
}

}  // namespace

// ---------------------------------------------------------------- walk

bool WalkFolder(const std::wstring& folder, void* context, WalkOperation operation) {
    // A link handed in as the folder is not entered; the operation decides
    // what to do with the link itself.
    if (plat::IsLink(folder)) return operation(folder, context);
    std::vector<std::wstring> names;
    if (!plat::ListFolder(folder, &names)) return false;
    // One failing entry does not stop the walk: every other entry is still
    // handled, and the result tells that something failed.
    bool ok = true;
    for (const std::wstring& name : names) {
        const std::wstring path = plat::JoinPath(folder, name);
        if (plat::IsDirectory(path)) {  // false for links: they are handed over as entries
            if (!WalkFolder(path, context, operation)) ok = false;
        } else if (!operation(path, context)) {
            ok = false;
        }
    }
    return operation(folder, context) && ok;
}

namespace {

// Collects the entries a lock (or unlock) walk acts on: plain files, and
// for unlocking only those with the locked extension; links, FIFOs, sockets,
// devices and folders are passed over as the walk passes them over.
struct Collection {
    bool unlock;
    std::vector<std::wstring> files;
};

bool CollectEntry(const std::wstring& path, void* context) {
    auto* c = static_cast<Collection*>(context);
    if (plat::KindOf(path) != plat::EntryKind::File) return true;
    // A stale temporary of an earlier version goes as the walk meets it.
    if (corva::IsStaleTemporary(path)) return plat::RemoveFile(path);
    // A plain file among the locked ones is nothing to unlock.
    if (c->unlock && !HasLockedExtension(path)) return true;
    c->files.push_back(path);
    return true;
}

// A folder's files, in the walk's order, handed to the pipeline by several
// workers at once; each file is still locked or unlocked whole, flushed and
// verified before its other form is deleted. As in the walk, every file is
// tried and a failure (or a folder that could not be listed) is reported at
// the end.
bool ForEachFileInFolder(const std::wstring& folder, const char* password, FileLog* log, bool unlock) {
    Collection collection{unlock, {}};
    const bool listed = WalkFolder(folder, &collection, CollectEntry);
    const std::vector<std::wstring>& files = collection.files;
    const unsigned workers = corva::FileWorkerCount();
    // Locking: each worker makes its files' headers and keys two at a time,
    // once some worker will lock more than one file.
    std::vector<std::unique_ptr<corva::LockKeySource>> keys(workers);
    if (!unlock && files.size() > workers)
        for (auto& k : keys) k.reset(new corva::LockKeySource(password));
    const bool all = corva::RunFileJobsOnWorkers(
        files.size(), workers,
        [&](size_t i, unsigned worker) {
            if (unlock) return UnlockOneFile(files[i], password, log);
            return corva::LockFile(files[i], password, log, keys[worker].get()) == corva::kOk;
        },
        nullptr, false);
    return all && listed;
}

}  // namespace

bool LockPath(const std::wstring& path, const char* password, FileLog* log) {
    if (plat::IsLink(path)) {
        LogTo(log, kLogWarn, "[LockPath] %s is a link, left alone.", plat::WideToNarrow(path).c_str());
        return false;
    }
    if (plat::IsDirectory(path)) return ForEachFileInFolder(path, password, log, false);
    const bool ok = LockOneFile(path, password, log);
    CleanFolder(plat::ParentFolder(path), log);
    return ok;
}

bool UnlockPath(const std::wstring& path, const char* password, FileLog* log) {
    if (plat::IsLink(path)) {
        LogTo(log, kLogWarn, "[UnlockPath] %s is a link, left alone.", plat::WideToNarrow(path).c_str());
        return false;
    }
    if (plat::IsDirectory(path)) return ForEachFileInFolder(path, password, log, true);
    const bool ok = UnlockOneFile(path, password, log);
    CleanFolder(plat::ParentFolder(path), log);
    return ok;
}

bool DeletePath(const std::wstring& path, bool isFolder) {
    // Whatever the caller saw earlier, a link now at this name is removed as
    // a link and never walked.
    const plat::EntryKind kind = plat::KindOf(path);
    if (kind == plat::EntryKind::Link) return plat::RemoveLink(path);
    if (isFolder && kind == plat::EntryKind::Folder) return WalkFolder(path, nullptr, DeleteEntry);
    return kind == plat::EntryKind::File && plat::RemoveFile(path);
}

// ---------------------------------------------------------------- shred

bool ShredPath(const std::wstring& path) { return ShredPath(path, plat::ModuleFilePath(kWipeLibraryName)); }

bool ShredPath(const std::wstring& path, const std::wstring& libraryPath) {
    if (path.empty() || libraryPath.empty()) return false;
    // The library takes the path in the ANSI code page. A name that does not
    // convert back to itself (a character the code page lacks, or one it
    // maps to a look-alike) could name a different file: refuse it.
    std::string narrow = plat::WideToNarrow(path);
    if (narrow.empty() || plat::NarrowToWide(narrow) != path) return false;

    plat::Library library;
    if (!library.Load(libraryPath)) return false;
    using WipeFn = int(CORVA_WIPE_CALL*)(int, char**);
    auto wipe = reinterpret_cast<WipeFn>(library.Symbol(kWipeExportName));
    if (!wipe) return false;

    std::string args[6] = {"dwipe-4.2.exe", "-7", "-f", "-n", "2", narrow};
    char* argv[7];
    for (int i = 0; i < 6; ++i) argv[i] = &args[i][0];
    argv[6] = nullptr;
    const int result = wipe(6, argv);
    library.Unload();
    return result == 0;
}

// ---------------------------------------------------------------- batch

BatchProgress::BatchProgress(const std::vector<std::wstring>& paths, FileLog* log)
    : log_(log), paths_(paths), mutex_(std::wstring()) {}

BatchProgress::~BatchProgress() {
    Stop();
    password_.Wipe();
}

bool BatchProgress::Start(int parameter) {
    std::lock_guard<std::mutex> hold(threadLock_);
    {
        plat::MutexLock m(mutex_);
        if (runState_ == kRunning) return false;
        // Running from here on, so that a second Start is refused even
        // before the new worker has begun.
        runState_ = kRunning;
        runParameter_ = parameter;
    }
    try {
        if (worker_.joinable()) worker_.join();  // an earlier run, finished
        worker_ = std::thread(&BatchProgress::Worker, this, parameter);
    } catch (...) {
        plat::MutexLock m(mutex_);
        runState_ = kIdle;
        return false;
    }
    return true;
}

void BatchProgress::Worker(int parameter) {
    workerId_.store(std::this_thread::get_id());
    {
        plat::MutexLock m(mutex_);
        runState_ = kRunning;
    }
    int result = -1;
    try {
        result = Run(parameter);
    } catch (...) {
        // Out of memory or the like: the batch ends as if finished, so that
        // its watcher stops waiting.
        MarkFinished();
    }
    exitCode_.store(result);
    {
        plat::MutexLock m(mutex_);
        runState_ = kIdle;
    }
    workerId_.store(std::thread::id());
}

void BatchProgress::Stop() {
    {
        plat::MutexLock m(mutex_);
        stopFlag_ = true;
    }
    // The worker itself cannot wait for its own end.
    if (workerId_.load() == std::this_thread::get_id()) return;
    std::lock_guard<std::mutex> hold(threadLock_);
    if (worker_.joinable()) {
        try {
            worker_.join();
        } catch (...) {
        }
    }
}

void BatchProgress::GetProgress(bool* stopFlag, std::wstring* statusText) {
    plat::MutexLock m(mutex_);
    if (stopFlag) *stopFlag = stopFlag_;
    if (statusText) *statusText = statusText_;
}

bool BatchProgress::IsStopFlagSet() {
    plat::MutexLock m(mutex_);
    return stopFlag_;
}

BatchProgress::RunState BatchProgress::GetRunState() {
    plat::MutexLock m(mutex_);
    return runState_;
}

void BatchProgress::ReportHandled(int total, int handled) {
    if (total > 0) percentDone_.store(static_cast<int>(static_cast<int64_t>(handled) * 100 / total));
    wchar_t text[64];
    std::swprintf(text, sizeof text / sizeof text[0], kBatchStatusFormat, total, handled);
    std::wstring status(text);
    {
        plat::MutexLock m(mutex_);
        statusText_.swap(status);
    }
    if (afterPath_) afterPath_(this, handled, afterPathContext_);
}

void BatchProgress::MarkFinished() {
    plat::MutexLock m(mutex_);
    stopFlag_ = true;
}

// ---------------------------------------------------------------- variants

LockBatch::LockBatch(const std::vector<std::wstring>& paths, const std::string& password, FileLog* log)
    : BatchProgress(paths, log) {
    password_ = corva::SecretText(password);
}

LockBatch::~LockBatch() { StopAndWait(); }

int LockBatch::Run(int) {
    const int total = static_cast<int>(paths_.size());
    for (int i = total - 1; i >= 0; --i) {
        if (StopRequested()) break;
        LockPath(paths_[static_cast<size_t>(i)], password_.CStr(), log_);
        ReportHandled(total, total - i);
    }
    MarkFinished();
    return 0;
}

UnlockBatch::UnlockBatch(const std::vector<std::wstring>& paths, const std::string& password, FileLog* log)
    : BatchProgress(paths, log) {
    password_ = corva::SecretText(password);
}

UnlockBatch::~UnlockBatch() { StopAndWait(); }

int UnlockBatch::Run(int) {
    const int total = static_cast<int>(paths_.size());
    for (int i = total - 1; i >= 0; --i) {
        if (StopRequested()) break;
        UnlockPath(paths_[static_cast<size_t>(i)], password_.CStr(), log_);
        ReportHandled(total, total - i);
    }
    MarkFinished();
    return 0;
}

ShredBatch::ShredBatch(const std::vector<std::wstring>& paths, FileLog* log, const std::wstring& wipeLibrary)
    : BatchProgress(paths, log), wipeLibrary_(wipeLibrary) {}

ShredBatch::~ShredBatch() { StopAndWait(); }

int ShredBatch::Run(int) {
    const std::wstring library = wipeLibrary_.empty() ? plat::ModuleFilePath(kWipeLibraryName) : wipeLibrary_;
    const int total = static_cast<int>(paths_.size());
    for (int i = total - 1; i >= 0; --i) {
        if (StopRequested()) break;
        const std::wstring& path = paths_[static_cast<size_t>(i)];
        const bool isFolder = plat::IsDirectory(path);  // false for a link
        if (ShredPath(path, library)) {
            if (!DeletePath(path, isFolder))
                LogTo(log_, kLogWarn, "[ShredPath] %s wiped, not all of it deleted.", plat::WideToNarrow(path).c_str());
        } else {
            LogTo(log_, kLogWarn, "[ShredPath] %s not wiped, left in place.", plat::WideToNarrow(path).c_str());
        }
        ReportHandled(total, total - i);
    }
    MarkFinished();
    return 0;
}
