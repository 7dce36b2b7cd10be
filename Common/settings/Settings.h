// The settings file "config.xml" beside the running program or library: one
// element per setting under the root "root", the value in the attribute
// "val". The file is scrambled with a fixed key unless the module runs from
// a USB drive. Every call opens, reads and (for writes) rewrites the whole
// file; nothing is kept in memory between calls. Texts (keys and values) are
// narrow, in the system ANSI code page; paths are wide.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/Platform.h"

// The folder of the running program or library, followed by name.
using plat::ModuleFilePath;

// Key text the settings file is scrambled with, evaluated afresh on every
// call: empty when the module lies on a USB drive (the file is then plain
// XML), otherwise the fixed settings key.
std::string SettingsKeyText();

// Every operation reads the file in the current drive's form first and, when
// that fails, in the other form (plain instead of scrambled, or the
// reverse): a file written while drive detection took the drive for the
// other kind keeps its values. A file held by another program is waited for
// a short while (settings/SettingsFileIo.h).

// Makes sure a readable settings file exists. Does nothing when the file
// reads and parses in either form. When it is missing, a new file with the
// bare root is written. When it exists but cannot be read (empty or
// damaged), it is moved aside under a new name beside it
// ("config.xml.unreadable-N", never overwriting an earlier one) and a fresh
// file is written. True when a fresh file was written.
bool EnsureSettingsFile();

// The value of a setting; the empty text when it, or the file, is missing.
std::string GetSetting(const std::string& key);

// Creates or replaces a setting and rewrites the file atomically, in the
// form it was read in (the new content is flushed under a temporary name,
// then renamed over the file; while another program holds the file the
// rename is tried again for a short while). Where the folder allows no new
// file but the settings file itself is writable, the file is rewritten in
// place instead. True when the value was stored.
bool SetSetting(const std::string& key, const std::string& value);

// Creates or replaces several settings with one rewrite of the file, as
// SetSetting does for one: either all of them are stored or none. True
// when they were stored.
bool SetSettings(const std::vector<std::pair<std::string, std::string>>& values);

namespace corva {

// Test hooks. A non-empty folder replaces the module's folder for the
// settings file (ModuleFilePath itself is unaffected); an empty one restores
// it. The USB override makes the settings code see the module on a USB drive
// (1), on a fixed drive (0), or ask the drive detection again (-1).
void SetSettingsFolderForTesting(const std::wstring& folder);
void SetModuleOnUsbForTesting(int state);
// Makes the settings folder refuse new files (as a folder the user may not
// write does), or lifts that.
void SetSettingsFolderRefusesNewFilesForTesting(bool refuses);

}  // namespace corva
