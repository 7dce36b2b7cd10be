// The settings file: location, key text, creation, reads and writes, the
// scrambled and plain forms, and the handling of unreadable files.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <chrono>
#include <string>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

#include "MardleTree/MardleTree.h"
#include "SettingsTestSupport.h"
#include "platform/Platform.h"
#include "settings/Settings.h"

using namespace testing_support;
using settings_test::SettingsFolder;
using settings_test::TraceCapture;

namespace {

const char kFreshDocument[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?><root Ver=\"1.0\"/>";

std::string FileText(const std::wstring& path) {
    Bytes b = ReadFileBytes(path);
    return std::string(b.begin(), b.end());
}

// The setting elements of the file, in document order, as "name=val".
std::vector<std::string> Elements(const std::wstring& path, bool scrambled) {
    std::string doc = settings_test::PlainDocument(ReadFileBytes(path), scrambled);
    MardleTree tree;
    MardleTree::ParseResult result;
    tree.FromXML(result, doc);
    std::vector<std::string> out;
    std::vector<MardleTree*> children;
    tree.GetChildren(children, nullptr, false);
    for (MardleTree* c : children) {
        const std::string* v = c->FindAttribute("val");
        out.push_back(c->m_strName + "=" + (v ? *v : "<none>"));
    }
    return out;
}

}  // namespace

TEST(Settings, ModuleFilePathIsBesideTheModule) {
    const std::wstring module = plat::ModulePath();
    ASSERT_FALSE(module.empty());
    const std::wstring path = ModuleFilePath(L"config.xml");
    EXPECT_EQ(plat::ParentFolder(path), plat::ParentFolder(module));
    ASSERT_GT(path.size(), 10u);
    EXPECT_EQ(path.substr(path.size() - 11), std::wstring(1, plat::PathSeparator()) + L"config.xml");
    EXPECT_EQ(ModuleFilePath(L"dwipe.dll"), plat::ParentFolder(module) + plat::PathSeparator() + L"dwipe.dll");
}

TEST(Settings, JoinPathAddsExactlyOneSeparator) {
    const std::wstring sep(1, plat::PathSeparator());
    EXPECT_EQ(plat::JoinPath(L"a", L"b"), L"a" + sep + L"b");
    EXPECT_EQ(plat::JoinPath(L"a/", L"b"), L"a/b");
    EXPECT_EQ(plat::JoinPath(L"a\\", L"b"), L"a\\b");
    EXPECT_EQ(plat::JoinPath(L"", L"b"), L"b");
}

TEST(Settings, KeyTextFollowsTheDrive) {
    SettingsFolder folder(true);
    EXPECT_EQ(SettingsKeyText(), "");
    folder.SetUsb(false);
    EXPECT_EQ(SettingsKeyText(), "fetchhostmachinetag");
}

TEST(Settings, FirstStartCreatesTheBareRoot) {
    for (bool usb : {false, true}) {
        SettingsFolder folder(usb);
        EXPECT_TRUE(EnsureSettingsFile());
        ASSERT_TRUE(plat::PathExists(folder.ConfigPath()));
        Bytes file = ReadFileBytes(folder.ConfigPath());
        EXPECT_EQ(file.size() % 2, 0u);
        EXPECT_EQ(settings_test::PlainDocument(file, !usb), kFreshDocument);
        if (usb) {
            EXPECT_EQ(FileText(folder.ConfigPath()), kFreshDocument);  // even length: no zero byte
        } else {
            EXPECT_NE(FileText(folder.ConfigPath()).rfind("<?xml", 0), 0u);
        }
        EXPECT_EQ(GetSetting("passwordhash"), "");
        // A readable file is left alone.
        EXPECT_FALSE(EnsureSettingsFile());
        EXPECT_EQ(ReadFileBytes(folder.ConfigPath()), file);
        EXPECT_EQ(ListNames(folder.Path()).size(), 1u);
    }
}

TEST(Settings, SetAndGet) {
    for (bool usb : {false, true}) {
        SettingsFolder folder(usb);
        ASSERT_TRUE(EnsureSettingsFile());
        EXPECT_TRUE(SetSetting("question1", "What was your childhood nickname?"));
        EXPECT_TRUE(SetSetting("question1", "In what town was your first job?"));
        EXPECT_EQ(GetSetting("question1"), "In what town was your first job?");
        EXPECT_EQ(Elements(folder.ConfigPath(), !usb),
                  (std::vector<std::string>{"question1=In what town was your first job?"}));
        // Whatever the order of writing, the elements come in key order.
        EXPECT_TRUE(SetSetting("passwordhash", "P"));
        EXPECT_TRUE(SetSetting("a3", "3"));
        EXPECT_TRUE(SetSetting("question3", "Q3"));
        EXPECT_TRUE(SetSetting("a1", "1"));
        EXPECT_TRUE(SetSetting("question2", "Q2"));
        EXPECT_TRUE(SetSetting("a2", "2"));
        EXPECT_EQ(Elements(folder.ConfigPath(), !usb),
                  (std::vector<std::string>{"a1=1", "a2=2", "a3=3", "passwordhash=P",
                                            "question1=In what town was your first job?", "question2=Q2",
                                            "question3=Q3"}));
        EXPECT_EQ(GetSetting("a2"), "2");
        EXPECT_EQ(GetSetting("nothing"), "");
        // Special characters and an empty value survive.
        EXPECT_TRUE(SetSetting("question2", "<&>\"' x"));
        EXPECT_EQ(GetSetting("question2"), "<&>\"' x");
        EXPECT_TRUE(SetSetting("question3", ""));
        EXPECT_EQ(GetSetting("question3"), "");
        // Writes go through a temporary file that is gone afterwards.
        EXPECT_EQ(ListNames(folder.Path()), (std::vector<std::wstring>{L"config.xml"}));
    }
}

// A document of exactly two scrambler blocks (2 x 4,096 bytes, no zero byte
// added) is written and read back like any other.
TEST(Settings, ADocumentOfWholeScramblerBlocksReadsBack) {
    SettingsFolder folder(false);
    ASSERT_TRUE(EnsureSettingsFile());
    ASSERT_TRUE(SetSetting("question1", "x"));
    const size_t frame = settings_test::PlainDocument(ReadFileBytes(folder.ConfigPath()), true).size() - 1;
    const std::string value(2 * 4096 - frame, 'q');
    ASSERT_TRUE(SetSetting("question1", value));
    const Bytes file = ReadFileBytes(folder.ConfigPath());
    EXPECT_EQ(file.size(), 2u * 4096u);
    EXPECT_EQ(settings_test::PlainDocument(file, true).size(), 2u * 4096u);
    EXPECT_EQ(GetSetting("question1"), value);
}

TEST(Settings, NonAsciiValue) {
    std::string narrow;
    if (!settings_test::NarrowFromUtf8("Caf\xC3\xA9 cr\xC3\xA8me", &narrow)) GTEST_SKIP() << "code page lacks the letters";
    SettingsFolder folder(true);
    ASSERT_TRUE(EnsureSettingsFile());
    EXPECT_TRUE(SetSetting("question1", narrow));
    EXPECT_EQ(GetSetting("question1"), narrow);
    EXPECT_NE(FileText(folder.ConfigPath()).find("val=\"Caf\xC3\xA9 cr\xC3\xA8me\""), std::string::npos);
}

TEST(Settings, KeysMustBeSingleNames) {
    SettingsFolder folder(false);
    ASSERT_TRUE(EnsureSettingsFile());
    Bytes before = ReadFileBytes(folder.ConfigPath());
    EXPECT_FALSE(SetSetting("", "x"));
    EXPECT_FALSE(SetSetting(",", "x"));
    EXPECT_FALSE(SetSetting("a,b", "x"));
    EXPECT_FALSE(SetSetting("bad name", "x"));  // not an element name: nothing written
    // A value XML cannot hold is refused rather than written unreadable.
    EXPECT_FALSE(SetSetting("question1", std::string("x\x01y")));
    EXPECT_EQ(ReadFileBytes(folder.ConfigPath()), before);
    EXPECT_EQ(GetSetting(""), "");
}

TEST(Settings, MissingValAttributeReadsEmptyAndIsTraced) {
    SettingsFolder folder(true);
    ASSERT_TRUE(WriteFileText(folder.ConfigPath(), "<?xml version=\"1.0\"?><root Ver=\"1.0\"><a1/><a2 val=\"v\"/></root>"));
    TraceCapture trace;
    EXPECT_EQ(GetSetting("a1"), "");
    EXPECT_EQ(trace.Count(",pchAttrName='val'}"), 1u);
    EXPECT_EQ(GetSetting("a2"), "v");
    EXPECT_TRUE(SetSetting("a1", "now"));
    EXPECT_EQ(GetSetting("a1"), "now");
    EXPECT_EQ(GetSetting("a2"), "v");
}

TEST(Settings, FileMissingAtWriteIsCreated) {
    SettingsFolder folder(false);
    EXPECT_EQ(GetSetting("question1"), "");
    EXPECT_FALSE(plat::PathExists(folder.ConfigPath()));
    EXPECT_TRUE(SetSetting("question1", "Q"));
    EXPECT_EQ(GetSetting("question1"), "Q");
    EXPECT_EQ(Elements(folder.ConfigPath(), true), (std::vector<std::string>{"question1=Q"}));
    EXPECT_FALSE(EnsureSettingsFile());
    EXPECT_EQ(GetSetting("question1"), "Q");
}

// Drive detection can take the drive for the other kind for a moment: a
// file in the other form is then read, kept, and rewritten in its own form,
// never moved aside.
TEST(Settings, AFileInTheOtherFormIsReadAndKeptInItsForm) {
    for (bool writtenOnUsb : {false, true}) {
        SCOPED_TRACE(writtenOnUsb ? "plain file seen from a fixed drive" : "scrambled file seen from a USB drive");
        SettingsFolder folder(writtenOnUsb);
        ASSERT_TRUE(EnsureSettingsFile());
        ASSERT_TRUE(SetSetting("passwordhash", "digest"));
        ASSERT_TRUE(SetSetting("a1", "answer"));
        const Bytes written = ReadFileBytes(folder.ConfigPath());

        folder.SetUsb(!writtenOnUsb);
        TraceCapture trace;
        EXPECT_EQ(GetSetting("passwordhash"), "digest");
        EXPECT_FALSE(EnsureSettingsFile());
        EXPECT_EQ(ReadFileBytes(folder.ConfigPath()), written);
        EXPECT_EQ(ListNames(folder.Path()), (std::vector<std::wstring>{L"config.xml"}));
        EXPECT_GE(trace.Count("config.xml read in the other form"), 1u);

        // A write keeps every value and the form the file has.
        EXPECT_TRUE(SetSetting("question1", "Q"));
        EXPECT_EQ(Elements(folder.ConfigPath(), !writtenOnUsb),
                  (std::vector<std::string>{"a1=answer", "passwordhash=digest", "question1=Q"}));
        folder.SetUsb(writtenOnUsb);
        EXPECT_EQ(GetSetting("question1"), "Q");
        EXPECT_EQ(GetSetting("passwordhash"), "digest");
    }
}

// An unreadable file is moved aside, never deleted or overwritten, and a
// fresh file takes its place, so that what the user sets next is kept.
TEST(Settings, UnreadableFileIsMovedAsideAndWritesAreKept) {
    struct Case {
        const char* what;
        Bytes content;
        bool usb;
    };
    Bytes fixedFile;
    {
        SettingsFolder other(false);
        ASSERT_TRUE(EnsureSettingsFile());
        ASSERT_TRUE(SetSetting("passwordhash", "from a fixed drive"));
        fixedFile = ReadFileBytes(other.ConfigPath());
    }
    const Case cases[] = {
        {"empty", Bytes(), false},
        {"damaged", Bytes({'<', 'r', 'o', 'o', 't', ' ', 0x01, 0x02, 0xFF}), false},
        {"cut short", Bytes({'<', 'r', 'o', 'o', 't', '>', '<', 'a', '1', ' '}), true},
        {"scrambled and cut short", Bytes(fixedFile.begin(), fixedFile.begin() + fixedFile.size() / 2), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SettingsFolder folder(c.usb);
        ASSERT_TRUE(WriteFileBytes(folder.ConfigPath(), c.content));
        // Reads find nothing and a write does not replace what is there.
        EXPECT_EQ(GetSetting("passwordhash"), "");
        EXPECT_FALSE(SetSetting("passwordhash", "lost?"));
        EXPECT_EQ(ReadFileBytes(folder.ConfigPath()), c.content);

        EXPECT_TRUE(EnsureSettingsFile());
        EXPECT_EQ(ReadFileBytes(folder / L"config.xml.unreadable-1"), c.content);
        EXPECT_EQ(settings_test::PlainDocument(ReadFileBytes(folder.ConfigPath()), !c.usb), kFreshDocument);
        EXPECT_TRUE(SetSetting("passwordhash", "new"));
        EXPECT_EQ(GetSetting("passwordhash"), "new");
        EXPECT_FALSE(EnsureSettingsFile());
        EXPECT_EQ(GetSetting("passwordhash"), "new");

        // A second unreadable file takes the next name; the first stays.
        ASSERT_TRUE(WriteFileText(folder.ConfigPath(), "second"));
        ASSERT_TRUE(WriteFileText(folder / L"config.xml.unreadable-2", "someone else's"));
        EXPECT_TRUE(EnsureSettingsFile());
        EXPECT_EQ(ReadFileBytes(folder / L"config.xml.unreadable-1"), c.content);
        EXPECT_EQ(FileText(folder / L"config.xml.unreadable-2"), "someone else's");
        EXPECT_EQ(FileText(folder / L"config.xml.unreadable-3"), "second");
        EXPECT_EQ(GetSetting("passwordhash"), "");
        EXPECT_EQ(ListNames(folder.Path()).size(), 4u);
    }
}

TEST(Settings, UnopenableFileIsLeftAlone) {
    SettingsFolder folder(false);
    // A folder where the file should be cannot be opened as one.
    ASSERT_TRUE(MakeFolder(folder.ConfigPath()));
    EXPECT_FALSE(EnsureSettingsFile());
    EXPECT_TRUE(plat::IsDirectory(folder.ConfigPath()));
    EXPECT_FALSE(SetSetting("a1", "x"));
    EXPECT_EQ(GetSetting("a1"), "");
    EXPECT_EQ(ListNames(folder.Path()).size(), 1u);
}

TEST(Settings, FailedWriteReportsAndKeepsTheOldFile) {
    SettingsFolder folder(false);
    ASSERT_TRUE(EnsureSettingsFile());
    ASSERT_TRUE(SetSetting("question1", "old"));
    Bytes before = ReadFileBytes(folder.ConfigPath());
    for (int64_t budget : {0, 10, 100}) {
        plat::SetWriteBudgetForTesting(budget);
        bool stored = SetSetting("question1", std::string(300, 'n'));
        plat::SetWriteBudgetForTesting(-1);
        EXPECT_FALSE(stored) << budget;
        EXPECT_EQ(ReadFileBytes(folder.ConfigPath()), before) << budget;
        EXPECT_EQ(GetSetting("question1"), "old");
        EXPECT_EQ(ListNames(folder.Path()).size(), 1u);
    }
    // The first file of a fresh start fails the same way and is retried.
    SettingsFolder fresh(false);
    plat::SetWriteBudgetForTesting(0);
    EXPECT_FALSE(EnsureSettingsFile());
    plat::SetWriteBudgetForTesting(-1);
    EXPECT_FALSE(plat::PathExists(fresh.ConfigPath()));
    EXPECT_TRUE(EnsureSettingsFile());
}

// A reader never finds a half-written file, not even while the file is
// first created, so it never takes a file being written for a damaged one;
// and a reader holding the file never makes a write fail. Many rounds: a
// write that fails once in a hundred is a fault.
TEST(Settings, ConcurrentWriterAndReaderSeeWholeFiles) {
    // Each operation under Wine takes tens of milliseconds on a loaded
    // machine; the held-file tests below cover the collision for certain.
#ifdef _WIN32
    constexpr int kRounds = 10;
#else
    constexpr int kRounds = 60;
#endif
    for (int round = 0; round < kRounds; ++round) {
        SettingsFolder folder(round % 2 == 0);
        std::atomic<bool> done{false};
        std::atomic<int> wrongReads{0};
        std::thread reader([&] {
            while (!done.load()) {
                EnsureSettingsFile();
                std::string v = GetSetting("a1");
                if (!v.empty() && v.rfind("value ", 0) != 0) ++wrongReads;
                // The parser's process-wide lock is not fair: a reader that
                // never pauses could starve the writer for minutes.
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        });
        for (int i = 0; i < 4; ++i) EXPECT_TRUE(SetSetting("a1", "value " + std::to_string(i))) << "round " << round;
        done.store(true);
        reader.join();
        EXPECT_EQ(wrongReads.load(), 0);
        EXPECT_EQ(GetSetting("a1"), "value 3");
        EXPECT_EQ(ListNames(folder.Path()), (std::vector<std::wstring>{L"config.xml"})) << "round " << round;
        if (HasFailure()) break;
    }
}

// A folder that lets the user write config.xml but make no new file in it
// (an installation granting write access to the file alone): the file is
// rewritten in place, shorter or longer, and nothing else appears.
TEST(Settings, AFolderWithoutNewFilesGetsTheFileRewrittenInPlace) {
    SettingsFolder folder(false);
    ASSERT_TRUE(EnsureSettingsFile());
    ASSERT_TRUE(SetSetting("question1", std::string(500, 'q')));
    corva::SetSettingsFolderRefusesNewFilesForTesting(true);
    TraceCapture trace;
    const bool shorter = SetSetting("question1", "short");
    const bool longer = SetSetting("question2", std::string(2000, 'r'));
    const Bytes before = ReadFileBytes(folder.ConfigPath());
    // A read-only file is left as it is.
    ASSERT_TRUE(plat::SetReadOnly(folder.ConfigPath(), true));
    const bool readOnly = SetSetting("question3", "x");
    plat::SetReadOnly(folder.ConfigPath(), false);
    corva::SetSettingsFolderRefusesNewFilesForTesting(false);

    EXPECT_TRUE(shorter);
    EXPECT_TRUE(longer);
    EXPECT_FALSE(readOnly);
    EXPECT_GE(trace.Count("rewriting it in place"), 2u);
    EXPECT_EQ(ReadFileBytes(folder.ConfigPath()), before);
    EXPECT_EQ(Elements(folder.ConfigPath(), true),
              (std::vector<std::string>{"question1=short", "question2=" + std::string(2000, 'r')}));
    EXPECT_EQ(ListNames(folder.Path()), (std::vector<std::wstring>{L"config.xml"}));
    // Written in place, it fails like any write and keeps what was there.
    corva::SetSettingsFolderRefusesNewFilesForTesting(true);
    plat::SetWriteBudgetForTesting(10);
    const bool failed = SetSetting("question1", "lost");
    plat::SetWriteBudgetForTesting(-1);
    corva::SetSettingsFolderRefusesNewFilesForTesting(false);
    EXPECT_FALSE(failed);
    EXPECT_EQ(ReadFileBytes(folder.ConfigPath()), before);
    {
        // The first file cannot be made there at all.
        SettingsFolder empty(false);
        corva::SetSettingsFolderRefusesNewFilesForTesting(true);
        EXPECT_FALSE(EnsureSettingsFile());
        corva::SetSettingsFolderRefusesNewFilesForTesting(false);
        EXPECT_FALSE(plat::PathExists(empty.ConfigPath()));
    }
}

#ifdef _WIN32
namespace {

// Holds config.xml open for reading until released: without delete sharing
// as an indexer or a virus scanner may, or with it as the settings code
// itself reads.
class OtherReader {
public:
    explicit OtherReader(const std::wstring& path, DWORD sharing = FILE_SHARE_READ)
        : handle_(::CreateFileW(path.c_str(), GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr)) {}
    ~OtherReader() { Release(); }
    bool Held() const { return handle_ != INVALID_HANDLE_VALUE; }
    void Release() {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

}  // namespace

// Another program reading config.xml without delete sharing keeps it from
// being replaced: the write waits until the file is free.
TEST(Settings, AWriteWaitsWhileAnotherProgramReadsTheFile) {
    for (DWORD sharing : {DWORD{FILE_SHARE_READ}, DWORD{FILE_SHARE_READ | FILE_SHARE_DELETE}}) {
        SCOPED_TRACE(sharing);
        SettingsFolder folder(false);
        ASSERT_TRUE(EnsureSettingsFile());
        ASSERT_TRUE(SetSetting("question1", "old"));
        OtherReader other(folder.ConfigPath(), sharing);
        ASSERT_TRUE(other.Held());
        TraceCapture trace;
        // Released as soon as the writer has found the file in use once,
        // or at once when the system lets the file be replaced while open.
        std::atomic<bool> stored{false};
        std::thread release([&] {
            const ULONGLONG end = ::GetTickCount64() + 60000;
            while (trace.Count("config.xml in use") == 0 && !stored.load() && ::GetTickCount64() < end) ::Sleep(5);
            other.Release();
        });
        stored = SetSetting("question1", "new");
        release.join();
        EXPECT_TRUE(stored.load());
        EXPECT_EQ(GetSetting("question1"), "new");
        EXPECT_EQ(ListNames(folder.Path()), (std::vector<std::wstring>{L"config.xml"}));
        std::printf("held with sharing %lu: the write waited %zu time(s)\n", static_cast<unsigned long>(sharing),
                    trace.Count("config.xml in use"));
        if (sharing == FILE_SHARE_READ) {
            EXPECT_GE(trace.Count("config.xml in use"), 1u);
        }
    }
}

// A file held for longer than the write waits: the write fails, the file
// keeps its content and no temporary file stays behind.
TEST(Settings, AFileHeldForLongFailsTheWriteAndKeepsTheOldFile) {
    SettingsFolder folder(false);
    ASSERT_TRUE(EnsureSettingsFile());
    ASSERT_TRUE(SetSetting("question1", "old"));
    const Bytes before = ReadFileBytes(folder.ConfigPath());
    OtherReader other(folder.ConfigPath());
    ASSERT_TRUE(other.Held());
    EXPECT_FALSE(SetSetting("question1", "new"));
    other.Release();
    EXPECT_EQ(ReadFileBytes(folder.ConfigPath()), before);
    EXPECT_EQ(ListNames(folder.Path()), (std::vector<std::wstring>{L"config.xml"}));
}
#endif
