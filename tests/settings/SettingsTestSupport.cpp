#include "SettingsTestSupport.h"

#include <cstring>
#include <mutex>
#include <sstream>

#include "engine/WordScrambler.h"
#include "log/FileLog.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

using namespace testing_support;

namespace settings_test {

namespace {

std::mutex g_lock;
std::vector<TraceCapture::Line>* g_lines = nullptr;

void Sink(int32_t level, const char* line) {
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_lines) return;
    std::string text(line);
    // "[hh:mm:ss][Tag]" is 16 characters.
    g_lines->push_back(TraceCapture::Line{level, text, text.size() >= 16 ? text.substr(16) : std::string()});
}

}  // namespace

TraceCapture::TraceCapture() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_lines = new std::vector<Line>;
    SetTraceSinkForTesting(&Sink);
}

TraceCapture::~TraceCapture() {
    SetTraceSinkForTesting(nullptr);
    std::lock_guard<std::mutex> hold(g_lock);
    delete g_lines;
    g_lines = nullptr;
}

std::vector<TraceCapture::Line> TraceCapture::Lines() const {
    std::lock_guard<std::mutex> hold(g_lock);
    return *g_lines;
}

size_t TraceCapture::Count(const std::string& part) const {
    size_t n = 0;
    for (const Line& l : Lines())
        if (l.message.find(part) != std::string::npos) ++n;
    return n;
}

void TraceCapture::Clear() {
    std::lock_guard<std::mutex> hold(g_lock);
    g_lines->clear();
}

SettingsFolder::SettingsFolder(bool onUsb) {
    corva::SetSettingsFolderForTesting(dir_.Path());
    SetUsb(onUsb);
}

SettingsFolder::~SettingsFolder() {
    corva::SetSettingsFolderForTesting(std::wstring());
    corva::SetModuleOnUsbForTesting(-1);
}

void SettingsFolder::SetUsb(bool onUsb) { corva::SetModuleOnUsbForTesting(onUsb ? 1 : 0); }

bool NarrowFromUtf8(const std::string& utf8, std::string* narrow) {
    std::wstring wide = plat::Utf8ToWide(utf8);
    *narrow = plat::WideToNarrow(wide);
    return plat::NarrowToWide(*narrow) == wide;
}

std::wstring SettingsVectorsDir() { return Join(VectorsDir(), L"settings"); }

std::vector<std::pair<std::string, std::string>> ReadValues(const std::wstring& path) {
    Bytes raw = ReadFileBytes(path);
    std::istringstream in(std::string(raw.begin(), raw.end()));
    std::vector<std::pair<std::string, std::string>> out;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        size_t tab = line.find('\t');
        if (tab == std::string::npos) out.emplace_back(line, std::string());
        else out.emplace_back(line.substr(0, tab), line.substr(tab + 1));
    }
    return out;
}

std::string PlainDocument(const Bytes& file, bool scrambled) {
    std::string text(file.begin(), file.end());
    if (scrambled && !text.empty()) {
        WordScrambler scrambler("fetchhostmachinetag", 1024);
        scrambler.Unscramble(&text[0], text.size());
    }
    if (text.size() % 2 == 0 && !text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

}  // namespace settings_test
