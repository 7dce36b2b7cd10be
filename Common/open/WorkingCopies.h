// Working copies: a locked file opened in another program is unlocked into a
// private working folder of the current user, watched until that program is
// done with it, then locked again over its locked file when it changed, and
// shredded. What is kept beside a copy (its record) says where it came from
// and how it looked when unlocked; it holds no password, no key and no
// digest of the content.
//
// Layout under the root (LocalAppData/Corvastine/Open):
//     ID.open        the record
//     ID/NAME        the working copy, under the plain name of its locked file
// ID is 32 hexadecimal digits. Nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/LockedFile.h"
#include "platform/OpenSupport.h"
#include "platform/Platform.h"

class FileLog;

namespace corva {

// Where a working copy came from and how it and its locked file looked when
// it was unlocked. copyKnown is false while the copy is being made.
struct WorkingRecord {
    std::wstring lockedPath;
    bool copyKnown = false;
    int64_t copySize = 0;
    plat::FileTime copyModified;
    bool lockedKnown = false;
    int64_t lockedSize = 0;
    plat::FileTime lockedModified;
};
// The record's text (UTF-8 lines) and back; Parse refuses anything else.
std::string FormatWorkingRecord(const WorkingRecord& record);
bool ParseWorkingRecord(const std::string& text, WorkingRecord* record);

// One working copy found under the root.
struct WorkingEntry {
    std::wstring id;
    std::wstring folder;      // ROOT/ID
    std::wstring recordPath;  // ROOT/ID.open
    std::wstring copyPath;    // ROOT/ID/NAME; empty when the folder holds no file
    bool hasRecord = false;
    WorkingRecord record;
    // The plain name shown to the user: the copy's name, or the locked
    // file's name without ".corvastine".
    std::wstring DisplayName() const;
};

// The root under the user's local application-data folder; empty when that
// folder is unknown.
std::wstring DefaultWorkingRoot();

class WorkingArea {
public:
    explicit WorkingArea(std::wstring root) : root_(std::move(root)) {}
    const std::wstring& Root() const { return root_; }
    // Creates the root (and its parent folder) readable by the current
    // user only, or sets those permissions again. False when it cannot.
    bool Prepare() const;
    // Every entry under the root: each ID folder and each record, paired.
    std::vector<WorkingEntry> Entries() const;
    // The entry whose record names this locked file.
    bool FindByLockedPath(const std::wstring& lockedPath, WorkingEntry* entry) const;

private:
    std::wstring root_;
};

// How long to wait before the next look at a file in use: starts short and
// doubles up to a ceiling, so that a quick program is noticed at once and a
// long session costs little.
class PollBackoff {
public:
    static constexpr uint32_t kFirstMs = 250;
    static constexpr uint32_t kCeilingMs = 4000;
    uint32_t Next();
    void Reset() { next_ = kFirstMs; }

private:
    uint32_t next_ = kFirstMs;
};

// Whether the program that shows a working copy is done with it: its
// process (where one was kept) has ended and the file is not held open by
// any program, seen on two looks in a row (a program that saves by writing
// a new file and renaming it over the old holds neither for a moment).
class DoneWatch {
public:
    // One look; processRunning: whether the kept process still runs (false
    // when there is none). True once done.
    bool Look(bool processRunning, plat::FileUse use);

private:
    int quietLooks_ = 0;
};

// Whether a copy differs from what was unlocked (size or modification
// time); Missing when it is gone.
enum class CopyChange { Unchanged, Changed, Missing };
CopyChange CompareCopy(const WorkingRecord& record, const std::wstring& copyPath);

// What to do with one entry.
enum class RecoveryAction {
    Tidy,          // no copy left: the record and the folder go
    Shred,         // unchanged since it was unlocked: shredded
    Relock,        // changed: locked again over its locked file, then shredded
    RelockBeside,  // changed, and its locked file changed or went meanwhile
                   // into a folder that is gone: locked into a free name beside it
    KeepInUse,     // still held by a program: left for a later look
    KeepUnknown,   // a copy without a record: nothing says where it belongs; left
};
struct RecoveryItem {
    WorkingEntry entry;
    RecoveryAction action = RecoveryAction::KeepUnknown;
    std::wstring target;  // the locked file to write (Relock, RelockBeside)
};
std::vector<RecoveryItem> PlanRecovery(const std::vector<WorkingEntry>& entries);
// Whether the plan locks anything again, which the user is asked about first.
bool PlanNeedsQuestion(const std::vector<RecoveryItem>& plan);
// The question, naming the files to lock again.
std::wstring RecoveryQuestion(const std::vector<RecoveryItem>& plan);
// A free locked name beside lockedPath for a changed copy whose locked file
// moved on: "NAME (edited N).EXT.corvastine".
std::wstring FreeBesideName(const std::wstring& lockedPath);

// What finishing one entry came to.
enum class FinishStatus {
    Shredded,       // unchanged: the copy was shredded
    Relocked,       // changed: locked again, the copy shredded
    RelockedBeside, // changed: locked into a new name beside the old, the copy shredded
    Tidied,         // there was no copy
    NotRelocked,    // locking again failed: the copy and its record are kept
    NotShredded,    // unchanged or locked again, but the copy could not be shredded: kept
    InUse,          // still held by a program: nothing done
    Unknown,        // a copy without a record: nothing done
    Declined,       // the user chose not to lock it again: kept
};
struct FinishOutcome {
    FinishStatus status = FinishStatus::Unknown;
    EngineResult code = kOk;     // the relock's result, for NotRelocked
    std::wstring name;           // the plain name
    std::wstring target;         // the locked file written
};
// Carries out one planned item. wipeLibrary: empty for the wiping library
// beside the running module. relock: false when the user declined.
FinishOutcome CarryOut(const RecoveryItem& item, const char* password, bool relock, const std::wstring& wipeLibrary,
                       FileLog* log);
// Plans and carries out one entry whose program is done.
FinishOutcome FinishEntry(const WorkingEntry& entry, const char* password, const std::wstring& wipeLibrary,
                          FileLog* log);
// The user's message for an outcome: what was done, or what was not.
std::wstring DescribeFinish(const FinishOutcome& outcome);

// Unlocking a locked file into a new working copy.
enum class OpenStatus { Opened, AlreadyOpen, NoWorkingFolder, Failed };
struct OpenOutcome {
    OpenStatus status = OpenStatus::Failed;
    EngineResult code = kOk;  // the unlock's result, for Failed
    WorkingEntry entry;
};
// Writes the record, then unlocks into ID/NAME, then completes the record
// with the copy's size and time. A failure removes what was made.
OpenOutcome UnlockForEditing(const WorkingArea& area, const std::wstring& lockedPath, const char* password,
                             FileLog* log);
// The user's message for a failed open.
std::wstring DescribeOpenFailure(const OpenOutcome& outcome, const std::wstring& lockedPath);

}  // namespace corva
