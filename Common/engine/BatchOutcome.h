// What a batch did not do, file by file, and why: the reasons a batch
// records for the files it left as they were, their one-line texts, and the
// summary a program shows once the batch has ended. Portable; nothing here
// touches a file or a window.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace corva {

// Why one file of a batch was left as it was.
enum class FailureReason {
    InUse,             // open in another program (sharing/lock violation)
    NoRoom,            // the drive is full
    AccessDenied,      // no permission, read-only medium or folder
    WrongPassword,     // locked under another password
    Damaged,           // not a whole locked file
    NameTaken,         // the name it would get is already taken
    NotWiped,          // the wiping library refused it or is missing
    NameNotShreddable, // its name cannot be handed to the wiping library exactly
    PathTooLong,
    OwnFile,           // one of the running program's own files (settings, program files)
    Link,              // a link, left alone
    Missing,           // no longer there
    DriveGone,         // the drive is no longer available
    DeviceError,       // any other read or write failure
};

struct BatchFailure {
    std::wstring path;
    FailureReason reason;
};

// One line of English for a summary: "open in another program", "not enough
// room on the drive", ...
const wchar_t* FailureReasonText(FailureReason reason);

// The reason for a failed file operation whose system error is known.
FailureReason ReasonForIoError(plat::IoError error);

// The reason for a lock or unlock pipeline's result code (EngineResult, not
// kOk) with the I/O cause it gave; false when the code is no failure of the
// file (kCancelled: the file was left as it was because of a stop).
bool ReasonForEngineResult(int result, plat::IoError cause, FailureReason* reason);

// Everything a summary says about one ended batch.
struct BatchReport {
    std::vector<BatchFailure> failures;  // in the order met
    bool cancelled = false;              // the user's stop came before the end
    size_t filesDone = 0;                // files the batch did act on
    std::wstring doneVerb;               // "locked", "unlocked", "shredded", ...
};

// The heading of a summary for this many files not done, e.g. "2 files
// could not be locked:".
std::wstring DefaultSummaryHeading(size_t notDone, const std::wstring& doneVerb);

// Files named one per line in a summary; the rest are counted ("and 4
// more.").
constexpr size_t kSummaryFileLines = 10;
// A folder longer than this is shortened in the middle ("C:\Users\...\docs").
constexpr size_t kSummaryPathChars = 44;

// The text of the summary, or empty when there is nothing to say (every
// file done, nothing cancelled). heading: the first line when files were
// not done (DefaultSummaryHeading's when empty). Then each file by name
// with its reason, under a line "In FOLDER" wherever its folder differs
// from the file's before it:
//
//     2 files could not be locked:
//
//     In C:\docs
//     budget.xls: open in another program
//     notes.txt: access denied
std::wstring BatchSummaryText(const BatchReport& report, const std::wstring& heading);

// A path shortened to at most maxChars characters by leaving out folders in
// its middle: the first part (drive or share) and as much of the end as
// fits, the file name always whole.
std::wstring ShortenPathForDisplay(const std::wstring& path, size_t maxChars);

}  // namespace corva
