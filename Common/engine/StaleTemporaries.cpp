// Leftovers of earlier versions of the engine, found and removed beside the
// files of a folder.
#include <cstring>
#include <vector>

#include "engine/FailureLog.h"
#include "engine/LockedFile.h"
#include "log/FileLog.h"
#include "platform/Platform.h"

namespace corva {

namespace {

// "%08lX%04X%04x" and eight "%02X": upper-case hexadecimal but for the
// third group, in lower case.
bool IsGuidText(const std::wstring& t) {
    if (t.size() != 32) return false;
    for (size_t i = 0; i < 32; ++i) {
        const wchar_t c = t[i];
        const bool lower = i >= 12 && i < 16;
        const bool ok = (c >= L'0' && c <= L'9') || (lower ? (c >= L'a' && c <= L'f') : (c >= L'A' && c <= L'F'));
        if (!ok) return false;
    }
    return true;
}

// True when both files can be read and hold the same bytes.
bool SameContents(const std::wstring& a, const std::wstring& b) {
    plat::File fa, fb;
    int64_t na = 0, nb = 0;
    if (!fa.Open(a, plat::File::Mode::Read) || !fb.Open(b, plat::File::Mode::Read)) return false;
    if (!fa.Size(&na) || !fb.Size(&nb) || na != nb) return false;
    std::vector<uint8_t> ba(64 * 1024), bb(64 * 1024);
    for (;;) {
        size_t ga = 0, gb = 0;
        if (!fa.ReadFull(ba.data(), ba.size(), &ga) || !fb.ReadFull(bb.data(), bb.size(), &gb)) return false;
        if (ga != gb || std::memcmp(ba.data(), bb.data(), ga) != 0) return false;
        if (ga < ba.size()) return true;
    }
}

}  // namespace

bool IsStaleTemporary(const std::wstring& path) {
    static const uint8_t kPayloadHeader[10] = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 0x0B};
    if (path.size() <= 36 || path.compare(path.size() - 4, 4, L".xml") != 0) return false;
    if (!IsGuidText(path.substr(path.size() - 36, 32))) return false;
    // Named after a file beside it, in either of its forms.
    const std::wstring base = path.substr(0, path.size() - 36);
    const size_t n = sizeof(kLockedExtension) / sizeof(wchar_t) - 1;
    auto file = [](const std::wstring& p) { return plat::KindOf(p) == plat::EntryKind::File; };
    if (base.empty() || base.back() == L'/' || base.back() == L'\\') return false;
    if (!file(base) && !file(base + kLockedExtension) &&
        !(HasLockedExtension(base) && file(base.substr(0, base.size() - n))))
        return false;
    if (plat::KindOf(path) != plat::EntryKind::File) return false;
    plat::File f;
    uint8_t head[sizeof kPayloadHeader];
    size_t got = 0;
    if (!f.Open(path, plat::File::Mode::Read) || !f.ReadFull(head, sizeof head, &got)) return false;
    if (got == 0 || (got == sizeof head && std::memcmp(head, kPayloadHeader, sizeof head) == 0)) return true;
    // A whole copy of the file it is named after: what a replacing write
    // leaves when it ends between naming its output and moving it over
    // the file. Redundant, so it may go.
    f.Close();
    return file(base) && SameContents(path, base);
}

int RemoveStaleTemporaries(const std::wstring& folder, const std::vector<std::wstring>& names, FileLog* log) {
    int removed = 0;
    const wchar_t last = folder.empty() ? L'/' : folder.back();
    for (const std::wstring& name : names) {
        const std::wstring path =
            (last == L'/' || last == L'\\') ? folder + name : folder + plat::PathSeparator() + name;
        if (IsStaleTemporary(path) && plat::RemoveFile(path)) {
            LogTo(log, kLogInfo, "[RemoveStaleTemporaries] removed %s.", LogName(path).c_str());
            ++removed;
        }
    }
    return removed;
}

}  // namespace corva
