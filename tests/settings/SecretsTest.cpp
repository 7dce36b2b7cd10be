// Password and answer digests: the digest text, known answers computed
// independently, and the checks against the settings file.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "SettingsTestSupport.h"
#include "engine/Secrets.h"
#include "settings/PasswordStore.h"
#include "engine/SecretText.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

using namespace testing_support;
using settings_test::SettingsFolder;

namespace {

struct DigestCase {
    std::string label, utf8, digest;
};

std::vector<DigestCase> LoadDigests() {
    Bytes raw = ReadFileBytes(Join(settings_test::SettingsVectorsDir(), L"digests.txt"));
    std::istringstream in(std::string(raw.begin(), raw.end()));
    std::vector<DigestCase> out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream f(line);
        DigestCase c;
        std::string hex;
        std::getline(f, c.label, '\t');
        std::getline(f, hex, '\t');
        std::getline(f, c.digest);
        Bytes text = hex == "-" ? Bytes() : FromHex(hex);
        c.utf8.assign(text.begin(), text.end());
        out.push_back(c);
    }
    return out;
}

std::string Known(const std::string& label, const std::string& utf8) {
    for (const DigestCase& c : LoadDigests())
        if (c.label == label && c.utf8 == utf8) return c.digest;
    return std::string();
}

}  // namespace

TEST(Secrets, DigestTextKnownAnswers) {
    auto cases = LoadDigests();
    ASSERT_GE(cases.size(), 12u);
    const std::regex shape("([0-9A-F]{2} ){32}");
    int checked = 0;
    for (const DigestCase& c : cases) {
        std::string narrow;
        if (!settings_test::NarrowFromUtf8(c.utf8, &narrow)) {
            std::printf("skipped (code page): %s\n", c.utf8.c_str());
            continue;
        }
        std::string got = HashSecretText(narrow, c.label.c_str());
        EXPECT_EQ(got.size(), corva::kDigestTextSize);
        EXPECT_TRUE(std::regex_match(got, shape)) << got;
        EXPECT_EQ(got, c.digest) << c.label << " '" << c.utf8 << "'";
        ++checked;
    }
    // Every ASCII case runs on every platform.
    EXPECT_GE(checked, 10);
    EXPECT_EQ(HashSecretText("password", "kelpbramble"), HashSecretText("password", corva::kPasswordLabel));
    EXPECT_STREQ(corva::kAnswerLabel2, "quaymortar2");
}

TEST(Secrets, PasswordCheck) {
    SettingsFolder folder(false);
    ASSERT_TRUE(EnsureSettingsFile());
    // Nothing stored: nothing matches, not even the empty password.
    EXPECT_FALSE(HasPassword());
    EXPECT_FALSE(CheckPassword(""));
    EXPECT_FALSE(CheckPassword("password"));

    EXPECT_TRUE(SetPassword("password"));
    EXPECT_TRUE(HasPassword());
    EXPECT_EQ(GetSetting("passwordhash"), Known("kelpbramble", "password"));
    EXPECT_TRUE(CheckPassword("password"));
    EXPECT_FALSE(CheckPassword("Password"));
    EXPECT_FALSE(CheckPassword("password "));
    EXPECT_FALSE(CheckPassword(""));

    // A new password replaces the digest only.
    EXPECT_TRUE(SetPassword("correct horse battery staple"));
    EXPECT_EQ(GetSetting("passwordhash"), Known("kelpbramble", "correct horse battery staple"));
    EXPECT_FALSE(CheckPassword("password"));
    EXPECT_TRUE(CheckPassword("correct horse battery staple"));

    // A damaged digest matches nothing: one character short, or different
    // only in its last hexadecimal digit or its trailing space.
    const std::string right = Known("kelpbramble", "password");
    ASSERT_EQ(right.size(), 96u);
    std::string lastDigit = right, lastSpace = right;
    lastDigit[94] = lastDigit[94] == '0' ? '1' : '0';
    lastSpace[95] = '0';
    for (const std::string& damaged : {right.substr(0, 95), lastDigit, lastSpace}) {
        ASSERT_TRUE(SetSetting("passwordhash", damaged));
        EXPECT_FALSE(CheckPassword("password")) << "'" << damaged << "'";
    }
    ASSERT_TRUE(SetSetting("passwordhash", right));
    EXPECT_TRUE(CheckPassword("password"));
}

TEST(Secrets, AnswersCheck) {
    SettingsFolder folder(true);
    ASSERT_TRUE(EnsureSettingsFile());
    EXPECT_FALSE(CheckAnswers("", "", ""));
    EXPECT_TRUE(SetAnswers("Rex", "Springfield", "Elm Street"));
    EXPECT_EQ(GetSetting("a1"), Known("quaymortar1", "Rex"));
    EXPECT_EQ(GetSetting("a2"), Known("quaymortar2", "Springfield"));
    EXPECT_EQ(GetSetting("a3"), Known("quaymortar3", "Elm Street"));
    EXPECT_TRUE(CheckAnswers("Rex", "Springfield", "Elm Street"));
    EXPECT_FALSE(CheckAnswers("Rex ", "Springfield", "Elm Street"));  // trailing space
    EXPECT_FALSE(CheckAnswers("rex", "Springfield", "Elm Street"));
    EXPECT_FALSE(CheckAnswers("Rex", "Springfield", "Elm street"));
    EXPECT_FALSE(CheckAnswers("Springfield", "Rex", "Elm Street"));  // each has its own label
    EXPECT_EQ(GetSetting("passwordhash"), "");
}

// The three answers are stored together: a write that fails, whenever it
// fails, leaves the earlier three answers, never some old and some new.
TEST(Secrets, SetAnswersStoresAllThreeOrNone) {
    SettingsFolder folder(false);
    ASSERT_TRUE(EnsureSettingsFile());
    ASSERT_TRUE(SetAnswers("one", "two", "three"));
    // Every rewrite of the file with three answers has this size.
    const int64_t size = static_cast<int64_t>(ReadFileBytes(folder.ConfigPath()).size());
    for (int64_t budget : {int64_t(0), size - 1, size, 2 * size - 1, 2 * size, 3 * size - 1}) {
        plat::SetWriteBudgetForTesting(budget);
        const bool stored = SetAnswers("uno", "dos", "tres");
        plat::SetWriteBudgetForTesting(-1);
        if (stored) {
            EXPECT_TRUE(CheckAnswers("uno", "dos", "tres")) << budget;
            ASSERT_TRUE(SetAnswers("one", "two", "three"));
        } else {
            EXPECT_TRUE(CheckAnswers("one", "two", "three")) << budget;
        }
    }
}

TEST(Secrets, CheckAnswersStopsAtTheFirstMismatch) {
    SettingsFolder folder(false);
    ASSERT_TRUE(EnsureSettingsFile());
    ASSERT_TRUE(SetAnswers("one", "two", "three"));
    unsigned long before = corva::HashSecretTextCount();
    EXPECT_FALSE(CheckAnswers("wrong", "two", "three"));
    EXPECT_EQ(corva::HashSecretTextCount() - before, 1u);
    before = corva::HashSecretTextCount();
    EXPECT_FALSE(CheckAnswers("one", "wrong", "three"));
    EXPECT_EQ(corva::HashSecretTextCount() - before, 2u);
    before = corva::HashSecretTextCount();
    EXPECT_TRUE(CheckAnswers("one", "two", "three"));
    EXPECT_EQ(corva::HashSecretTextCount() - before, 3u);
}

TEST(Secrets, FailedWritesAreReported) {
    SettingsFolder folder(false);
    ASSERT_TRUE(WriteFileText(folder.ConfigPath(), "not a settings file"));
    EXPECT_FALSE(SetPassword("password"));
    EXPECT_FALSE(SetAnswers("a", "b", "c"));
    EXPECT_FALSE(CheckPassword("password"));
    EXPECT_EQ(ReadFileBytes(folder.ConfigPath()).size(), 19u);
    ASSERT_TRUE(EnsureSettingsFile());  // moves it aside
    EXPECT_TRUE(SetPassword("password"));
    EXPECT_TRUE(SetAnswers("a", "b", "c"));
    EXPECT_TRUE(CheckPassword("password"));
    EXPECT_TRUE(CheckAnswers("a", "b", "c"));
}

TEST(Secrets, SecretTextWipesItsWholeBufferAndMovesWithoutLeavingACopy) {
    corva::SecretText secret(std::string("a rather long password text"));
    const std::string& buffer = secret.Text();
    const char* data = buffer.data();
    const size_t capacity = buffer.capacity();
    secret.Wipe();
    EXPECT_TRUE(secret.Empty());
    // The bytes stay addressable: wiping never shrinks the buffer.
    EXPECT_EQ(secret.Text().data(), data);
    for (size_t i = 0; i < capacity; ++i) EXPECT_EQ(data[i], '\0') << "byte " << i << " survived";

    corva::SecretText shortOne(std::string("pw"));
    corva::SecretText moved(std::move(shortOne));
    EXPECT_EQ(moved.Text(), "pw");
    EXPECT_TRUE(shortOne.Empty());
    corva::SecretText assigned;
    assigned = std::move(moved);
    EXPECT_EQ(assigned.Text(), "pw");
    EXPECT_TRUE(moved.Empty());
    EXPECT_TRUE(assigned == corva::SecretText(std::string("pw")));
}
