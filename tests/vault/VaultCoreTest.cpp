// The vault's decisions that need no window: names and paths of the vault
// layout, the password record and its shape, the entries' password check,
// the Size and Date texts and the caption's hit zones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "VaultCaptionMetrics.h"
#include "EntryState.h"
#include "EntryTexts.h"
#include "PasswordRecord.h"
#include "VaultTestPrograms.h"
#include "VaultLayout.h"
#include "engine/LockedFile.h"
#include "engine/Secrets.h"
#include "platform/Platform.h"
#include "support/TestSupport.h"

using namespace corva::vault;
using testing_support::Bytes;
using testing_support::TempDir;

TEST(VaultLayout, TheProgramFolderEndsWithItsBackslashAndHoldsTheVaultFolder) {
    EXPECT_EQ(ProgramFolderOf(L"E:\\CorvastineVault.exe"), L"E:\\");
    EXPECT_EQ(ProgramFolderOf(L"E:\\tools\\Other.exe"), L"E:\\tools\\");
    EXPECT_EQ(ProgramFolderOf(L"NoFolder.exe"), L"");
    EXPECT_EQ(VaultFolderOf(L"E:\\"), L"E:\\corvadocuments");
    EXPECT_EQ(FileNameOf(L"C:\\a\\b.txt"), L"b.txt");
}

TEST(VaultLayout, OnlyNamesEndingInTheLockedExtensionAreEntries) {
    EXPECT_TRUE(IsVaultEntryName(L"report.pdf.corvastine"));
    EXPECT_TRUE(IsVaultEntryName(L"REPORT.PDF.CORVASTINE"));
    EXPECT_FALSE(IsVaultEntryName(L".corvastine"));
    EXPECT_FALSE(IsVaultEntryName(L"report.pdf"));
    EXPECT_FALSE(IsVaultEntryName(L"report.corvastine.txt"));
}

TEST(VaultLayout, ADraggedEntryIsCutAtTheLastLockedExtension) {
    EXPECT_EQ(UnlockedPathOf(L"E:\\corvadocuments\\a.txt.corvastine"), L"E:\\corvadocuments\\a.txt");
    EXPECT_EQ(UnlockedPathOf(L"E:\\corvadocuments\\a.corvastine.corvastine"), L"E:\\corvadocuments\\a.corvastine");
    EXPECT_EQ(UnlockedPathOf(L"E:\\corvadocuments\\plain.txt"), L"E:\\corvadocuments\\plain.txt");
}

TEST(VaultLayout, ANameTakenInTheVaultGetsTheFirstFreeNumberAsCopiesDo) {
    EXPECT_EQ(NumberedName(L"a.dat", 2, false), L"a (2).dat");
    EXPECT_EQ(NumberedName(L"archive.tar.gz", 3, false), L"archive.tar (3).gz");
    EXPECT_EQ(NumberedName(L"README", 2, false), L"README (2)");
    EXPECT_EQ(NumberedName(L".profile", 2, false), L".profile (2)");
    EXPECT_EQ(NumberedName(L"photos.2024", 2, true), L"photos.2024 (2)");

    std::set<std::wstring> inVault;
    const NameTaken taken = [&](const std::wstring& name) { return inVault.count(name) != 0; };
    EXPECT_EQ(FreeEntryName(L"a.dat", false, taken), L"a.dat");
    inVault = {L"a.dat.corvastine"};
    EXPECT_EQ(FreeEntryName(L"a.dat", false, taken), L"a (2).dat");
    // A plain file of the name (left over in the vault folder) counts too, so
    // that the entry can be taken out under its plain name later.
    inVault = {L"a.dat.corvastine", L"a (2).dat", L"a (3).dat.corvastine"};
    EXPECT_EQ(FreeEntryName(L"a.dat", false, taken), L"a (4).dat");
    inVault = {L"photos", L"photos (2).corvastine"};
    EXPECT_EQ(FreeEntryName(L"photos", true, taken), L"photos (3)");
    EXPECT_EQ(FreeEntryName(L"x", false, [](const std::wstring&) { return true; }), L"");
}

TEST(PasswordRecord, DigestTextAndRecordBytesTurnIntoEachOther) {
    const std::string text = HashSecretText("lantern", corva::kPasswordLabel);
    RecordBytes bytes{};
    ASSERT_TRUE(RecordFromDigestText(text, &bytes));
    EXPECT_EQ(DigestTextOfRecord(bytes), text);
    // Lower-case digits count as well; blanks and other separators do not.
    std::string lower = text;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    RecordBytes again{};
    ASSERT_TRUE(RecordFromDigestText(lower, &again));
    EXPECT_EQ(again, bytes);
}

TEST(PasswordRecord, TextsThatAreNotThirtyTwoHexBytesGiveNoRecord) {
    RecordBytes bytes{};
    const std::string text = HashSecretText("lantern", corva::kPasswordLabel);
    EXPECT_FALSE(RecordFromDigestText(text.substr(0, 93), &bytes));   // 31.5 bytes
    EXPECT_FALSE(RecordFromDigestText(text + "00 ", &bytes));          // 33 bytes
    EXPECT_FALSE(RecordFromDigestText("G" + text.substr(1), &bytes));  // not a hex digit
    EXPECT_FALSE(RecordFromDigestText("", &bytes));
}

TEST(PasswordRecord, TheRecordIsTheLastThirtyTwoBytesOfTheFile) {
    TempDir dir;
    Bytes program = vaulttest::MinimalProgram(false);
    const std::string text = HashSecretText("lantern", corva::kPasswordLabel);
    RecordBytes record{};
    ASSERT_TRUE(RecordFromDigestText(text, &record));
    program.insert(program.end(), record.begin(), record.end());
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"CorvastineVault.exe", program));
    std::string read;
    ASSERT_EQ(ReadPasswordRecord(dir / L"CorvastineVault.exe", &read), RecordStatus::Ok);
    EXPECT_EQ(read, text);
    EXPECT_EQ(read.size(), 96u);
}

TEST(PasswordRecord, AMissingOrShortProgramFileHoldsNoRecord) {
    TempDir dir;
    std::string read = "untouched";
    EXPECT_EQ(ReadPasswordRecord(dir / L"CorvastineVault.exe", &read), RecordStatus::Missing);
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"short.exe", Bytes(31, 0xAB)));
    EXPECT_EQ(ReadPasswordRecord(dir / L"short.exe", &read), RecordStatus::TooShort);
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"empty.exe", Bytes()));
    EXPECT_EQ(ReadPasswordRecord(dir / L"empty.exe", &read), RecordStatus::TooShort);
    EXPECT_EQ(read, "untouched");
    // Exactly 32 bytes is a record and nothing else.
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"bare.exe", Bytes(32, 0x0F)));
    EXPECT_EQ(ReadPasswordRecord(dir / L"bare.exe", &read), RecordStatus::Ok);
    EXPECT_EQ(read.substr(0, 6), "0F 0F ");
}

// A program file counts as sealed only when exactly one record follows its
// image: an unsealed copy of the kit's program, a cut-off file or one with
// other bytes after its image (whatever its last 32 bytes) holds none.
TEST(PasswordRecord, OnlyAProgramImageFollowedByExactlyOneRecordHoldsOne) {
    TempDir dir;
    RecordBytes record{};
    ASSERT_TRUE(RecordFromDigestText(HashSecretText("lantern", corva::kPasswordLabel), &record));
    for (bool symbols : {false, true}) {
        const Bytes image = vaulttest::MinimalProgram(symbols);
        int64_t end = 0;
        ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"kit.exe", image));
        ASSERT_TRUE(ProgramImageEnd(dir / L"kit.exe", &end));
        EXPECT_EQ(end, static_cast<int64_t>(image.size()));

        Bytes sealed = image;
        sealed.insert(sealed.end(), record.begin(), record.end());
        const struct {
            const char* what;
            Bytes bytes;
            RecordStatus status;
        } cases[] = {
            {"sealed", sealed, RecordStatus::Ok},
            {"unsealed kit copy", image, RecordStatus::NoRecord},
            {"cut off", Bytes(sealed.begin(), sealed.begin() + 0x1000), RecordStatus::NoRecord},
            {"sealed twice", [&] {
                 Bytes twice = sealed;
                 twice.insert(twice.end(), record.begin(), record.end());
                 return twice;
             }(), RecordStatus::NoRecord},
        };
        for (const auto& c : cases) {
            ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"CorvastineVault.exe", c.bytes));
            std::string read;
            EXPECT_EQ(ReadPasswordRecord(dir / L"CorvastineVault.exe", &read), c.status) << c.what << symbols;
        }
    }
    // A file that is no program holds a record only when it is the bare record.
    Bytes noProgram = testing_support::PseudoRandom(4096, 7);
    noProgram.insert(noProgram.end(), record.begin(), record.end());
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"other.exe", noProgram));
    std::string read;
    EXPECT_EQ(ReadPasswordRecord(dir / L"other.exe", &read), RecordStatus::NoRecord);
}

// The list's mark: an entry whose header opens with the vault's password,
// one locked under another, and files that are no whole locked file.
TEST(EntryState, TheHeaderTellsEntriesOfAnotherPasswordAndDamagedOnesApart) {
    TempDir dir;
    const Bytes content = testing_support::PseudoRandom(5000, 2);
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"ours.bin", content));
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"theirs.bin", content));
    ASSERT_EQ(corva::LockFile(dir / L"ours.bin", "sesame", nullptr), corva::kOk);
    ASSERT_EQ(corva::LockFile(dir / L"theirs.bin", "other", nullptr), corva::kOk);
    EXPECT_EQ(CheckEntry(dir / L"ours.bin.corvastine", "sesame"), EntryState::Opens);
    EXPECT_EQ(CheckEntry(dir / L"theirs.bin.corvastine", "sesame"), EntryState::OtherPassword);

    // Cut at a block boundary: still of the locked files' length shape, but
    // shorter than its header says.
    Bytes locked = testing_support::ReadFileBytes(dir / L"ours.bin.corvastine");
    locked.resize(locked.size() - 16);
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"cut.bin.corvastine", locked));
    EXPECT_EQ(CheckEntry(dir / L"cut.bin.corvastine", "sesame"), EntryState::Damaged);
    ASSERT_TRUE(testing_support::WriteFileBytes(dir / L"text.corvastine", Bytes(300, 'x')));
    EXPECT_EQ(CheckEntry(dir / L"text.corvastine", "sesame"), EntryState::Damaged);
    EXPECT_EQ(CheckEntry(dir / L"missing.corvastine", "sesame"), EntryState::Damaged);
    EXPECT_EQ(std::wstring(EntryMark(EntryState::Opens)), L"");
}

TEST(EntryTexts, SizesStepFromBytesToKilobytesMegabytesAndGigabytes) {
    EXPECT_EQ(SizeText(0), L"0 Bytes");
    EXPECT_EQ(SizeText(1023), L"1023 Bytes");
    EXPECT_EQ(SizeText(1024), L"1 KB");
    EXPECT_EQ(SizeText(1048575), L"1023 KB");
    EXPECT_EQ(SizeText(1048576), L"1 MB");
    EXPECT_EQ(SizeText(1073741823), L"1023 MB");
    EXPECT_EQ(SizeText(1073741824), L"1 GB");
    EXPECT_EQ(SizeText(int64_t{1} << 31), L"2 GB");              // beyond a signed 32-bit length
    EXPECT_EQ(SizeText((int64_t{5} << 30) + 12345), L"5 GB");    // beyond 4 GiB
    EXPECT_EQ(SizeText(int64_t{3} << 40), L"3072 GB");
    EXPECT_EQ(SizeText(-1), L"");
}

TEST(EntryTexts, DatesAreYearMonthDayWithLeadingZeros) {
    EXPECT_EQ(DateText(2026, 3, 7), L"2026-03-07");
    EXPECT_EQ(DateText(1999, 12, 31), L"1999-12-31");
}

// The vault's caption on the shared hit test: window (100, 50, 600, 600),
// a dialog frame 3 pixels wide, the caption ending 21 below the top.
enum class CaptionPart { Elsewhere, Caption, Minimise, Close };
CaptionPart CaptionHitTest(int x, int y) {
    switch (corva::ui::CaptionHitTest(x, y, 600, 50, 3, 21, kVaultCaptionMetrics)) {
    case corva::ui::CaptionHit::Caption: return CaptionPart::Caption;
    case corva::ui::CaptionHit::Minimise: return CaptionPart::Minimise;
    case corva::ui::CaptionHit::Close: return CaptionPart::Close;
    default: return CaptionPart::Elsewhere;  // a maximise answer would fail the checks too
    }
}

TEST(CaptionHitTest, TheButtonsHangFromTheTopEdgeAtTheRight) {
    // Row inside the button band (top + 2 .. top + 16).
    EXPECT_EQ(CaptionHitTest(520, 52), CaptionPart::Minimise);  // right - 80
    EXPECT_EQ(CaptionHitTest(545, 66), CaptionPart::Minimise);  // right - 55, top + 16
    EXPECT_EQ(CaptionHitTest(546, 60), CaptionPart::Close);     // right - 54
    EXPECT_EQ(CaptionHitTest(588, 60), CaptionPart::Close);     // right - 12
    EXPECT_EQ(CaptionHitTest(589, 60), CaptionPart::Caption);   // right - 11
    // Below the buttons, the zone is caption; the top two rows and everything
    // outside the zone keep the standard answer.
    EXPECT_EQ(CaptionHitTest(560, 67), CaptionPart::Caption);
    EXPECT_EQ(CaptionHitTest(560, 51), CaptionPart::Elsewhere);
    EXPECT_EQ(CaptionHitTest(519, 60), CaptionPart::Elsewhere);
    EXPECT_EQ(CaptionHitTest(597, 60), CaptionPart::Elsewhere);  // right - frame
    EXPECT_EQ(CaptionHitTest(300, 60), CaptionPart::Elsewhere);
}
