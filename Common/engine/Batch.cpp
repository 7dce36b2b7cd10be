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

// The last part of a path.
std::wstring NameOf(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"/\\");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// Names and paths compared as the file system does: without regard to case
// on Windows (for the letters of the ASCII range, which the names of the
// programs' own files are made of).
bool SameText(const std::wstring& a, const std::wstring& b) {
#ifdef _WIN32
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i], y = b[i];
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x - L'A' + L'a');
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y - L'A' + L'a');
        if (x != y) return false;
    }
    return true;
#else
    return a == b;
#endif
}

// The name an unlock gives a locked file's content.
std::wstring RestoredName(const std::wstring& locked) {
    return locked.substr(0, locked.size() - std::wcslen(corva::kLockedExtension));
}

using WipeFn = int(CORVA_WIPE_CALL*)(int, char**);

// The wiping library, loaded for one selected path (a file, or every file of
// a folder) and unloaded with the object.
class Wiper {
public:
    explicit Wiper(const std::wstring& libraryPath) {
        if (!libraryPath.empty() && library_.Load(libraryPath))
            wipe_ = reinterpret_cast<WipeFn>(library_.Symbol(kWipeExportName));
    }
    bool Ready() const { return wipe_ != nullptr; }
    // True exactly when the library returned 0 for the path.
    bool Wipe(const std::string& narrowPath) {
        if (!wipe_) return false;
        std::string args[6] = {"dwipe-4.2.exe", "-7", "-f", "-n", "2", narrowPath};
        char* argv[7];
        for (int i = 0; i < 6; ++i) argv[i] = &args[i][0];
        argv[6] = nullptr;
        return wipe_(6, argv) == 0;
    }

private:
    plat::Library library_;
    WipeFn wipe_ = nullptr;
};

}  // namespace

// The work of one selected path, for a batch (which hears of every file it
// leaves, of the file under work and of every file done, and whose stop is
// polled between files and chunks) or on its own (the free LockPath,
// UnlockPath). A failing file is left as it was and the work goes on.
class BatchWork {
public:
    BatchWork(BatchProgress* batch, FileLog* log) : batch_(batch), log_(log) {}

    // False when anything was not done.
    bool LockOrUnlock(const std::wstring& path, const char* password, bool unlock);
    bool Shred(const std::wstring& path, const std::wstring& libraryPath);

private:
    // A file the walk found to lock or unlock; refused: one of the
    // protected files (or, unlocking, one would be replaced).
    struct Item {
        std::wstring path;
        bool refused;
    };
    struct Outcome {
        int result = corva::kOk;
        plat::IoError cause = plat::IoError::None;
    };

    bool Stopping() { return batch_ && batch_->StopRequested(); }
    void Working(const std::wstring& path) {
        if (batch_) batch_->SetCurrentFile(path);
    }
    void Done() {
        if (batch_) batch_->CountFileDone();
    }
    bool Protected(const std::wstring& path, bool byName) { return batch_ && batch_->IsProtected(path, byName); }
    void Failed(const std::wstring& path, corva::FailureReason reason) {
        ok_ = false;
        // Not there because its drive went away: say so.
        if (reason == corva::FailureReason::Missing && plat::ProbeEntry(path) == plat::IoError::DriveGone)
            reason = corva::FailureReason::DriveGone;
        if (batch_) batch_->RecordFailure(path, reason);
    }
    void FailedWith(const std::wstring& path, int result, plat::IoError cause) {
        corva::FailureReason reason;
        if (corva::ReasonForEngineResult(result, cause, &reason)) Failed(path, reason);
        else ok_ = false;  // stopped: left as it was
    }

    void Collect(const std::wstring& folder, bool unlock, std::vector<Item>* items);
    void Process(const std::vector<Item>& items, const char* password, bool unlock);
    void ShredTree(const std::wstring& folder, Wiper& wiper);
    void ShredFile(const std::wstring& path, Wiper& wiper);
    corva::FailureReason WhyNotWiped(const std::wstring& path, bool libraryReady);

    BatchProgress* batch_;
    FileLog* log_;
    bool ok_ = true;
};

bool BatchWork::LockOrUnlock(const std::wstring& path, const char* password, bool unlock) {
    const plat::EntryKind kind = plat::KindOf(path);
    if (kind == plat::EntryKind::Link) {
        LogTo(log_, kLogWarn, unlock ? "[UnlockPath] %s is a link, left alone." : "[LockPath] %s is a link, left alone.",
              plat::WideToNarrow(path).c_str());
        Failed(path, corva::FailureReason::Link);
        return false;
    }
    std::vector<Item> items;
    if (kind == plat::EntryKind::Folder) {
        Collect(path, unlock, &items);
    } else {
        // A selected plain file has nothing to unlock: not done, yet no
        // failure of the file either.
        if (unlock && kind == plat::EntryKind::File && !HasLockedExtension(path)) return false;
        Working(path);
        const bool refused = unlock ? HasLockedExtension(path) && Protected(RestoredName(path), false)
                                    : Protected(path, false);
        items.push_back({path, refused});
    }
    Process(items, password, unlock);
    if (kind != plat::EntryKind::Folder) CleanFolder(plat::ParentFolder(path), log_);
    return ok_;
}

// The files of a tree in the walk's order (depth first, sub-folders in
// place), as the folder walk finds them; links, FIFOs, sockets and devices
// are passed over and never entered. Stale temporaries of earlier versions
// go as the walk meets them.
void BatchWork::Collect(const std::wstring& folder, bool unlock, std::vector<Item>* items) {
    if (Stopping()) return;
    Working(folder);
    std::vector<std::wstring> names;
    plat::IoError error = plat::IoError::None;
    if (!plat::ListFolder(folder, &names, &error)) {
        Failed(folder, corva::ReasonForIoError(error));
        return;
    }
    for (const std::wstring& name : names) {
        const std::wstring path = plat::JoinPath(folder, name);
        switch (plat::KindOf(path)) {
            case plat::EntryKind::Folder: Collect(path, unlock, items); break;
            case plat::EntryKind::File:
                if (corva::IsStaleTemporary(path)) {
                    plat::RemoveFile(path);
                } else if (!unlock) {
                    items->push_back({path, Protected(path, true)});
                } else if (HasLockedExtension(path)) {  // a plain file among the locked ones: nothing to unlock
                    items->push_back({path, Protected(RestoredName(path), true)});
                }
                break;
            default: break;
        }
    }
}

// The files handed to the pipeline by several workers at once; each is
// still locked or unlocked whole, flushed and verified before its other
// form is deleted. Failures are recorded in the walk's order.
void BatchWork::Process(const std::vector<Item>& items, const char* password, bool unlock) {
    const unsigned workers = corva::FileWorkerCount();
    // Locking: each worker makes its files' headers and keys two at a time,
    // once some worker will lock more than one file.
    std::vector<std::unique_ptr<corva::LockKeySource>> keys(workers);
    if (!unlock && items.size() > workers)
        for (auto& k : keys) k.reset(new corva::LockKeySource(password));
    std::vector<Outcome> outcomes(items.size());
    corva::RunFileJobsOnWorkers(
        items.size(), workers,
        [&](size_t i, unsigned worker) {
            Outcome& outcome = outcomes[i];
            if (items[i].refused) return false;
            if (Stopping()) {
                outcome.result = corva::kCancelled;
                return false;
            }
            Working(items[i].path);
            corva::PipelineControl control;
            control.stopRequested = [this] { return Stopping(); };
            outcome.result = unlock ? corva::UnlockFile(items[i].path, password, true, log_, &control)
                                    : corva::LockFile(items[i].path, password, log_, keys[worker].get(), &control);
            outcome.cause = control.cause;
            return outcome.result == corva::kOk;
        },
        [&](size_t i, bool ok) {
            if (ok) Done();
            else if (items[i].refused) Failed(items[i].path, corva::FailureReason::OwnFile);
            else FailedWith(items[i].path, outcomes[i].result, outcomes[i].cause);
        },
        false);
}

bool BatchWork::Shred(const std::wstring& path, const std::wstring& libraryPath) {
    if (Protected(path, false)) {
        Failed(path, corva::FailureReason::OwnFile);
        return false;
    }
    const plat::EntryKind kind = plat::KindOf(path);
    if (kind == plat::EntryKind::Folder) {
        Wiper wiper(libraryPath);
        ShredTree(path, wiper);
        return ok_;
    }
    // A file, a link (which the library counts as wiped; the link itself is
    // then removed, never its target), or a name that is gone.
    Working(path);
    std::string narrow;
    if (!WipeArgument(path, &narrow)) {
        LogTo(log_, kLogWarn, "[ShredPath] %s has no exact ANSI name, left in place.", plat::WideToNarrow(path).c_str());
        Failed(path, kind == plat::EntryKind::Missing ? corva::FailureReason::Missing
                                                      : corva::FailureReason::NameNotShreddable);
        return false;
    }
    Wiper wiper(libraryPath);
    if (!wiper.Wipe(narrow)) {
        LogTo(log_, kLogWarn, "[ShredPath] %s not wiped, left in place.", plat::WideToNarrow(path).c_str());
        Failed(path, WhyNotWiped(path, wiper.Ready()));
        return false;
    }
    if (!DeletePath(path, false)) {
        const plat::IoError error = plat::LastIoError();
        LogTo(log_, kLogWarn, "[ShredPath] %s wiped, not all of it deleted.", plat::WideToNarrow(path).c_str());
        // FIFOs, sockets and devices hold nothing to wipe and stay.
        if (kind == plat::EntryKind::Link) Failed(path, corva::FailureReason::Link);
        else if (kind != plat::EntryKind::Special) Failed(path, corva::ReasonForIoError(error));
        return false;
    }
    Done();
    return true;
}

// A folder shredded file by file, depth first: each file wiped and deleted
// before the next is taken up, links removed as links (one that cannot be
// is left, with its folder), and the folder removed once it is empty.
void BatchWork::ShredTree(const std::wstring& folder, Wiper& wiper) {
    if (Stopping()) return;
    Working(folder);
    std::vector<std::wstring> names;
    plat::IoError error = plat::IoError::None;
    if (!plat::ListFolder(folder, &names, &error)) {
        Failed(folder, corva::ReasonForIoError(error));
        return;
    }
    for (const std::wstring& name : names) {
        if (Stopping()) return;
        const std::wstring path = plat::JoinPath(folder, name);
        switch (plat::KindOf(path)) {
            case plat::EntryKind::Folder: ShredTree(path, wiper); break;
            case plat::EntryKind::File: ShredFile(path, wiper); break;
            case plat::EntryKind::Link: plat::RemoveLink(path); break;
            default: break;  // FIFOs, sockets, devices: nothing wipes them, so nothing deletes them
        }
    }
    if (Stopping()) return;
    if (!plat::RemoveFolder(folder)) {
        // A folder that still holds what was left is no failure of its own.
        error = plat::LastIoError();
        std::vector<std::wstring> left;
        if (plat::ListFolder(folder, &left) && left.empty()) Failed(folder, corva::ReasonForIoError(error));
    }
}

void BatchWork::ShredFile(const std::wstring& path, Wiper& wiper) {
    if (Protected(path, true)) {
        Failed(path, corva::FailureReason::OwnFile);
        return;
    }
    Working(path);
    std::string narrow;
    if (!WipeArgument(path, &narrow)) {
        LogTo(log_, kLogWarn, "[ShredPath] %s has no exact ANSI name, left in place.", plat::WideToNarrow(path).c_str());
        Failed(path, corva::FailureReason::NameNotShreddable);
        return;
    }
    if (!wiper.Wipe(narrow)) {
        LogTo(log_, kLogWarn, "[ShredPath] %s not wiped, left in place.", plat::WideToNarrow(path).c_str());
        Failed(path, WhyNotWiped(path, wiper.Ready()));
        return;
    }
    if (!plat::RemoveFile(path)) {
        const plat::IoError error = plat::LastIoError();
        LogTo(log_, kLogWarn, "[ShredPath] %s wiped, not deleted.", plat::WideToNarrow(path).c_str());
        Failed(path, corva::ReasonForIoError(error));
        return;
    }
    Done();
}

// The library says only that it failed: the file is opened for writing, as
// the library opens it, to tell a file held by another program or one that
// may not be written from any other failure.
corva::FailureReason BatchWork::WhyNotWiped(const std::wstring& path, bool libraryReady) {
    if (!libraryReady) return corva::FailureReason::NotWiped;
    const plat::IoError missing = plat::ProbeEntry(path);
    if (missing != plat::IoError::None) return corva::ReasonForIoError(missing);
    if (plat::KindOf(path) != plat::EntryKind::File || plat::IsReadOnly(path)) return corva::FailureReason::NotWiped;
    plat::File probe;
    if (probe.Open(path, plat::File::Mode::ReadWrite)) return corva::FailureReason::NotWiped;
    switch (probe.LastError()) {
        case plat::IoError::InUse:
        case plat::IoError::Access:
        case plat::IoError::DriveGone:
        case plat::IoError::NameTooLong: return corva::ReasonForIoError(probe.LastError());
        default: return corva::FailureReason::NotWiped;
    }
}

bool LockPath(const std::wstring& path, const char* password, FileLog* log) {
    return BatchWork(nullptr, log).LockOrUnlock(path, password, false);
}

bool UnlockPath(const std::wstring& path, const char* password, FileLog* log) {
    return BatchWork(nullptr, log).LockOrUnlock(path, password, true);
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

bool WipeArgument(const std::wstring& path, std::string* narrow) {
    if (path.empty()) return false;
    std::string n = plat::WideToNarrow(path);
    if (!n.empty() && plat::NarrowToWide(n) == path) {
        *narrow = n;
        return true;
    }
    const std::wstring shortName = plat::ShortPathName(path);
    if (shortName.empty() || shortName == path) return false;
    n = plat::WideToNarrow(shortName);
    if (n.empty() || plat::NarrowToWide(n) != shortName) return false;
    plat::FileId a, b;
    if (!plat::GetFileId(path, &a) || !plat::GetFileId(shortName, &b) || !(a == b)) return false;
    *narrow = n;
    return true;
}

bool ShredPath(const std::wstring& path) { return ShredPath(path, plat::ModuleFilePath(kWipeLibraryName)); }

bool ShredPath(const std::wstring& path, const std::wstring& libraryPath) {
    if (path.empty() || libraryPath.empty()) return false;
    std::string narrow;
    if (!WipeArgument(path, &narrow)) return false;
    Wiper wiper(libraryPath);
    return wiper.Wipe(narrow);
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

void BatchProgress::RequestStop() {
    plat::MutexLock m(mutex_);
    stopFlag_ = true;
}

void BatchProgress::Stop() {
    RequestStop();
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
    GetProgress(stopFlag, statusText, nullptr);
}

void BatchProgress::GetProgress(bool* stopFlag, std::wstring* statusText, std::wstring* currentFile) {
    plat::MutexLock m(mutex_);
    if (stopFlag) *stopFlag = stopFlag_;
    if (statusText) *statusText = statusText_;
    if (currentFile) *currentFile = currentFile_;
}

bool BatchProgress::IsStopFlagSet() {
    plat::MutexLock m(mutex_);
    return stopFlag_;
}

BatchProgress::RunState BatchProgress::GetRunState() {
    plat::MutexLock m(mutex_);
    return runState_;
}

bool BatchProgress::HasEnded() {
    plat::MutexLock m(mutex_);
    return finished_ || runState_ == kIdle;
}

std::vector<corva::BatchFailure> BatchProgress::Failures() {
    plat::MutexLock m(mutex_);
    return failures_;
}

bool BatchProgress::WasCancelled() {
    plat::MutexLock m(mutex_);
    return cancelled_;
}

size_t BatchProgress::FilesDone() {
    plat::MutexLock m(mutex_);
    return filesDone_;
}

corva::BatchReport BatchProgress::Report() {
    corva::BatchReport report;
    report.doneVerb = DoneVerb();
    plat::MutexLock m(mutex_);
    report.failures = failures_;
    report.cancelled = cancelled_;
    report.filesDone = filesDone_;
    return report;
}

void BatchProgress::SetProtectedPaths(std::vector<std::wstring> paths) {
    protectedPaths_.clear();
    protectedIds_.clear();
    protectedNames_.clear();
    for (std::wstring& path : paths) {
        if (path.empty()) continue;
        plat::FileId id;
        if (plat::GetFileId(path, &id)) protectedIds_.push_back(id);
        protectedNames_.push_back(NameOf(path));
        protectedPaths_.push_back(std::move(path));
    }
}

bool BatchProgress::IsProtected(const std::wstring& path, bool byName) {
    if (protectedPaths_.empty()) return false;
    if (byName) {
        const std::wstring name = NameOf(path);
        bool named = false;
        for (const std::wstring& n : protectedNames_) named = named || SameText(n, name);
        if (!named) return false;
    }
    for (const std::wstring& p : protectedPaths_)
        if (SameText(p, path)) return true;
    // Another name of the same file: a short name, another spelling of the
    // path, a hard link.
    plat::FileId id;
    if (protectedIds_.empty() || !plat::GetFileId(path, &id)) return false;
    for (const plat::FileId& p : protectedIds_)
        if (p == id) return true;
    return false;
}

bool BatchProgress::StopRequested() {
    plat::MutexLock m(mutex_);
    if (stopFlag_ && !finished_) cancelled_ = true;
    return stopFlag_;
}

void BatchProgress::ReportStarting(int total) {
    wchar_t text[64];
    std::swprintf(text, sizeof text / sizeof text[0], kBatchStatusFormat, total, 0);
    std::wstring status(text);
    plat::MutexLock m(mutex_);
    statusText_.swap(status);
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
    finished_ = true;
}

void BatchProgress::RecordFailure(const std::wstring& path, corva::FailureReason reason) {
    corva::BatchFailure failure{path, reason};
    plat::MutexLock m(mutex_);
    failures_.push_back(std::move(failure));
}

void BatchProgress::SetCurrentFile(const std::wstring& path) {
    std::wstring copy(path);
    plat::MutexLock m(mutex_);
    currentFile_.swap(copy);
}

void BatchProgress::CountFileDone() {
    plat::MutexLock m(mutex_);
    ++filesDone_;
}

// ---------------------------------------------------------------- variants

LockBatch::LockBatch(const std::vector<std::wstring>& paths, const std::string& password, FileLog* log)
    : BatchProgress(paths, log) {
    password_ = corva::SecretText(password);
}

LockBatch::~LockBatch() { StopAndWait(); }

int LockBatch::Run(int) {
    return ForEachSelectedPath(
        [this](const std::wstring& path) { BatchWork(this, log_).LockOrUnlock(path, password_.CStr(), false); });
}

UnlockBatch::UnlockBatch(const std::vector<std::wstring>& paths, const std::string& password, FileLog* log)
    : BatchProgress(paths, log) {
    password_ = corva::SecretText(password);
}

UnlockBatch::~UnlockBatch() { StopAndWait(); }

int UnlockBatch::Run(int) {
    return ForEachSelectedPath(
        [this](const std::wstring& path) { BatchWork(this, log_).LockOrUnlock(path, password_.CStr(), true); });
}

ShredBatch::ShredBatch(const std::vector<std::wstring>& paths, FileLog* log, const std::wstring& wipeLibrary)
    : BatchProgress(paths, log), wipeLibrary_(wipeLibrary) {}

ShredBatch::~ShredBatch() { StopAndWait(); }

int ShredBatch::Run(int) {
    const std::wstring library = wipeLibrary_.empty() ? plat::ModuleFilePath(kWipeLibraryName) : wipeLibrary_;
    return ForEachSelectedPath([this, &library](const std::wstring& path) { BatchWork(this, log_).Shred(path, library); });
}
