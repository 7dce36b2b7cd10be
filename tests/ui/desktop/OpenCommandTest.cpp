// Open on a locked row: the file is unlocked into a working copy, Wine's own
// notepad shows it, the list says "open" meanwhile, and a change typed and
// saved in notepad with real keys is locked again over the locked file once
// notepad has ended; the working copy is shredded.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>

#include "BrowserTestSupport.h"
#include "DialogIds.h"
#include "engine/LockedFile.h"
#include "engine/WorkingCopyPipeline.h"
#include "open/WorkingCopies.h"
#include "platform/Platform.h"
#include "settings/PasswordStore.h"
#include "settings/Settings.h"

namespace desktoptest {
namespace {

using namespace uitest;

const char kPassword[] = "first password";  // the fixture's start-up password

std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// EnumChildWindows: the first list view, into *(HWND*)out.
BOOL CALLBACK FindListView(HWND window, LPARAM out) {
    wchar_t cls[64] = {};
    ::GetClassNameW(window, cls, 64);
    if (std::wstring(cls) != L"SysListView32") return TRUE;
    *reinterpret_cast<HWND*>(out) = window;
    return FALSE;
}

class OpenCommandTest : public BrowserFixture {
protected:
    void SetUp() override {
        BrowserFixture::SetUp();
        area_ = fs::path(L"C:\\corva-test") / (L"open-" + scratchName_);
        std::error_code ec;
        fs::remove_all(area_, ec);
        ASSERT_TRUE(fs::create_directories(area_, ec));
        root_ = (area_ / L"Corvastine" / L"Open").wstring();
        configure_ = [this](corva::desktop::MainFrame& frame) {
            frame.OpenedForTesting().SetPlacesForTesting(root_, L"C:\\corva-app\\dwipe.dll");
        };
    }
    void TearDown() override {
        // A notepad left open by a failed step (perhaps asking whether to
        // save) would keep the run from ending.
        EndProgramOfWindow(FindNotepad());
        BrowserFixture::TearDown();
        std::error_code ec;
        fs::remove_all(area_, ec);
    }
    static HWND FindNotepad() {
        WindowQuery q;
        q.className = L"Notepad";
        return FindWindowOnce(q);
    }
    // A locked file in the scratch folder made from text.
    fs::path MakeLocked(const std::wstring& name, const std::string& text) {
        const fs::path plain = scratch_ / name;
        std::ofstream(plain, std::ios::binary) << text;
        EXPECT_EQ(corva::LockFile(plain.wstring(), kPassword, nullptr), corva::kOk);
        return fs::path(plain.wstring() + L".corvastine");
    }
    std::string UnlockedText(const fs::path& locked, const char* password = kPassword) {
        const fs::path out = area_ / L"check.txt";
        std::error_code ec;
        fs::remove(out, ec);
        if (corva::UnlockCopy(locked.wstring(), out.wstring(), password, nullptr) != corva::kOk) return "(none)";
        const std::string text = Content(out);
        fs::remove(out, ec);
        return text;
    }
    // Types text at the end of notepad's text and saves it with Ctrl+S,
    // waiting for the file to reach its new size.
    static void TypeAndSave(HWND pad, const std::wstring& path, const std::wstring& typed, uint64_t savedSize) {
        ASSERT_TRUE(TypeAtEnd(pad, typed)) << "the typing did not reach notepad: " << plat::WideToUtf8(EditBoxText(pad));
        const bool saved = SaveByKeys(pad, path, savedSize);
        if (!saved) SaveScreenshot(::GetDesktopWindow(), L"open-save-failed");
        ASSERT_TRUE(saved) << "notepad did not save";
    }
    // Whether an entry's folder and record are gone, looked at by name only:
    // listing the folder or reading the record while the program removes
    // them would hold them open and stand in the way.
    static bool EntryGone(const corva::WorkingEntry& entry) {
        return ::GetFileAttributesW(entry.folder.c_str()) == INVALID_FILE_ATTRIBUTES &&
               ::GetFileAttributesW(entry.recordPath.c_str()) == INVALID_FILE_ATTRIBUTES;
    }

    fs::path area_;
    std::wstring root_;
};

TEST_F(OpenCommandTest, EnterOpensInNotepadAndTheSavedChangeIsLockedAgain) {
    const fs::path locked = MakeLocked(L"note.txt", "first line\r\n");
    const std::string before = Content(locked);
    Open();
    ShowScratch(1);
    SelectRows(0, 0);
    ASSERT_TRUE(BringToForeground(hwnd_));
    ClearCommands();
    ASSERT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return FindNotepad() != nullptr; }));
    HWND pad = WaitForWindow([] {
        WindowQuery q;
        q.className = L"Notepad";
        return q;
    }());
    ASSERT_NE(pad, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Cell(0, 2) == L"open"; })) << "the list shows the file as open";
    ASSERT_TRUE(BringToForeground(hwnd_));
    SaveScreenshot(hwnd_, L"open-list-shows-open");
    EXPECT_EQ(Content(locked), before) << "nothing is written while it is open";
    std::vector<corva::WorkingEntry> entries = corva::WorkingArea(root_).Entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(Content(entries[0].copyPath), "first line\r\n");

    // Edit and save in notepad with real keys, then close it.
    TypeAndSave(pad, entries[0].copyPath, L"added in notepad", std::string("first line\r\nadded in notepad").size());
    SaveScreenshot(pad, L"open-notepad-edited");
    if (HasFatalFailure()) return;
    ::PostMessageW(pad, WM_CLOSE, 0, 0);
    ASSERT_TRUE(WaitForWindowGone(pad));

    ASSERT_TRUE(WaitUntil([&] { return EntryGone(entries[0]) && Cell(0, 2) != L"open"; }, Millis(60000)))
        << "locked again and shredded once notepad has ended";
    EXPECT_TRUE(corva::WorkingArea(root_).Entries().empty());
    EXPECT_EQ(UnlockedText(locked), "first line\r\nadded in notepad");
    EXPECT_EQ(RowNames(), std::vector<std::wstring>{L"note.txt.corvastine"});
}

// Corvadesk.exe itself is killed while notepad shows a file it opened and
// the change is saved afterwards; the next start, after the password gate,
// names the changed file in its question and locks it again.
TEST_F(OpenCommandTest, AfterAKillTheNextStartLocksTheChangedCopyAgain) {
    const std::wstring app = L"C:\\corva-app\\";
    corva::SetSettingsFolderForTesting(app);
    struct Restore {
        ~Restore() { corva::SetSettingsFolderForTesting(L""); }
    } restore;
    ::DeleteFileW((app + L"config.xml").c_str());
    ASSERT_TRUE(EnsureSettingsFile());
    ASSERT_TRUE(SetPassword("right"));
    const fs::path plain = desktop_ / L"kill-note.txt";
    std::ofstream(plain, std::ios::binary) << "before the kill\r\n";
    ASSERT_EQ(corva::LockFile(plain.wstring(), "right", nullptr), corva::kOk);
    const fs::path locked = fs::path(plain.wstring() + L".corvastine");
    struct Remove {
        fs::path path;
        ~Remove() {
            std::error_code ec;
            fs::remove(path, ec);
        }
    } remove{locked};
    const corva::WorkingArea area(corva::DefaultWorkingRoot());
    ASSERT_TRUE(area.Entries().empty());
    // Whatever this test leaves in the program's own area goes with it.
    struct Clear {
        ~Clear() {
            std::error_code ec;
            fs::remove_all(corva::DefaultWorkingRoot(), ec);
        }
    } clear;

    auto login = [&](ChildProcess& program) -> HWND {
        EXPECT_TRUE(program.Start(app + L"Corvadesk.exe", L""));
        HWND prompt = WaitForWindow(WindowQuery::Dialog(program.GetScope(), L"Enter password"));
        EXPECT_NE(prompt, nullptr);
        if (!prompt) return nullptr;
        EXPECT_TRUE(SetControlText(prompt, IDC_ENTER_PASSWORD, L"right"));
        EXPECT_TRUE(BringToForeground(prompt));
        EXPECT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return !::IsWindowVisible(prompt); }));
        WindowQuery q;
        q.scope = program.GetScope();
        q.className = L"CorvastineMainFrame";
        return WaitForWindow(q);
    };
    corva::WorkingEntry opened;
    const std::wstring& copy = opened.copyPath;
    {
        ChildProcess first;
        HWND frame = login(first);
        ASSERT_NE(frame, nullptr);
        HWND list = nullptr;
        ::EnumChildWindows(frame, &FindListView, reinterpret_cast<LPARAM>(&list));
        ASSERT_NE(list, nullptr);
        // The Desktop's rows: a click on the list's empty lower part gives
        // it the focus, typing the name's start selects the row, Enter opens.
        RECT r{};
        ::GetWindowRect(list, &r);
        ASSERT_TRUE(BringToForeground(frame));
        ASSERT_TRUE(WaitUntil([&] { return ListView_GetItemCount(list) > 3; }));
        ASSERT_TRUE(ClickAt(POINT{(r.left + r.right) / 2, r.bottom - 20}));
        ASSERT_TRUE(WaitUntil([&] { return ::GetFocus() == list || FocusedWindow(frame) == list; }));
        TypeKeys(L"kill-note");
        ASSERT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return FindNotepad() != nullptr; }));
        HWND pad = FindNotepad();
        ASSERT_TRUE(WaitUntil([&] { return area.Entries().size() == 1; }));
        opened = area.Entries()[0];

        // The program dies; notepad stays and the change is saved after.
        HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, first.ProcessId());
        ASSERT_NE(process, nullptr);
        ASSERT_TRUE(::TerminateProcess(process, 9));
        ::CloseHandle(process);
        ASSERT_TRUE(first.WaitExit().has_value());
        TypeAndSave(pad, copy, L"after the kill", std::string("before the kill\r\nafter the kill").size());
        if (HasFatalFailure()) return;
        ::PostMessageW(pad, WM_CLOSE, 0, 0);
        ASSERT_TRUE(WaitForWindowGone(pad));
    }
    EXPECT_EQ(UnlockedText(locked, "right"), "before the kill\r\n") << "nothing locked again while nobody watched";

    ChildProcess second;
    HWND frame = login(second);
    ASSERT_NE(frame, nullptr);
    const auto box = WaitForMessageBox(second.GetScope());
    ASSERT_TRUE(box.has_value()) << "the next start asks about the changed copy";
    EXPECT_NE(box->text.find(L"kill-note.txt"), std::wstring::npos) << "the question names the file";
    SaveScreenshot(box->window, L"open-recovery-question");
    ASSERT_TRUE(AnswerMessageBox(*box, IDYES));
    ASSERT_TRUE(WaitUntil([&] { return EntryGone(opened); }));
    EXPECT_TRUE(area.Entries().empty());
    EXPECT_EQ(UnlockedText(locked, "right"), "before the kill\r\nafter the kill");
    ::PostMessageW(frame, WM_CLOSE, 0, 0);
    EXPECT_TRUE(second.WaitExit().has_value());
}

}  // namespace
}  // namespace desktoptest
