// Runs the kit of locked files in tests/vectors/locked against the engine:
// files made by the Linux and by the Windows build, each with its outcome.
#include <gtest/gtest.h>

#include <ctime>
#include <sstream>

#include "engine/LockedFile.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace testing_support;

namespace {

struct Vector {
    std::string file, password, outcome, plain;
};

std::vector<Vector> LoadManifest() {
    Bytes raw = ReadFileBytes(Join(Join(VectorsDir(), L"locked"), L"manifest.tsv"));
    std::istringstream in(std::string(raw.begin(), raw.end()));
    std::vector<Vector> out;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Vector v;
        std::getline(fields, v.file, '\t');
        std::getline(fields, v.password, '\t');
        std::getline(fields, v.outcome, '\t');
        std::getline(fields, v.plain, '\t');
        out.push_back(v);
    }
    return out;
}

int Expected(const std::string& outcome) {
    if (outcome == "ok") return corva::kOk;
    if (outcome == "wrong-password") return corva::kWrongPassword;
    if (outcome == "truncated") return corva::kSizeMismatch;
    if (outcome == "damaged") return corva::kDamagedPayload;
    if (outcome == "not-locked") return corva::kNotLockedFile;
    ADD_FAILURE() << "unknown outcome " << outcome;
    return 1;
}

}  // namespace

TEST(Vectors, EveryLockedFileHasItsOutcome) {
    const std::wstring kit = Join(VectorsDir(), L"locked");
    std::vector<Vector> vectors = LoadManifest();
    ASSERT_GE(vectors.size(), 10u) << "manifest not found under " << plat::WideToUtf8(kit);
    TempDir dir;
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.file + " / " + v.outcome);
        const std::wstring source = Join(kit, plat::Utf8ToWide(v.file));
        const std::string password = plat::WideToNarrow(plat::Utf8ToWide(v.password));
        EXPECT_EQ(corva::VerifyLockedFile(password.c_str(), source, nullptr), Expected(v.outcome));

        // Unlock a copy: only a good file may disappear, into its plain bytes.
        const std::wstring copy = dir / plat::Utf8ToWide(v.file);
        const Bytes lockedBytes = ReadFileBytes(source);
        ASSERT_TRUE(WriteFileBytes(copy, lockedBytes));
        const int64_t before = static_cast<int64_t>(std::time(nullptr));
        const bool unlocked = UnlockOneFile(copy, password.c_str(), nullptr);
        const std::wstring restored = copy.substr(0, copy.size() - 11);
        if (v.outcome == "ok") {
            EXPECT_TRUE(unlocked);
            EXPECT_FALSE(plat::PathExists(copy));
            EXPECT_EQ(ReadFileBytes(restored),
                      ReadFileBytes(Join(Join(kit, L"plain"), plat::Utf8ToWide(v.plain))));
            // Their payloads carry no times: the file gets those of its unlocking.
            int64_t seconds = 0;
            uint32_t nanoseconds = 0;
            EXPECT_TRUE(ModifiedTime(restored, &seconds, &nanoseconds));
            EXPECT_GE(seconds, before - 1);
            plat::RemoveFile(restored);
        } else {
            EXPECT_FALSE(unlocked);
            EXPECT_EQ(ReadFileBytes(copy), lockedBytes);
            EXPECT_FALSE(plat::PathExists(restored));
            plat::RemoveFile(copy);
        }
        EXPECT_TRUE(ListNames(dir.Path()).empty());
    }
}
