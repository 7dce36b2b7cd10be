// Helpers of the settings-store tests: capture of DebugTrace lines, a
// scratch settings folder with a chosen drive kind, vector files.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace settings_test {

// Collects DebugTrace lines while it lives.
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    struct Line {
        int level;
        std::string text;     // the whole line, "[hh:mm:ss][Tag]message"
        std::string message;  // the part after the prefix
    };
    std::vector<Line> Lines() const;
    // Lines whose message contains part.
    size_t Count(const std::string& part) const;
    void Clear();
};

// A scratch folder that the settings code uses instead of the module's
// folder, with the module seen on a USB drive (plain file) or not
// (scrambled file). Restores both on destruction.
class SettingsFolder {
public:
    explicit SettingsFolder(bool onUsb);
    ~SettingsFolder();
    SettingsFolder(const SettingsFolder&) = delete;
    SettingsFolder& operator=(const SettingsFolder&) = delete;
    void SetUsb(bool onUsb);
    const std::wstring& Path() const { return dir_.Path(); }
    std::wstring ConfigPath() const { return dir_ / L"config.xml"; }
    std::wstring operator/(const std::wstring& name) const { return dir_ / name; }

private:
    testing_support::TempDir dir_;
};

// Narrow text (the platform's code page) of UTF-8 text; false when the
// code page cannot hold it.
bool NarrowFromUtf8(const std::string& utf8, std::string* narrow);

std::wstring SettingsVectorsDir();
// Lines "key<TAB>value" (UTF-8) of a .values file, in file order.
std::vector<std::pair<std::string, std::string>> ReadValues(const std::wstring& path);

// The settings file content in plain form: unscrambled with the fixed key
// when scrambled, the zero byte after an odd-length document removed.
std::string PlainDocument(const testing_support::Bytes& file, bool scrambled);

}  // namespace settings_test
