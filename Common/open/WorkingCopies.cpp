// Working copies: layout, record, watch, recovery plan and the two ends of
// the lifecycle (unlocking into a copy, finishing it).
#include "open/WorkingCopies.h"

#include <cstdio>
#include <cstring>

#include "engine/Batch.h"
#include "engine/WorkingCopyPipeline.h"
#include "platform/OpenSupport.h"

namespace corva {

namespace {

const char kRecordHeading[] = "corvastine working copy 1";
const wchar_t kRecordExtension[] = L".open";
constexpr size_t kIdLength = 32;
constexpr size_t kRecordLimit = 16384;

bool IsId(const std::wstring& text) {
    if (text.size() != kIdLength) return false;
    for (wchar_t c : text)
        if (!((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F'))) return false;
    return true;
}

std::wstring NewId() {
    plat::Guid g;
    if (!plat::CreateGuid(&g)) return std::wstring();
    char text[kIdLength + 1];
    std::snprintf(text, sizeof text, "%08X%04X%04X%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(g.data1),
                  g.data2, g.data3, g.data4[0], g.data4[1], g.data4[2], g.data4[3], g.data4[4], g.data4[5],
                  g.data4[6], g.data4[7]);
    return plat::NarrowToWide(text);
}

// The last name of a path.
std::wstring BaseName(const std::wstring& path) {
#ifdef _WIN32
    const size_t cut = path.find_last_of(L"/\\");
#else
    const size_t cut = path.find_last_of(L'/');
#endif
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

std::wstring StripLockedExtension(const std::wstring& name) {
    const size_t n = std::wcslen(kLockedExtension);
    if (HasLockedExtension(name) && name.size() > n) return name.substr(0, name.size() - n);
    return name;
}

// Size and modification time of a file; false when it cannot be read.
bool Look(const std::wstring& path, int64_t* size, plat::FileTime* modified) {
    if (plat::KindOf(path) != plat::EntryKind::File) return false;
    plat::File f;
    plat::FileStamp stamp;
    if (!f.Open(path, plat::File::Mode::Read) || !f.Size(size) || !f.Stamp(&stamp) || !stamp.modifiedKnown)
        return false;
    *modified = stamp.modified;
    return true;
}

bool SameTime(const plat::FileTime& a, const plat::FileTime& b) {
    return a.seconds == b.seconds && a.nanoseconds == b.nanoseconds;
}

bool WriteRecord(const std::wstring& path, const WorkingRecord& record) {
    const std::string text = FormatWorkingRecord(record);
    plat::PendingFile out;
    return out.Create(path) && out.Data().Write(text.data(), text.size()) && out.Publish(true);
}

bool ReadRecord(const std::wstring& path, WorkingRecord* record) {
    plat::File f;
    if (!f.Open(path, plat::File::Mode::Read)) return false;
    std::string text(kRecordLimit, '\0');
    size_t got = 0;
    if (!f.ReadFull(&text[0], text.size(), &got) || got == text.size()) return false;
    text.resize(got);
    return ParseWorkingRecord(text, record);
}

// "SIZE SECONDS NANOSECONDS"
bool ParseStat(const std::string& text, int64_t* size, plat::FileTime* time) {
    long long s = 0, sec = 0;
    unsigned long ns = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%lld %lld %lu%c", &s, &sec, &ns, &tail) != 3 || s < 0 || ns > 999999999UL)
        return false;
    *size = s;
    time->seconds = sec;
    time->nanoseconds = static_cast<uint32_t>(ns);
    return true;
}

std::string FormatStat(int64_t size, const plat::FileTime& time) {
    char text[80];
    std::snprintf(text, sizeof text, "%lld %lld %lu", static_cast<long long>(size),
                  static_cast<long long>(time.seconds), static_cast<unsigned long>(time.nanoseconds));
    return text;
}

const wchar_t* RelockReason(EngineResult code) {
    switch (code) {
        case kIoFailure: return L"a file could not be read or written; the disk may be full";
        case kDestinationExists: return L"the name is taken by a folder or another file";
        case kNoPassword: return L"no password";
        case kCancelled: return L"it was stopped";
        default: return L"it failed";
    }
}

bool Shred(const std::wstring& path, const std::wstring& wipeLibrary) {
    const bool wiped = wipeLibrary.empty() ? ShredPath(path) : ShredPath(path, wipeLibrary);
    if (wiped) DeletePath(path, false);
    return plat::KindOf(path) == plat::EntryKind::Missing;
}

// The record and the emptied folder go, the record last so that a copy is
// never found without one.
void RemoveEntry(const WorkingEntry& entry) {
    plat::RemoveFolder(entry.folder);
    if (plat::KindOf(entry.folder) == plat::EntryKind::Missing) plat::RemoveFile(entry.recordPath);
}

}  // namespace

// ------------------------------------------------------------ record

std::string FormatWorkingRecord(const WorkingRecord& record) {
    std::string text = kRecordHeading;
    text += "\nlocked " + plat::WideToUtf8(record.lockedPath) + "\n";
    if (record.copyKnown) text += "copy " + FormatStat(record.copySize, record.copyModified) + "\n";
    if (record.lockedKnown) text += "lockedfile " + FormatStat(record.lockedSize, record.lockedModified) + "\n";
    return text;
}

bool ParseWorkingRecord(const std::string& text, WorkingRecord* record) {
    WorkingRecord r;
    size_t pos = 0;
    bool first = true, locked = false;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) return false;  // every line ends
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (first) {
            if (line != kRecordHeading) return false;
            first = false;
        } else if (line.compare(0, 7, "locked ") == 0 && !locked) {
            r.lockedPath = plat::Utf8ToWide(line.substr(7));
            locked = !r.lockedPath.empty();
        } else if (line.compare(0, 5, "copy ") == 0 && !r.copyKnown) {
            if (!ParseStat(line.substr(5), &r.copySize, &r.copyModified)) return false;
            r.copyKnown = true;
        } else if (line.compare(0, 11, "lockedfile ") == 0 && !r.lockedKnown) {
            if (!ParseStat(line.substr(11), &r.lockedSize, &r.lockedModified)) return false;
            r.lockedKnown = true;
        } else {
            return false;
        }
    }
    if (!locked) return false;
    *record = r;
    return true;
}

// ------------------------------------------------------------ layout

std::wstring WorkingEntry::DisplayName() const {
    if (!copyPath.empty()) return BaseName(copyPath);
    if (hasRecord) return StripLockedExtension(BaseName(record.lockedPath));
    return id;
}

std::wstring DefaultWorkingRoot() {
    const std::wstring base = plat::LocalAppDataFolder();
    if (base.empty()) return std::wstring();
    return plat::JoinPath(plat::JoinPath(base, L"Corvastine"), L"Open");
}

bool WorkingArea::Prepare() const {
    if (root_.empty()) return false;
    const std::wstring parent = plat::ParentFolder(root_);
    // The application-data folder itself may not exist yet on a fresh
    // account: it and its missing parents are made with the usual rights.
    std::vector<std::wstring> missing;
    for (std::wstring f = plat::ParentFolder(parent); !f.empty() && plat::KindOf(f) == plat::EntryKind::Missing;) {
        missing.push_back(f);
        const std::wstring up = plat::ParentFolder(f);
        if (up == f) break;
        f = up;
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) plat::CreateFolder(*it);
    return plat::IsDirectory(plat::ParentFolder(parent)) && plat::MakePrivateFolder(parent) &&
           plat::MakePrivateFolder(root_);
}

std::vector<WorkingEntry> WorkingArea::Entries() const {
    std::vector<WorkingEntry> entries;
    std::vector<std::wstring> names;
    if (root_.empty() || !plat::ListFolder(root_, &names)) return entries;
    auto entryFor = [&](const std::wstring& id) -> WorkingEntry& {
        for (auto& e : entries)
            if (e.id == id) return e;
        WorkingEntry e;
        e.id = id;
        e.folder = plat::JoinPath(root_, id);
        e.recordPath = e.folder + kRecordExtension;
        entries.push_back(e);
        return entries.back();
    };
    const size_t extension = std::wcslen(kRecordExtension);
    for (const auto& name : names) {
        const std::wstring path = plat::JoinPath(root_, name);
        if (IsId(name) && plat::KindOf(path) == plat::EntryKind::Folder) {
            WorkingEntry& e = entryFor(name);
            std::vector<std::wstring> inside;
            if (plat::ListFolder(path, &inside)) {
                for (const auto& file : inside) {
                    const std::wstring copy = plat::JoinPath(path, file);
                    if (plat::KindOf(copy) == plat::EntryKind::File) {
                        e.copyPath = copy;
                        break;
                    }
                }
            }
        } else if (name.size() == kIdLength + extension && name.compare(kIdLength, extension, kRecordExtension) == 0 &&
                   IsId(name.substr(0, kIdLength))) {
            WorkingEntry& e = entryFor(name.substr(0, kIdLength));
            e.hasRecord = ReadRecord(path, &e.record);
        }
    }
    return entries;
}

bool WorkingArea::FindByLockedPath(const std::wstring& lockedPath, WorkingEntry* entry) const {
    for (const auto& e : Entries()) {
        if (e.hasRecord && e.record.lockedPath == lockedPath) {
            *entry = e;
            return true;
        }
    }
    return false;
}

// ------------------------------------------------------------ watching

uint32_t PollBackoff::Next() {
    const uint32_t now = next_;
    next_ = next_ >= kCeilingMs / 2 ? kCeilingMs : next_ * 2;
    return now;
}

bool DoneWatch::Look(bool processRunning, plat::FileUse use) {
    if (processRunning || use == plat::FileUse::InUse) {
        quietLooks_ = 0;
        return false;
    }
    return ++quietLooks_ >= 2;
}

CopyChange CompareCopy(const WorkingRecord& record, const std::wstring& copyPath) {
    if (plat::KindOf(copyPath) == plat::EntryKind::Missing) return CopyChange::Missing;
    int64_t size = 0;
    plat::FileTime modified;
    // What cannot be looked at, or was never noted, counts as changed: it
    // is locked again rather than lost.
    if (!record.copyKnown || !Look(copyPath, &size, &modified)) return CopyChange::Changed;
    return size == record.copySize && SameTime(modified, record.copyModified) ? CopyChange::Unchanged
                                                                               : CopyChange::Changed;
}

// ------------------------------------------------------------ recovery

std::wstring FreeBesideName(const std::wstring& lockedPath) {
    const std::wstring name = BaseName(lockedPath);
    const std::wstring folder = lockedPath.substr(0, lockedPath.size() - name.size());
    const std::wstring plain = StripLockedExtension(name);
    const size_t dot = plain.find_last_of(L'.');
    const std::wstring stem = dot == std::wstring::npos || dot == 0 ? plain : plain.substr(0, dot);
    const std::wstring ext = stem.size() == plain.size() ? std::wstring() : plain.substr(dot);
    for (int n = 1; n < 1000; ++n) {
        const std::wstring candidate =
            folder + stem + L" (edited " + std::to_wstring(n) + L")" + ext + kLockedExtension;
        if (plat::KindOf(candidate) == plat::EntryKind::Missing) return candidate;
    }
    return std::wstring();
}

std::vector<RecoveryItem> PlanRecovery(const std::vector<WorkingEntry>& entries) {
    std::vector<RecoveryItem> plan;
    for (const auto& entry : entries) {
        RecoveryItem item;
        item.entry = entry;
        if (entry.copyPath.empty()) {
            item.action = RecoveryAction::Tidy;
        } else if (!entry.hasRecord) {
            item.action = RecoveryAction::KeepUnknown;
        } else if (plat::ProbeFileUse(entry.copyPath) == plat::FileUse::InUse) {
            item.action = RecoveryAction::KeepInUse;
        } else if (CompareCopy(entry.record, entry.copyPath) == CopyChange::Unchanged) {
            item.action = RecoveryAction::Shred;
        } else {
            const WorkingRecord& r = entry.record;
            int64_t size = 0;
            plat::FileTime modified;
            const bool same = r.lockedKnown && Look(r.lockedPath, &size, &modified) && size == r.lockedSize &&
                              SameTime(modified, r.lockedModified);
            if (same) {
                item.action = RecoveryAction::Relock;
                item.target = r.lockedPath;
            } else {
                // The locked file went, or holds something else now: the
                // changed copy takes a free name and replaces nothing.
                item.action = RecoveryAction::RelockBeside;
                item.target = plat::KindOf(r.lockedPath) == plat::EntryKind::Missing ? r.lockedPath
                                                                                     : FreeBesideName(r.lockedPath);
            }
        }
        plan.push_back(item);
    }
    return plan;
}

bool PlanNeedsQuestion(const std::vector<RecoveryItem>& plan) {
    for (const auto& item : plan)
        if (item.action == RecoveryAction::Relock || item.action == RecoveryAction::RelockBeside) return true;
    return false;
}

std::wstring RecoveryQuestion(const std::vector<RecoveryItem>& plan) {
    std::wstring text =
        L"These files were open when Corvastine last stopped, and they were changed since they were unlocked:\n\n";
    for (const auto& item : plan) {
        if (item.action != RecoveryAction::Relock && item.action != RecoveryAction::RelockBeside) continue;
        text += L"    " + item.entry.DisplayName() + L"  (" + item.target + L")\n";
    }
    text +=
        L"\nLock them again with the changes? Choose No to keep them as they are in your private working folder "
        L"for now.";
    return text;
}

FinishOutcome CarryOut(const RecoveryItem& item, const char* password, bool relock, const std::wstring& wipeLibrary,
                       FileLog* log) {
    FinishOutcome out;
    out.name = item.entry.DisplayName();
    out.target = item.target;
    const WorkingEntry& entry = item.entry;
    switch (item.action) {
        case RecoveryAction::Tidy:
            RemoveEntry(entry);
            out.status = FinishStatus::Tidied;
            return out;
        case RecoveryAction::KeepInUse: out.status = FinishStatus::InUse; return out;
        case RecoveryAction::KeepUnknown: out.status = FinishStatus::Unknown; return out;
        case RecoveryAction::Shred:
            out.status = Shred(entry.copyPath, wipeLibrary) ? FinishStatus::Shredded : FinishStatus::NotShredded;
            if (out.status == FinishStatus::Shredded) RemoveEntry(entry);
            return out;
        case RecoveryAction::Relock:
        case RecoveryAction::RelockBeside: break;
    }
    if (!relock) {
        out.status = FinishStatus::Declined;
        return out;
    }
    const bool replace = item.action == RecoveryAction::Relock;
    out.code = item.target.empty() ? kNoDestination
                                   : RelockInPlace(entry.copyPath, item.target, password, replace, log);
    if (out.code != kOk) {
        out.status = FinishStatus::NotRelocked;
        return out;
    }
    // From here the copy counts as unchanged against its new locked file:
    // should shredding fail, a later look only shreds it.
    WorkingRecord record = entry.record;
    record.lockedPath = item.target;
    record.copyKnown = Look(entry.copyPath, &record.copySize, &record.copyModified);
    record.lockedKnown = Look(item.target, &record.lockedSize, &record.lockedModified);
    WriteRecord(entry.recordPath, record);
    if (!Shred(entry.copyPath, wipeLibrary)) {
        out.status = FinishStatus::NotShredded;
        return out;
    }
    RemoveEntry(entry);
    out.status = replace ? FinishStatus::Relocked : FinishStatus::RelockedBeside;
    return out;
}

FinishOutcome FinishEntry(const WorkingEntry& entry, const char* password, const std::wstring& wipeLibrary,
                          FileLog* log) {
    const std::vector<RecoveryItem> plan = PlanRecovery({entry});
    return CarryOut(plan.front(), password, true, wipeLibrary, log);
}

std::wstring DescribeFinish(const FinishOutcome& o) {
    const std::wstring& n = o.name;
    switch (o.status) {
        case FinishStatus::Shredded: return n + L" was not changed. Its working copy was shredded.";
        case FinishStatus::Relocked:
            return n + L" was changed and locked again. Its working copy was shredded.";
        case FinishStatus::RelockedBeside:
            return n + L" was changed, but its locked file changed or went away meanwhile, so it was locked into " +
                   o.target + L" instead. Its working copy was shredded.";
        case FinishStatus::Tidied: return n + L": its working copy was already gone.";
        case FinishStatus::NotRelocked:
            return n + L" was not locked again (" + RelockReason(o.code) +
                   L"). Nothing was shredded: the changed copy stays in your private working folder and is offered "
                   L"again at the next start.";
        case FinishStatus::NotShredded:
            return n + L" is locked, but its working copy could not be shredded (is the wiping library there?). "
                       L"It stays in your private working folder and is shredded at the next start.";
        case FinishStatus::InUse:
            return n + L" is still open in another program: it was neither locked again nor shredded.";
        case FinishStatus::Unknown:
            return n + L" has no record of the locked file it came from, so it was left in your private working "
                       L"folder.";
        case FinishStatus::Declined:
            return n + L" was not locked again; it stays in your private working folder and is offered again at "
                       L"the next start.";
    }
    return n;
}

// ------------------------------------------------------------ opening

OpenOutcome UnlockForEditing(const WorkingArea& area, const std::wstring& lockedPath, const char* password,
                             FileLog* log) {
    OpenOutcome out;
    if (lockedPath.find_first_of(L"\r\n") != std::wstring::npos) {
        out.code = kNoSource;
        return out;
    }
    if (area.FindByLockedPath(lockedPath, &out.entry)) {
        out.status = OpenStatus::AlreadyOpen;
        return out;
    }
    if (plat::KindOf(lockedPath) != plat::EntryKind::File || !IsLockedFile(lockedPath)) {
        out.code = kNotLockedFile;
        return out;
    }
    if (!password || !*password) {
        out.code = kNoPassword;
        return out;
    }
    const std::wstring id = NewId();
    if (!area.Prepare() || id.empty()) {
        out.status = OpenStatus::NoWorkingFolder;
        return out;
    }
    WorkingEntry& e = out.entry;
    e.id = id;
    e.folder = plat::JoinPath(area.Root(), id);
    e.recordPath = e.folder + kRecordExtension;
    e.hasRecord = true;
    e.record.lockedPath = lockedPath;
    e.record.lockedKnown = Look(lockedPath, &e.record.lockedSize, &e.record.lockedModified);
    // The record comes first: no copy is ever without one.
    if (!WriteRecord(e.recordPath, e.record) || !plat::MakePrivateFolder(e.folder)) {
        RemoveEntry(e);
        out.status = OpenStatus::NoWorkingFolder;
        return out;
    }
    const std::wstring copy = plat::JoinPath(e.folder, StripLockedExtension(BaseName(lockedPath)));
    out.code = UnlockCopy(lockedPath, copy, password, log);
    if (out.code != kOk) {
        RemoveEntry(e);
        return out;
    }
    e.copyPath = copy;
    e.record.copyKnown = Look(copy, &e.record.copySize, &e.record.copyModified);
    // Without the copy's size and time the record still leads a later look
    // to lock the copy again rather than lose it.
    if (e.record.copyKnown && !WriteRecord(e.recordPath, e.record)) e.record.copyKnown = false;
    out.status = OpenStatus::Opened;
    return out;
}

std::wstring DescribeOpenFailure(const OpenOutcome& o, const std::wstring& lockedPath) {
    const std::wstring name = BaseName(lockedPath);
    switch (o.status) {
        case OpenStatus::Opened: return std::wstring();
        case OpenStatus::AlreadyOpen: return name + L" is open already.";
        case OpenStatus::NoWorkingFolder:
            return name + L" was not opened: the private working folder " +
                   L"could not be made (is the local application-data folder writable?).";
        case OpenStatus::Failed: break;
    }
    const wchar_t* why = L"it could not be unlocked";
    switch (o.code) {
        case kNotLockedFile: why = L"it is not a locked file"; break;
        case kWrongPassword: why = L"it was locked with another password"; break;
        case kDamagedPayload:
        case kSizeMismatch: why = L"the locked file is damaged"; break;
        case kIoFailure: why = L"it could not be read, or the working copy could not be written (disk full?)"; break;
        case kNoSource: why = L"its name cannot be recorded"; break;
        default: break;
    }
    return name + L" was not opened: " + why + L". The locked file is unchanged.";
}

}  // namespace corva
