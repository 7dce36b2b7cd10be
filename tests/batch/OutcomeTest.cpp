// What a batch says when it ends: the reasons' texts, the summary (heading,
// one line per file, the cap, the cancel line) and the shortening of long
// paths in it.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "engine/BatchOutcome.h"
#include "engine/LockedFile.h"

using corva::BatchReport;
using corva::FailureReason;

namespace {

BatchReport ReportOf(size_t failures, bool cancelled, size_t done) {
    BatchReport report;
    for (size_t i = 0; i < failures; ++i)
        report.failures.push_back({L"C:\\docs\\file" + std::to_wstring(i) + L".txt", FailureReason::InUse});
    report.cancelled = cancelled;
    report.filesDone = done;
    report.doneVerb = L"locked";
    return report;
}

}  // namespace

TEST(BatchOutcome, EveryReasonHasALineOfItsOwn) {
    std::set<std::wstring> texts;
    for (int r = static_cast<int>(FailureReason::InUse); r <= static_cast<int>(FailureReason::DeviceError); ++r) {
        const std::wstring text = corva::FailureReasonText(static_cast<FailureReason>(r));
        EXPECT_FALSE(text.empty()) << r;
        EXPECT_TRUE(texts.insert(text).second) << "two reasons read alike: " << r;
    }
    EXPECT_STREQ(corva::FailureReasonText(FailureReason::InUse), L"open in another program");
    EXPECT_STREQ(corva::FailureReasonText(FailureReason::NoRoom), L"not enough room on the drive");
    EXPECT_STREQ(corva::FailureReasonText(FailureReason::OwnFile), L"one of Corvastine's own files");
}

// What the system says comes before what the code alone would suggest.
TEST(BatchOutcome, ReasonsFollowTheSystemsCauseFirst) {
    FailureReason reason;
    EXPECT_FALSE(corva::ReasonForEngineResult(corva::kOk, plat::IoError::None, &reason));
    EXPECT_FALSE(corva::ReasonForEngineResult(corva::kCancelled, plat::IoError::None, &reason));
    const struct {
        int result;
        plat::IoError cause;
        FailureReason expected;
    } cases[] = {
        {corva::kIoFailure, plat::IoError::InUse, FailureReason::InUse},
        {corva::kIoFailure, plat::IoError::NoSpace, FailureReason::NoRoom},
        {corva::kIoFailure, plat::IoError::Access, FailureReason::AccessDenied},
        {corva::kIoFailure, plat::IoError::DriveGone, FailureReason::DriveGone},
        {corva::kIoFailure, plat::IoError::NameTooLong, FailureReason::PathTooLong},
        {corva::kIoFailure, plat::IoError::Io, FailureReason::DeviceError},
        {corva::kPlainNotDeleted, plat::IoError::InUse, FailureReason::InUse},
        {corva::kLockedNotDeleted, plat::IoError::Access, FailureReason::AccessDenied},
        {corva::kNotLockedFile, plat::IoError::NotFound, FailureReason::Missing},
        {corva::kNotLockedFile, plat::IoError::None, FailureReason::Damaged},
        {corva::kDamagedPayload, plat::IoError::None, FailureReason::Damaged},
        {corva::kSizeMismatch, plat::IoError::None, FailureReason::Damaged},
        {corva::kWrongPassword, plat::IoError::None, FailureReason::WrongPassword},
        {corva::kDestinationExists, plat::IoError::None, FailureReason::NameTaken},
        {corva::kNotAFile, plat::IoError::None, FailureReason::Link},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(corva::ReasonForEngineResult(c.result, c.cause, &reason)) << c.result;
        EXPECT_EQ(reason, c.expected) << c.result << " " << static_cast<int>(c.cause);
    }
}

TEST(BatchOutcome, NothingToSayWhenAllWasDone) {
    EXPECT_EQ(corva::BatchSummaryText(ReportOf(0, false, 12), L""), L"");
}

TEST(BatchOutcome, TheSummaryNamesEachFileWithItsReasonUnderItsFolder) {
    BatchReport report = ReportOf(0, false, 3);
    report.failures.push_back({L"C:\\docs\\budget.xls", FailureReason::InUse});
    report.failures.push_back({L"C:\\docs\\notes.txt", FailureReason::AccessDenied});
    report.failures.push_back({L"C:\\Program Files\\Corvastine\\config.xml", FailureReason::OwnFile});
    report.failures.push_back({L"C:\\docs\\old.txt.corvastine", FailureReason::WrongPassword});
    EXPECT_EQ(corva::BatchSummaryText(report, L""),
              L"4 files could not be locked:\n"
              L"\n"
              L"In C:\\docs\n"
              L"budget.xls: open in another program\n"
              L"notes.txt: access denied\n"
              L"In C:\\Program Files\\Corvastine\n"
              L"config.xml: one of Corvastine's own files\n"
              L"In C:\\docs\n"
              L"old.txt.corvastine: locked with another password");
    report.failures.resize(1);
    report.doneVerb = L"shredded";
    EXPECT_EQ(corva::BatchSummaryText(report, L""),
              L"1 file could not be shredded:\n\nIn C:\\docs\nbudget.xls: open in another program");
    // A heading of the caller's.
    EXPECT_EQ(corva::BatchSummaryText(report, L"1 file could not be stored in the vault:"),
              L"1 file could not be stored in the vault:\n\nIn C:\\docs\nbudget.xls: open in another program");
    // A long folder loses its middle; a bare name has no folder line.
    report.failures = {{L"C:\\Users\\someone\\Documents\\projects\\2024\\reports\\final\\quarter.xls",
                        FailureReason::NoRoom},
                       {L"loose.txt", FailureReason::Missing}};
    EXPECT_EQ(corva::BatchSummaryText(report, L""),
              L"2 files could not be shredded:\n\nIn C:\\...\\Documents\\projects\\2024\\reports\\final\n"
              L"quarter.xls: not enough room on the drive\nloose.txt: no longer there");
}

TEST(BatchOutcome, ALongListEndsWithHowManyMore) {
    // One line more than the cap still fits better than "and 1 more.".
    const std::wstring eleven = corva::BatchSummaryText(ReportOf(corva::kSummaryFileLines + 1, false, 0), L"");
    EXPECT_NE(eleven.find(L"\nfile10.txt: open in another program"), std::wstring::npos);
    EXPECT_EQ(eleven.find(L"more."), std::wstring::npos);

    const std::wstring many = corva::BatchSummaryText(ReportOf(40, false, 0), L"");
    EXPECT_EQ(many.find(L"40 files could not be locked:\n\nIn C:\\docs\nfile0.txt: open in another program\n"), 0u);
    EXPECT_NE(many.find(L"\nfile9.txt: "), std::wstring::npos);
    EXPECT_EQ(many.find(L"file10.txt"), std::wstring::npos);
    EXPECT_EQ(many.substr(many.size() - 13), L"\nand 30 more.");
}

TEST(BatchOutcome, ACancelSaysHowMuchWasDone) {
    EXPECT_EQ(corva::BatchSummaryText(ReportOf(0, true, 0), L""),
              L"Cancelled before any file was locked; the rest were left as they were.");
    EXPECT_EQ(corva::BatchSummaryText(ReportOf(0, true, 1), L""),
              L"Cancelled after 1 file was locked; the rest were left as they were.");
    EXPECT_EQ(corva::BatchSummaryText(ReportOf(1, true, 5), L""),
              L"1 file could not be locked:\n\nIn C:\\docs\nfile0.txt: open in another program\n\n"
              L"Cancelled after 5 files were locked; the rest were left as they were.");
}

TEST(BatchOutcome, LongPathsLoseFoldersInTheirMiddle) {
    EXPECT_EQ(corva::ShortenPathForDisplay(L"C:\\short\\a.txt", 40), L"C:\\short\\a.txt");
    const std::wstring deep = L"C:\\Users\\someone\\Documents\\projects\\2024\\reports\\final\\report.docx";
    EXPECT_EQ(corva::ShortenPathForDisplay(deep, 40), L"C:\\...\\2024\\reports\\final\\report.docx");
    EXPECT_EQ(corva::ShortenPathForDisplay(deep, 20), L"C:\\...\\report.docx");
    EXPECT_EQ(corva::ShortenPathForDisplay(L"\\\\server\\share\\a\\b\\c\\d\\e\\name.txt", 30),
              L"\\\\server\\share\\...\\e\\name.txt");
    EXPECT_EQ(corva::ShortenPathForDisplay(L"/home/someone/a/very/deep/tree/of/folders/x.bin", 30),
              L"/.../tree/of/folders/x.bin");
    // The file name stays whole, however long.
    const std::wstring name(60, L'n');
    EXPECT_EQ(corva::ShortenPathForDisplay(L"C:\\a\\b\\" + name, 30), L"C:\\...\\" + name);
    EXPECT_LE(corva::ShortenPathForDisplay(deep, 40).size(), 40u);
}
