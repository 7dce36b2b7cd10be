// The settings files of tests/vectors/settings: each config-*.xml was written
// by this code and holds the values of the .values file beside it; the
// "-scrambled" ones are in the fixed-drive form, the "-plain" ones in the
// USB-drive form. Reading them must give those values, and writing those
// values must give the same bytes, on every platform.
#include <gtest/gtest.h>

#include "SettingsTestSupport.h"
#include "engine/Secrets.h"
#include "settings/PasswordStore.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

using namespace testing_support;
using settings_test::SettingsFolder;

namespace {

struct ConfigVector {
    const wchar_t* name;
    bool usb;
};

const ConfigVector kVectors[] = {
    {L"config-fresh-scrambled", false}, {L"config-fresh-plain", true},     {L"config-full-scrambled", false},
    {L"config-full-plain", true},       {L"config-accented-plain", true},   {L"config-odd-scrambled", false},
    {L"config-odd-plain", true},        {L"config-large-scrambled", false},
};

// The scrambler works in blocks of 1,024 words (4,096 bytes); the large
// vector spans two whole blocks and part of a third.
constexpr size_t kScrambleBlockBytes = 4096;

// The values in narrow text; false when the code page cannot hold them.
bool NarrowValues(const std::wstring& name, std::vector<std::pair<std::string, std::string>>* values) {
    *values = settings_test::ReadValues(Join(settings_test::SettingsVectorsDir(), name + std::wstring(L".values")));
    for (auto& kv : *values)
        if (!settings_test::NarrowFromUtf8(kv.second, &kv.second)) return false;
    return true;
}

// Writes a vector's values the way the program does: the file is created,
// then each value is set in turn.
void WriteValues(const std::vector<std::pair<std::string, std::string>>& values) {
    ASSERT_TRUE(EnsureSettingsFile());
    for (const auto& kv : values) ASSERT_TRUE(SetSetting(kv.first, kv.second));
}

}  // namespace

TEST(SettingsVectors, ReadBack) {
    for (const ConfigVector& v : kVectors) {
        SCOPED_TRACE(plat::WideToUtf8(v.name));
        std::vector<std::pair<std::string, std::string>> values;
        if (!NarrowValues(v.name, &values)) continue;
        Bytes file = ReadFileBytes(Join(settings_test::SettingsVectorsDir(), v.name + std::wstring(L".xml")));
        ASSERT_FALSE(file.empty());
        EXPECT_EQ(file.size() % 2, 0u);
        if (std::wstring(v.name).find(L"-odd-") != std::wstring::npos) {
            // An odd-length document followed by one zero byte.
            std::string doc = settings_test::PlainDocument(file, !v.usb);
            EXPECT_EQ(doc.size(), file.size() - 1);
            EXPECT_EQ(doc.find('\0'), std::string::npos);
        }
        if (std::wstring(v.name).find(L"-large-") != std::wstring::npos) {
            EXPECT_GT(file.size(), 2 * kScrambleBlockBytes);
            EXPECT_NE(file.size() % kScrambleBlockBytes, 0u);
        }
        SettingsFolder folder(v.usb);
        ASSERT_TRUE(WriteFileBytes(folder.ConfigPath(), file));
        EXPECT_FALSE(EnsureSettingsFile());
        for (const auto& kv : values) EXPECT_EQ(GetSetting(kv.first), kv.second) << kv.first;
        // Seen from the other drive kind, the file still reads.
        folder.SetUsb(!v.usb);
        for (const auto& kv : values) EXPECT_EQ(GetSetting(kv.first), kv.second) << kv.first;
        EXPECT_FALSE(EnsureSettingsFile());
        EXPECT_EQ(ReadFileBytes(folder.ConfigPath()), file);
    }
}

TEST(SettingsVectors, SameValuesGiveSameBytes) {
    for (const ConfigVector& v : kVectors) {
        SCOPED_TRACE(plat::WideToUtf8(v.name));
        std::vector<std::pair<std::string, std::string>> values;
        if (!NarrowValues(v.name, &values)) continue;
        Bytes expected = ReadFileBytes(Join(settings_test::SettingsVectorsDir(), v.name + std::wstring(L".xml")));
        SettingsFolder folder(v.usb);
        WriteValues(values);
        EXPECT_EQ(ToHex(ReadFileBytes(folder.ConfigPath())), ToHex(expected));
    }
}

TEST(SettingsVectors, FullFileAcceptsItsPasswordAndAnswers) {
    for (const ConfigVector& v : kVectors) {
        if (std::wstring(v.name).find(L"-full-") == std::wstring::npos) continue;
        SettingsFolder folder(v.usb);
        ASSERT_TRUE(WriteFileBytes(folder.ConfigPath(),
                                   ReadFileBytes(Join(settings_test::SettingsVectorsDir(), v.name + std::wstring(L".xml")))));
        EXPECT_TRUE(CheckPassword("correct horse battery staple"));
        EXPECT_FALSE(CheckPassword("Correct horse battery staple"));
        EXPECT_TRUE(CheckAnswers("Rex", "Springfield", "Elm Street"));
        EXPECT_FALSE(CheckAnswers("Rex", "Springfield", "Elm Street "));
        EXPECT_EQ(GetSetting("question1"), "What was your childhood nickname?");
    }
}

// Writes the vector files; run on purpose only:
//   settings_tests --gtest_also_run_disabled_tests --gtest_filter=SettingsVectors.DISABLED_Write
TEST(SettingsVectors, DISABLED_Write) {
    const std::wstring dir = settings_test::SettingsVectorsDir();
    struct Source {
        const wchar_t* name;
        std::vector<std::pair<std::string, std::string>> values;
    };
    const std::vector<std::pair<std::string, std::string>> full = {
        {"question1", "What was your childhood nickname?"},
        {"question2", "In what city or town did your mother and father meet?"},
        {"question3", "What street did you live on in third grade?"},
        {"a1", HashSecretText("Rex", corva::kAnswerLabel1)},
        {"a2", HashSecretText("Springfield", corva::kAnswerLabel2)},
        {"a3", HashSecretText("Elm Street", corva::kAnswerLabel3)},
        {"passwordhash", HashSecretText("correct horse battery staple", corva::kPasswordLabel)},
    };
    const std::vector<std::pair<std::string, std::string>> accented = {
        {"question1", "Caf\xC3\xA9 cr\xC3\xA8me \xE2\x80\x94 na\xC3\xAFve?"},
        {"question2", "S\xC3\xA3o Paulo"},
    };
    // A document of odd length, stored with one zero byte after it.
    const std::vector<std::pair<std::string, std::string>> odd = {
        {"question1", "What is your oldest sibling's middle name?"},
    };
    // Long question texts make a document of more than two blocks.
    auto longText = [](const char* subject) {
        std::string text;
        for (int i = 1; text.size() < 3000; ++i) text += std::string(subject) + " number " + std::to_string(i) + "? ";
        return text;
    };
    const std::vector<std::pair<std::string, std::string>> large = {
        {"question1", longText("Which street")},
        {"question2", longText("Which town")},
        {"question3", longText("Which teacher")},
        {"passwordhash", HashSecretText("correct horse battery staple", corva::kPasswordLabel)},
    };
    const Source sources[] = {
        {L"config-fresh-scrambled", {}}, {L"config-fresh-plain", {}}, {L"config-full-scrambled", full},
        {L"config-full-plain", full},    {L"config-accented-plain", accented},
        {L"config-odd-scrambled", odd},  {L"config-odd-plain", odd},
        {L"config-large-scrambled", large},
    };
    for (const Source& s : sources) {
        const bool usb = std::wstring(s.name).find(L"-plain") != std::wstring::npos;
        std::string text = "# key<TAB>value (UTF-8), in the order they were set\n";
        std::vector<std::pair<std::string, std::string>> narrow = s.values;
        for (auto& kv : narrow) {
            text += kv.first + "\t" + kv.second + "\n";
            ASSERT_TRUE(settings_test::NarrowFromUtf8(kv.second, &kv.second));
        }
        SettingsFolder folder(usb);
        WriteValues(narrow);
        ASSERT_TRUE(WriteFileBytes(Join(dir, s.name + std::wstring(L".xml")), ReadFileBytes(folder.ConfigPath())));
        ASSERT_TRUE(WriteFileText(Join(dir, s.name + std::wstring(L".values")), text));
    }
}
