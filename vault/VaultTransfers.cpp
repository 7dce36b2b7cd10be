#include "VaultTransfers.h"

#include <cstring>
#include <cwctype>
#include <memory>

#include "VaultLayout.h"
#include "engine/LockedFile.h"
#include "engine/Progress.h"
#include "platform/Platform.h"

namespace corva::vault {

namespace {

// The last component of a path.
std::wstring NameOf(const std::wstring& path) {
    const size_t cut = path.find_last_of(L"/\\");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

// A path as compared with another: separators alike, no trailing one,
// letters folded (the system's names ignore case).
std::wstring Comparable(std::wstring path) {
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : static_cast<wchar_t>(std::towlower(c));
    while (path.size() > 1 && path.back() == L'\\') path.pop_back();
    return path;
}

// Whether inner is outer itself or lies inside it.
bool SameOrInside(const std::wstring& inner, const std::wstring& outer) {
    const std::wstring a = Comparable(inner), b = Comparable(outer);
    if (a.size() < b.size() || a.compare(0, b.size(), b) != 0) return false;
    return a.size() == b.size() || a[b.size()] == L'\\' || b.back() == L'\\';
}

bool NameTakenIn(const std::wstring& folder, const std::wstring& name) {
    return plat::PathExists(plat::JoinPath(folder, name));
}

// Why a pipeline left a file as it was; false when a stop left it.
bool ReasonFor(int result, const corva::PipelineControl& control, const std::wstring& vaultFolder,
               corva::FailureReason* reason) {
    if (!corva::ReasonForEngineResult(result, control.cause, reason)) return false;
    // A failure that left the vault folder out of reach is its drive's going.
    if (*reason != corva::FailureReason::NameTaken && !plat::IsDirectory(vaultFolder))
        *reason = corva::FailureReason::DriveGone;
    return true;
}

}  // namespace

VaultPlaces PlacesOf(const std::wstring& programFolder, const std::wstring& runningProgram) {
    return VaultPlaces{programFolder, VaultFolderOf(programFolder), runningProgram};
}

bool EnsureVaultFolder(const std::wstring& vaultFolder) {
    if (plat::IsDirectory(vaultFolder)) return true;
    if (plat::PathExists(vaultFolder)) return false;  // a file or a link of its name
    plat::CreateFolder(vaultFolder);
    return plat::IsDirectory(vaultFolder);
}

DropDecision DecideDrop(const std::wstring& path, const VaultPlaces& places) {
    const DropDecision refuse{DropAction::Refuse, corva::FailureReason::OwnFile};
    // The vault folder, anything in it, and any folder holding it (a whole
    // drive included): storing them would lock the vault into itself.
    if (SameOrInside(path, places.vaultFolder) || SameOrInside(places.vaultFolder, path)) return refuse;
    for (const wchar_t* name : {kVaultProgramName, kCryptoLibraryName}) {
        if (SameOrInside(path, places.programFolder + name)) return refuse;
    }
    if (!places.runningProgram.empty() && SameOrInside(path, places.runningProgram)) return refuse;
    switch (plat::KindOf(path)) {
    case plat::EntryKind::File: return DropDecision{DropAction::StoreFile, corva::FailureReason::Missing};
    case plat::EntryKind::Folder: return DropDecision{DropAction::StoreFolder, corva::FailureReason::Missing};
    case plat::EntryKind::Link: return DropDecision{DropAction::Refuse, corva::FailureReason::Link};
    case plat::EntryKind::Missing: return DropDecision{DropAction::Refuse, corva::FailureReason::Missing};
    case plat::EntryKind::Special: break;
    }
    return DropDecision{DropAction::Refuse, corva::FailureReason::AccessDenied};
}

// ---------------------------------------------------------------- in

VaultStoreBatch::VaultStoreBatch(const std::vector<std::wstring>& paths, const std::string& password,
                                 const VaultPlaces& places, FileLog* log)
    : BatchProgress(paths, log), places_(places) {
    password_ = corva::SecretText(password);
}

VaultStoreBatch::~VaultStoreBatch() { StopAndWait(); }

namespace {

// The bytes of the files a path holds (links and special files left out).
uint64_t BytesOf(const std::wstring& path) {
    switch (plat::KindOf(path)) {
    case plat::EntryKind::File: {
        int64_t size = 0;
        return plat::FileSize(path, &size) && size > 0 ? static_cast<uint64_t>(size) : 0;
    }
    case plat::EntryKind::Folder: {
        std::vector<std::wstring> names;
        uint64_t sum = 0;
        if (plat::ListFolder(path, &names))
            for (const std::wstring& name : names) sum += BytesOf(plat::JoinPath(path, name));
        return sum;
    }
    default: return 0;
    }
}

}  // namespace

void VaultStoreBatch::OnProgress(void* context, const char* stage, uint64_t done, uint64_t total) {
    static_cast<VaultStoreBatch*>(context)->ReportBytes(stage, done, total);
}

// A file is read twice: compressed into the vault, then read back there.
void VaultStoreBatch::ReportBytes(const char* stage, uint64_t done, uint64_t total) {
    if (totalBytes_ == 0 || total == 0) return;
    const bool second = std::strcmp(stage, "verify") == 0;
    const double share = (second ? 0.5 : 0.0) + 0.5 * static_cast<double>(done > total ? total : done) / total;
    const double bytes = static_cast<double>(doneBytes_) + share * static_cast<double>(fileBytes_);
    const double percent = bytes * 100.0 / static_cast<double>(totalBytes_);
    SetPercentDone(percent < 100.0 ? static_cast<int>(percent) : 100);
}

void VaultStoreBatch::Record(const std::wstring& path, int engineResult, const corva::PipelineControl& control) {
    corva::FailureReason reason;
    if (ReasonFor(engineResult, control, places_.vaultFolder, &reason)) RecordFailure(path, reason);
}

bool VaultStoreBatch::StoreFile(const std::wstring& source, const std::wstring& intoFolder, bool selected) {
    SetCurrentFile(source);
    // The program's own files, under whatever name (met in a walk: by name).
    if (IsProtected(source, !selected)) {
        RecordFailure(source, corva::FailureReason::OwnFile);
        return false;
    }
    int64_t size = 0;
    fileBytes_ = plat::FileSize(source, &size) && size > 0 ? static_cast<uint64_t>(size) : 0;
    const auto taken = [&](const std::wstring& name) { return NameTakenIn(intoFolder, name); };
    corva::PipelineControl control;
    control.stopRequested = [this] { return StopRequested(); };
    int result = corva::kDestinationExists;
    // A name that is taken between the choice and the naming is chosen again.
    for (int attempt = 0; attempt < 3 && result == corva::kDestinationExists; ++attempt) {
        const std::wstring name = FreeEntryName(NameOf(source), false, taken);
        if (name.empty()) break;
        control.cause = plat::IoError::None;
        result = corva::LockFileInto(source, plat::JoinPath(intoFolder, name + kLockedExtension), password_.CStr(),
                                     log_, keys_, &control);
    }
    doneBytes_ += fileBytes_;
    fileBytes_ = 0;
    if (result == corva::kOk) {
        CountFileDone();
        return true;
    }
    Record(source, result, control);
    return false;
}

void VaultStoreBatch::StoreTree(const std::wstring& source, const std::wstring& into) {
    SetCurrentFile(source);
    std::vector<std::wstring> names;
    plat::IoError error = plat::IoError::None;
    if (!plat::ListFolder(source, &names, &error)) {
        RecordFailure(source, corva::ReasonForIoError(error));
        return;
    }
    for (const std::wstring& name : names) {
        // A stop leaves the files not yet stored plain where they are.
        if (StopRequested()) return;
        const std::wstring path = plat::JoinPath(source, name);
        switch (plat::KindOf(path)) {
        case plat::EntryKind::File: StoreFile(path, into, false); break;
        case plat::EntryKind::Folder: StoreFolder(path, into); break;
        case plat::EntryKind::Link: RecordFailure(path, corva::FailureReason::Link); break;
        case plat::EntryKind::Special: RecordFailure(path, corva::FailureReason::AccessDenied); break;
        case plat::EntryKind::Missing: break;  // gone meanwhile
        }
    }
}

void VaultStoreBatch::StoreFolder(const std::wstring& source, const std::wstring& intoFolder) {
    const auto taken = [&](const std::wstring& name) { return NameTakenIn(intoFolder, name); };
    const std::wstring name = FreeEntryName(NameOf(source), true, taken);
    const std::wstring into = plat::JoinPath(intoFolder, name);
    if (name.empty()) {
        RecordFailure(source, corva::FailureReason::NameTaken);
        return;
    }
    if (!plat::CreateFolder(into)) {
        corva::PipelineControl control;
        control.cause = plat::LastIoError();
        Record(source, corva::kIoFailure, control);
        return;
    }
    StoreTree(source, into);
    // Emptied folders of the source go; a folder still holding a file that
    // was not stored stays, and so does its copy in the vault only when it
    // holds what was stored.
    plat::RemoveFolder(source);
    plat::RemoveFolder(into);
}

int VaultStoreBatch::Run(int) {
    const int total = static_cast<int>(paths_.size());
    ReportStarting(total);
    for (const std::wstring& path : paths_) totalBytes_ += BytesOf(path);
    // Headers and keys two at a time once more than one file is stored.
    std::unique_ptr<corva::LockKeySource> keys;
    if (total > 1 || (total == 1 && plat::IsDirectory(paths_.front())))
        keys.reset(new corva::LockKeySource(password_.CStr()));
    keys_ = keys.get();
    corva::SetThreadProgress(&VaultStoreBatch::OnProgress, this);
    for (int i = total - 1; i >= 0; --i) {
        if (StopRequested()) break;
        const std::wstring& path = paths_[static_cast<size_t>(i)];
        SetCurrentFile(path);
        const DropDecision decision = DecideDrop(path, places_);
        switch (decision.action) {
        case DropAction::StoreFile: StoreFile(path, places_.vaultFolder, true); break;
        case DropAction::StoreFolder: StoreFolder(path, places_.vaultFolder); break;
        case DropAction::Refuse: RecordFailure(path, decision.reason); break;
        }
        ReportHandled(total, total - i);
    }
    corva::SetThreadProgress(nullptr, nullptr);
    keys_ = nullptr;
    MarkFinished();
    return 0;
}

// ---------------------------------------------------------------- out

VaultTakeOutBatch::VaultTakeOutBatch(const std::vector<std::wstring>& entries, const std::string& password,
                                     const std::wstring& vaultFolder, FileLog* log)
    : BatchProgress(entries, log), vaultFolder_(vaultFolder) {
    password_ = corva::SecretText(password);
}

VaultTakeOutBatch::~VaultTakeOutBatch() { StopAndWait(); }

std::vector<std::wstring> VaultTakeOutBatch::TakenOut() const { return takenOut_; }
std::vector<std::wstring> VaultTakeOutBatch::Restored() const { return restored_; }

bool VaultTakeOutBatch::TakeOutFile(const std::wstring& locked) {
    SetCurrentFile(locked);
    corva::PipelineControl control;
    control.stopRequested = [this] { return StopRequested(); };
    const int result = corva::UnlockFile(locked, password_.CStr(), false, log_, &control);
    if (result == corva::kOk || result == corva::kLockedNotDeleted) {
        // Restored whole; a locked copy that could not be deleted stays listed.
        restored_.push_back(UnlockedPathOf(locked));
        CountFileDone();
        return true;
    }
    corva::FailureReason reason;
    if (ReasonFor(result, control, vaultFolder_, &reason)) RecordFailure(locked, reason);
    return false;
}

namespace {

// The locked files of a folder's tree; links are never followed.
bool CollectLocked(const std::wstring& path, void* context) {
    if (plat::KindOf(path) == plat::EntryKind::File && HasLockedExtension(path))
        static_cast<std::vector<std::wstring>*>(context)->push_back(path);
    return true;
}

}  // namespace

int VaultTakeOutBatch::Run(int) {
    const int total = static_cast<int>(paths_.size());
    ReportStarting(total);
    std::vector<bool> whole(paths_.size(), false);
    for (int i = total - 1; i >= 0; --i) {
        if (StopRequested()) break;
        const std::wstring& entry = paths_[static_cast<size_t>(i)];
        if (plat::IsDirectory(entry)) {
            std::vector<std::wstring> files;
            bool ok = WalkFolder(entry, &files, CollectLocked);
            if (!ok) RecordFailure(entry, corva::ReasonForIoError(plat::ProbeEntry(entry)));
            for (const std::wstring& file : files) ok = TakeOutFile(file) && ok;
            whole[static_cast<size_t>(i)] = ok;
        } else {
            whole[static_cast<size_t>(i)] = TakeOutFile(entry);
        }
        ReportHandled(total, total - i);
    }
    for (size_t i = 0; i < paths_.size(); ++i) {
        if (!whole[i]) continue;
        takenOut_.push_back(plat::IsDirectory(paths_[i]) ? paths_[i] : UnlockedPathOf(paths_[i]));
    }
    MarkFinished();
    return 0;
}

// ---------------------------------------------------------------- again

VaultRelockBatch::VaultRelockBatch(const std::vector<std::wstring>& plainFiles, const std::string& password,
                                   FileLog* log)
    : BatchProgress(plainFiles, log) {
    password_ = corva::SecretText(password);
}

VaultRelockBatch::~VaultRelockBatch() { StopAndWait(); }

int VaultRelockBatch::Run(int) {
    const int total = static_cast<int>(paths_.size());
    ReportStarting(total);
    for (int i = 0; i < total; ++i) {
        const std::wstring& path = paths_[static_cast<size_t>(i)];
        SetCurrentFile(path);
        corva::PipelineControl control;  // never stopped
        const int result = corva::LockFile(path, password_.CStr(), log_, nullptr, &control);
        corva::FailureReason reason;
        if (result == corva::kOk) CountFileDone();
        else if (corva::ReasonForEngineResult(result, control.cause, &reason)) RecordFailure(path, reason);
        ReportHandled(total, i + 1);
    }
    MarkFinished();
    return 0;
}

}  // namespace corva::vault
