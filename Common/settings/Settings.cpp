#include "Settings.h"

#include <atomic>
#include <vector>

#include "MardleTree/MardleTree.h"
#include "SettingsFileIo.h"
#include "drives/UsbDrives.h"
#include "engine/SafeOutput.h"
#include "log/FileLog.h"
#include "platform/Platform.h"

namespace {

const char kFixedKeyText[] = "fetchhostmachinetag";
const wchar_t kSettingsFileName[] = L"config.xml";
const char kRootName[] = "root";
const char kValueAttribute[] = "val";
const char kPathSeparators[] = ",";
// Suffix of the name an unreadable settings file is moved aside to.
const wchar_t kAsideSuffix[] = L".unreadable-";
constexpr int kMaxAsideNames = 10000;

std::atomic<int> g_usbOverride{-1};
std::atomic<bool> g_refuseTemporary{false};

plat::Mutex& FolderLock() {
    static plat::Mutex lock{std::wstring()};
    return lock;
}

std::wstring& FolderOverride() {
    static std::wstring folder;
    return folder;
}

std::wstring SettingsFilePath() {
    std::wstring folder;
    {
        plat::MutexLock hold(FolderLock());
        folder = FolderOverride();
    }
    if (folder.empty()) return plat::ModuleFilePath(kSettingsFileName);
    if (folder.back() != L'/' && folder.back() != plat::PathSeparator()) folder += plat::PathSeparator();
    return folder + kSettingsFileName;
}

MardleTree FreshDocument() {
    MardleTree root(kRootName);
    root.SetAttribute("Ver", "1.0");
    return root;
}

enum class FileState { Missing, Unopenable, Unreadable, Readable };

// The key text of the other form: plain for scrambled and the reverse.
std::string OtherKeyText(const std::string& keyText) {
    return keyText.empty() ? std::string(kFixedKeyText) : std::string();
}

// Parses the file with one key text. A document whose root has no content
// (the fresh file) parses with a failure code yet keeps the root's name:
// that is a readable file too.
bool ParsesWith(const std::wstring& path, const std::string& keyText, MardleTree& tree) {
    tree = MardleTree();
    return tree.FromXMLFile(path, keyText.c_str()) || !tree.m_strName.empty();
}

// Reads the settings file into tree: in the form of the current drive
// (keyText) or, when that fails, in the other one, which a file has when
// it was written while the drive was taken for the other kind. *usedKey
// receives the key text that read it (keyText when nothing did).
FileState ReadSettingsFile(const std::wstring& path, const std::string& keyText, MardleTree& tree,
                           std::string* usedKey) {
    *usedKey = keyText;
    switch (corva::settings_io::ProbeForReading(path)) {
        case corva::settings_io::Probe::Readable:
            break;
        case corva::settings_io::Probe::Missing:
            return plat::PathExists(path) ? FileState::Unopenable : FileState::Missing;
        case corva::settings_io::Probe::Busy:
        case corva::settings_io::Probe::Refused:
            return FileState::Unopenable;
    }
    if (ParsesWith(path, keyText, tree)) return FileState::Readable;
    const std::string other = OtherKeyText(keyText);
    if (ParsesWith(path, other, tree)) {
        DebugTrace(kLogWarn, "config.xml read in the other form{pchFileName='%s',scrambled=%d}",
                   plat::WideToNarrow(path).c_str(), other.empty() ? 0 : 1);
        *usedKey = other;
        return FileState::Readable;
    }
    tree = MardleTree();
    // Gone or held by someone else since the probe: not a damaged file.
    if (corva::settings_io::ProbeForReading(path) != corva::settings_io::Probe::Readable)
        return plat::PathExists(path) ? FileState::Unopenable : FileState::Missing;
    return FileState::Unreadable;
}

// Writes the document as the whole settings file. The content is flushed
// under a temporary name beside the file and then renamed over it, so the
// name only ever shows a complete document; a file held by another program
// is waited for. When the folder lets no file be made but the settings file
// itself may be written, it is rewritten in place. replaceExisting false:
// written only while the name is free.
bool WriteSettingsFile(const MardleTree& tree, const std::wstring& path, const std::string& keyText,
                       bool replaceExisting) {
    const std::string narrowName = plat::WideToNarrow(path);
    std::string bytes;
    if (!tree.ToXMLFileContent(bytes, keyText.c_str())) return false;
    if (plat::IsDirectory(path) || plat::IsLink(path)) {
        DebugTrace(kLogError, "config.xml is not a file{pchFileName='%s'}", narrowName.c_str());
        return false;
    }
    const std::wstring temp = corva::TemporaryName(path);
    corva::SafeOutput out;
    if (g_refuseTemporary.load() || temp.empty() || !out.Open(temp, false)) {
        const bool folderRefuses = g_refuseTemporary.load() || out.LastError() == plat::IoError::Access;
        if (replaceExisting && folderRefuses && plat::PathExists(path) && !plat::IsReadOnly(path)) {
            DebugTrace(kLogWarn, "no new file allowed beside config.xml, rewriting it in place{pchFileName='%s'}",
                       narrowName.c_str());
            return corva::settings_io::RewriteInPlace(path, bytes);
        }
        DebugTrace(kLogError, "::CreateFile Failed!{pchFileName='%s',::GetLastError()=%d}", narrowName.c_str(),
                   static_cast<int>(out.LastError()));
        return false;
    }
    if (!out.File().Write(bytes.data(), bytes.size()) || !out.Commit(true)) {
        DebugTrace(kLogError, "::WriteFile Failed!{pchFileName='%s',::GetLastError()=%d}", narrowName.c_str(),
                   static_cast<int>(out.LastError()));
        return false;
    }
    const bool moved =
        replaceExisting ? corva::settings_io::ReplacePatiently(temp, path) : plat::RenameNoReplace(temp, path);
    if (!moved) {
        plat::RemoveFile(temp);
        DebugTrace(kLogError, "::MoveFileEx Failed!{pchFileName='%s'}", narrowName.c_str());
        return false;
    }
    return true;
}

// Moves an unreadable file to the first free name path + ".unreadable-N".
bool MoveAside(const std::wstring& path) {
    for (int n = 1; n <= kMaxAsideNames; ++n) {
        std::wstring aside = path + kAsideSuffix + std::to_wstring(n);
        if (plat::PathExists(aside)) continue;
        if (plat::RenameNoReplace(path, aside)) {
            DebugTrace(kLogWarn, "config.xml unreadable, moved aside{pchFileName='%s'}",
                       plat::WideToNarrow(aside).c_str());
            return true;
        }
        if (!plat::PathExists(path)) return true;  // someone else moved it
        if (!plat::PathExists(aside)) return false;  // the rename itself fails
    }
    return false;
}

}  // namespace

std::string SettingsKeyText() {
    int forced = g_usbOverride.load();
    bool onUsb = forced >= 0 ? forced == 1 : IsModuleOnUsbDrive();
    return onUsb ? std::string() : std::string(kFixedKeyText);
}

bool EnsureSettingsFile() {
    const std::string keyText = SettingsKeyText();
    const std::wstring path = SettingsFilePath();
    if (path.empty()) return false;
    MardleTree tree;
    std::string usedKey;
    switch (ReadSettingsFile(path, keyText, tree, &usedKey)) {
        case FileState::Readable:
        case FileState::Unopenable:
            return false;
        case FileState::Unreadable:
            // Kept beside the new file, never deleted or overwritten.
            if (!MoveAside(path)) return false;
            break;
        case FileState::Missing:
            break;
    }
    // Created only while the name is free: a value another thread or
    // process stored in the meantime is never replaced by the empty file.
    return WriteSettingsFile(FreshDocument(), path, keyText, false);
}

std::string GetSetting(const std::string& key) {
    const std::string keyText = SettingsKeyText();
    const std::wstring path = SettingsFilePath();
    MardleTree tree;
    std::string usedKey;
    if (path.empty() || ReadSettingsFile(path, keyText, tree, &usedKey) != FileState::Readable) return std::string();
    MardleTree* node = nullptr;
    tree.GetNodeByPath(node, key.c_str(), kPathSeparators);
    std::string value;
    if (node) node->GetAttribute(value, kValueAttribute, true);
    return value;
}

bool SetSetting(const std::string& key, const std::string& value) { return SetSettings({{key, value}}); }

bool SetSettings(const std::vector<std::pair<std::string, std::string>>& values) {
    const std::string keyText = SettingsKeyText();
    const std::wstring path = SettingsFilePath();
    if (path.empty() || values.empty()) return false;
    // A key is one element name: no separator, not empty.
    for (const auto& kv : values) {
        std::vector<std::string> names;
        MardleTree::ToVector(names, kv.first.c_str(), kPathSeparators);
        if (names.size() != 1 || names[0] != kv.first) return false;
    }
    MardleTree tree;
    // The file keeps the form it was read in.
    std::string usedKey;
    switch (ReadSettingsFile(path, keyText, tree, &usedKey)) {
        case FileState::Readable:
            break;
        case FileState::Missing:
            tree = FreshDocument();
            break;
        case FileState::Unopenable:
        case FileState::Unreadable:
            // Rewriting would drop whatever the file holds.
            DebugTrace(kLogError, "SetSetting: config.xml not readable, value not stored{key='%s'}",
                       values.front().first.c_str());
            return false;
    }
    for (const auto& kv : values) {
        const std::string& key = kv.first;
        MardleTree* node = nullptr;
        tree.GetNodeByPath(node, key.c_str(), kPathSeparators);
        if (!node) {
            tree.AddChild(key, MardleTree(key));
            tree.GetNodeByPath(node, key.c_str(), kPathSeparators);
            if (!node) return false;
        }
        node->RemoveAttribute(kValueAttribute);
        node->SetAttribute(kValueAttribute, kv.second);
    }
    return WriteSettingsFile(tree, path, usedKey, true);
}

namespace corva {

void SetSettingsFolderForTesting(const std::wstring& folder) {
    plat::MutexLock hold(FolderLock());
    FolderOverride() = folder;
}

void SetModuleOnUsbForTesting(int state) { g_usbOverride.store(state < 0 ? -1 : (state ? 1 : 0)); }

void SetSettingsFolderRefusesNewFilesForTesting(bool refuses) { g_refuseTemporary.store(refuses); }

}  // namespace corva
