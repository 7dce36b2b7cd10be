#include "engine/BatchOutcome.h"

#include "engine/LockedFile.h"

namespace corva {

const wchar_t* FailureReasonText(FailureReason reason) {
    switch (reason) {
        case FailureReason::InUse: return L"open in another program";
        case FailureReason::NoRoom: return L"not enough room on the drive";
        case FailureReason::AccessDenied: return L"access denied";
        case FailureReason::WrongPassword: return L"locked with another password";
        case FailureReason::Damaged: return L"damaged, not a whole locked file";
        case FailureReason::NameTaken: return L"the name it would get is already taken";
        case FailureReason::NotWiped: return L"the wiping library could not wipe it";
        case FailureReason::NameNotShreddable: return L"its name cannot be handed to the wiping library";
        case FailureReason::PathTooLong: return L"the path is too long";
        case FailureReason::OwnFile: return L"one of Corvastine's own files";
        case FailureReason::Link: return L"a link, left alone";
        case FailureReason::Missing: return L"no longer there";
        case FailureReason::DriveGone: return L"the drive is no longer available";
        case FailureReason::DeviceError: return L"a read or write error";
    }
    return L"a read or write error";
}

FailureReason ReasonForIoError(plat::IoError error) {
    switch (error) {
        case plat::IoError::NotFound: return FailureReason::Missing;
        case plat::IoError::Exists: return FailureReason::NameTaken;
        case plat::IoError::Access: return FailureReason::AccessDenied;
        case plat::IoError::InUse: return FailureReason::InUse;
        case plat::IoError::NoSpace: return FailureReason::NoRoom;
        case plat::IoError::DriveGone: return FailureReason::DriveGone;
        case plat::IoError::NameTooLong: return FailureReason::PathTooLong;
        case plat::IoError::None:
        case plat::IoError::Io: break;
    }
    return FailureReason::DeviceError;
}

bool ReasonForEngineResult(int result, plat::IoError cause, FailureReason* reason) {
    if (result == kOk || result == kCancelled) return false;
    // What the system said comes first: a locked file that is gone is
    // missing, not damaged.
    if (cause != plat::IoError::None && cause != plat::IoError::Io) {
        *reason = ReasonForIoError(cause);
        return true;
    }
    switch (result) {
        case kNoPassword:  // no password opens anything
        case kWrongPassword: *reason = FailureReason::WrongPassword; return true;
        case kNoSource:
        case kNoDestination: *reason = FailureReason::Missing; return true;
        case kDestinationExists: *reason = FailureReason::NameTaken; return true;
        case kSizeMismatch:
        case kNotLockedFile:
        case kDamagedPayload: *reason = FailureReason::Damaged; return true;
        case kNotAFile: *reason = FailureReason::Link; return true;
        default: break;  // kIoFailure, kPlainNotDeleted, kLockedNotDeleted: the system's cause
    }
    *reason = ReasonForIoError(cause);
    return true;
}

std::wstring DefaultSummaryHeading(size_t notDone, const std::wstring& doneVerb) {
    const std::wstring verb = doneVerb.empty() ? L"done" : doneVerb;
    return std::to_wstring(notDone) + (notDone == 1 ? L" file could not be " : L" files could not be ") + verb + L":";
}

namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// Length of a path's first part, kept whole when it is shortened: "C:\",
// "\\server\share\", "/", or nothing for a relative path.
size_t HeadLength(const std::wstring& path) {
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        // \\server\share\ (or \\?\C:\ and the like): up to the fourth separator.
        size_t seen = 2, i = 2;
        for (; i < path.size() && seen < 4; ++i)
            if (IsSeparator(path[i])) ++seen;
        return i;
    }
    if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2])) return 3;
    if (!path.empty() && IsSeparator(path[0])) return 1;
    return 0;
}

}  // namespace

std::wstring ShortenPathForDisplay(const std::wstring& path, size_t maxChars) {
    if (path.size() <= maxChars) return path;
    const size_t head = HeadLength(path);
    size_t nameStart = path.size();
    while (nameStart > head && !IsSeparator(path[nameStart - 1])) --nameStart;
    if (nameStart <= head) return path;  // nothing in the middle to leave out
    const wchar_t separator = path[nameStart - 1];
    const std::wstring ellipsis = std::wstring(L"...") + separator;
    // Whole folders from the end, as many as fit beside the head.
    size_t tailStart = nameStart;
    for (;;) {
        size_t previous = tailStart - 1;  // the separator before the tail
        while (previous > head && !IsSeparator(path[previous - 1])) --previous;
        if (previous <= head) break;
        if (head + ellipsis.size() + (path.size() - previous) > maxChars) break;
        tailStart = previous;
    }
    return path.substr(0, head) + ellipsis + path.substr(tailStart);
}

std::wstring BatchSummaryText(const BatchReport& report, const std::wstring& heading) {
    if (report.failures.empty() && !report.cancelled) return std::wstring();
    const std::wstring verb = report.doneVerb.empty() ? L"done" : report.doneVerb;
    std::wstring text;
    if (!report.failures.empty()) {
        text = heading.empty() ? DefaultSummaryHeading(report.failures.size(), verb) : heading;
        text += L"\n";
        const size_t shown = report.failures.size() <= kSummaryFileLines + 1 ? report.failures.size()
                                                                            : kSummaryFileLines;
        // Files by name under the folder they are in, a folder named again
        // only where it changes (files of one folder come one after another).
        std::wstring folder;
        for (size_t i = 0; i < shown; ++i) {
            const BatchFailure& f = report.failures[i];
            size_t cut = f.path.find_last_of(L"\\/");
            if (cut == std::wstring::npos) cut = 0;
            const std::wstring here = f.path.substr(0, cut);
            const std::wstring name = cut == 0 && !IsSeparator(f.path[0]) ? f.path : f.path.substr(cut + 1);
            if (i == 0 || here != folder) {
                folder = here;
                if (!here.empty()) text += L"\nIn " + ShortenPathForDisplay(here, kSummaryPathChars);
            }
            text += L"\n" + name + L": " + FailureReasonText(f.reason);
        }
        if (shown < report.failures.size())
            text += L"\nand " + std::to_wstring(report.failures.size() - shown) + L" more.";
    }
    if (report.cancelled) {
        if (!text.empty()) text += L"\n\n";
        text += L"Cancelled ";
        if (report.filesDone == 0)
            text += L"before any file was " + verb;
        else
            text += L"after " + std::to_wstring(report.filesDone) +
                    (report.filesDone == 1 ? L" file was " : L" files were ") + verb;
        text += L"; the rest were left as they were.";
    }
    return text;
}

}  // namespace corva
