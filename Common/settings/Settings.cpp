#include "Settings.h"

#include <atomic>
#include <vector>

#include "MardleTree/MardleTree.h"
#include "drives/UsbDrives.h"
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

// Reads the settings file into tree. A document whose root has no content
// (the fresh file) parses with a failure code yet keeps the root's name:
// that is a readable file too.
FileState ReadSettingsFile(const std::wstring& path, const std::string& keyText, MardleTree& tree) {
    {
        plat::File probe;
        if (!probe.Open(path, plat::File::Mode::Read))
            return probe.LastError() == plat::IoError::NotFound && !plat::PathExists(path) ? FileState::Missing
                                                                                            : FileState::Unopenable;
    }
    if (tree.FromXMLFile(path, keyText.c_str()) || !tree.m_strName.empty()) return FileState::Readable;
    // Gone or locked between the two opens: not a damaged file.
    plat::File again;
    if (!again.Open(path, plat::File::Mode::Read))
        return plat::PathExists(path) ? FileState::Unopenable : FileState::Missing;
    return FileState::Unreadable;
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
    switch (ReadSettingsFile(path, keyText, tree)) {
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
    return FreshDocument().ToXMLFile(path, keyText.c_str(), false);
}

std::string GetSetting(const std::string& key) {
    const std::string keyText = SettingsKeyText();
    const std::wstring path = SettingsFilePath();
    MardleTree tree;
    tree.FromXMLFile(path, keyText.c_str());
    MardleTree* node = nullptr;
    tree.GetNodeByPath(node, key.c_str(), kPathSeparators);
    std::string value;
    if (node) node->GetAttribute(value, kValueAttribute, true);
    return value;
}

bool SetSetting(const std::string& key, const std::string& value) {
    const std::string keyText = SettingsKeyText();
    const std::wstring path = SettingsFilePath();
    if (path.empty()) return false;
    // A key is one element name: no separator, not empty.
    std::vector<std::string> names;
    MardleTree::ToVector(names, key.c_str(), kPathSeparators);
    if (names.size() != 1 || names[0] != key) return false;
    MardleTree tree;
    switch (ReadSettingsFile(path, keyText, tree)) {
        case FileState::Readable:
            break;
        case FileState::Missing:
            tree = FreshDocument();
            break;
        case FileState::Unopenable:
        case FileState::Unreadable:
            // Rewriting would drop whatever the file holds.
            DebugTrace(kLogError, "SetSetting: config.xml not readable, value not stored{key='%s'}", key.c_str());
            return false;
    }
    MardleTree* node = nullptr;
    tree.GetNodeByPath(node, key.c_str(), kPathSeparators);
    if (!node) {
        tree.AddChild(key, MardleTree(key));
        tree.GetNodeByPath(node, key.c_str(), kPathSeparators);
        if (!node) return false;
    }
    node->RemoveAttribute(kValueAttribute);
    node->SetAttribute(kValueAttribute, value);
    return tree.ToXMLFile(path, keyText.c_str());
}

namespace corva {

void SetSettingsFolderForTesting(const std::wstring& folder) {
    plat::MutexLock hold(FolderLock());
    FolderOverride() = folder;
}

void SetModuleOnUsbForTesting(int state) { g_usbOverride.store(state < 0 ? -1 : (state ? 1 : 0)); }

}  // namespace corva
