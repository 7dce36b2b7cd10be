// The folder tree and the file list of the main window, in a scratch folder
// on the private prefix's Desktop: contents, columns and icons, hidden
// items, F5, sorting by each column both ways, double clicks and the
// context menu. Clicks and keys are real input.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "BrowserTestSupport.h"
#include "engine/LockedFile.h"
#include "resource.h"

namespace desktoptest {
namespace {

using namespace uitest;

int Scaled(int px) { return ::MulDiv(px, ScreenDpi(), 96); }

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(fs::path(path), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class BrowserTest : public BrowserFixture {};

TEST_F(BrowserTest, TreeAndListShowTheScratchFolderWithoutHiddenItems) {
    fs::create_directories(scratch_ / L"Sub folder" / L"Inner");
    WriteSampleFile(scratch_ / L"Sub folder" / L"inside.txt", 10);
    WriteSampleFile(scratch_ / L"alpha.txt", 1234, 362);  // 28 December 2020, noon: a long date
    WriteSampleFile(scratch_ / L"beta.bin", 10);
    WriteSampleFile(scratch_ / L"hidden.txt", 10);
    ASSERT_TRUE(::SetFileAttributesW((scratch_ / L"hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN));
    Open();

    // On start: "Desktop" expanded and selected, the desktop's items listed.
    HTREEITEM root = TreeRoot();
    EXPECT_EQ(TreeText(root), L"Desktop");
    EXPECT_TRUE(WaitUntil([&] { return TreeSelection() == root; }));
    EXPECT_TRUE(TreeExpanded(root));
    EXPECT_TRUE(WaitUntil([&] { return RowOfName(scratchName_) >= 0; })) << "the desktop's items are not listed";
    EXPECT_EQ(TreeView_GetNextSibling(tree_, root), nullptr) << "one root";

    // The four columns.
    HWND header = ListView_GetHeader(list_);
    ASSERT_EQ(Header_GetItemCount(header), 4);
    const wchar_t* titles[] = {L"Name", L"Size", L"Type", L"Modified"};
    const int widths[] = {200, 100, 100, 100};
    for (int i = 0; i < 4; ++i) {
        wchar_t text[64] = {};
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.pszText = text;
        column.cchTextMax = 64;
        ASSERT_TRUE(ListView_GetColumn(list_, i, &column));
        EXPECT_STREQ(text, titles[i]);
        if (i == 3) {
            EXPECT_GE(column.cx, Scaled(widths[i]));
        } else {
            EXPECT_EQ(column.cx, Scaled(widths[i])) << i;
        }
        EXPECT_EQ(column.fmt & LVCFMT_JUSTIFYMASK, i == 1 ? LVCFMT_RIGHT : LVCFMT_LEFT) << i;
    }

    ShowScratch(3);
    EXPECT_EQ(RowNames(), (std::vector<std::wstring>{L"Sub folder", L"alpha.txt", L"beta.bin"}));
    const int alpha = RowOfName(L"alpha.txt");
    EXPECT_FALSE(Cell(alpha, 1).empty()) << "size text";
    EXPECT_FALSE(Cell(alpha, 2).empty()) << "type text";
    EXPECT_FALSE(Cell(alpha, 3).empty()) << "date text";
    // The date and time fit their column, margins included.
    const int modifiedWidth = ListView_GetColumnWidth(list_, 3);
    for (int row = 0; row < RowCount(); ++row) {
        const std::wstring date = Cell(row, 3);
        EXPECT_LE(ListView_GetStringWidth(list_, date.c_str()) + Scaled(12), modifiedWidth) << date;
    }
    // Icons come from the shared system lists, which the list does not own.
    HIMAGELIST small = ListView_GetImageList(list_, LVSIL_SMALL);
    HIMAGELIST large = ListView_GetImageList(list_, LVSIL_NORMAL);
    ASSERT_NE(small, nullptr);
    ASSERT_NE(large, nullptr);
    EXPECT_EQ(TreeView_GetImageList(tree_, TVSIL_NORMAL), small);
    EXPECT_TRUE(::GetWindowLongPtrW(list_, GWL_STYLE) & LVS_SHAREIMAGELISTS);
    for (int row = 0; row < RowCount(); ++row) {
        const int image = RowImage(row);
        EXPECT_GE(image, 0) << row;
        EXPECT_LT(image, ImageList_GetImageCount(small)) << row;
    }
    EXPECT_NE(RowImage(0), RowImage(alpha)) << "a folder and a text file share an icon";

    // The tree holds folders only; a folder made on disk later reaches the
    // list when its parent is selected again, never the tree.
    HTREEITEM scratch = TreeSelection();
    ASSERT_TRUE(PressKeysUntil({VK_RIGHT}, [&] { return TreeExpanded(scratch); }));
    EXPECT_EQ(TreeChildren(scratch), std::vector<std::wstring>{L"Sub folder"});
    fs::create_directories(scratch_ / L"Made later");
    ClickTreeItem(root);
    ShowScratch(4);
    EXPECT_EQ(RowNames(), (std::vector<std::wstring>{L"Made later", L"Sub folder", L"alpha.txt", L"beta.bin"}));
    EXPECT_EQ(TreeChildren(scratch), std::vector<std::wstring>{L"Sub folder"});

    // One record per row and per tree item but the root (whose node the
    // browser holds itself), all freed with the window.
    using corva::desktop::FolderBrowser;
    EXPECT_EQ(FolderBrowser::LiveListEntriesForTesting(), RowCount());
    std::function<int(HTREEITEM)> itemsUnder = [&](HTREEITEM parent) {
        int n = 0;
        for (HTREEITEM c = TreeView_GetChild(tree_, parent); c; c = TreeView_GetNextSibling(tree_, c)) {
            n += 1 + itemsUnder(c);
        }
        return n;
    };
    EXPECT_EQ(FolderBrowser::LiveFolderNodesForTesting(), itemsUnder(TreeRoot()) + 1) << "and the desktop's node";
    ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
    ASSERT_TRUE(thread_->WaitDone());
    EXPECT_EQ(FolderBrowser::LiveListEntriesForTesting(), 0);
    EXPECT_EQ(FolderBrowser::LiveFolderNodesForTesting(), 0);
}

TEST_F(BrowserTest, F5ReadsTheTreeAndTheListAgainKeepingTheSelectionAndTheScrollPosition) {
    fs::create_directories(scratch_ / L"Old folder" / L"inner");
    for (int i = 0; i < 60; ++i) {
        WriteSampleFile(scratch_ / (L"file" + std::to_wstring(10 + i) + L".txt"), 10);
    }
    Open();
    ShowScratch(61);
    HTREEITEM scratch = TreeSelection();
    ASSERT_TRUE(PressKeysUntil({VK_RIGHT}, [&] { return TreeExpanded(scratch); }));
    EXPECT_EQ(TreeChildren(scratch), std::vector<std::wstring>{L"Old folder"});
    // Two rows far down selected, the list scrolled to them.
    SelectRows(50, 51);
    const std::vector<std::wstring> selected = SelectedNames();
    const int top = ListView_GetTopIndex(list_);
    ASSERT_GT(top, 0) << "the list did not scroll";
    const std::wstring topName = Cell(top, 0);

    // Meanwhile on disk: a folder made, one removed, a file that sorts
    // before the selected rows.
    fs::create_directories(scratch_ / L"New folder");
    fs::remove_all(scratch_ / L"Old folder");
    WriteSampleFile(scratch_ / L"file10a.txt", 10);
    ASSERT_TRUE(BringToForeground(hwnd_));
    ASSERT_TRUE(PressKeysUntil({VK_F5}, [&] { return TreeChildren(scratch) == std::vector<std::wstring>{L"New folder"}; }))
        << "the tree was not read again";
    ASSERT_TRUE(WaitUntil([&] { return RowOfName(L"file10a.txt") >= 0; })) << "the list was not read again";
    EXPECT_EQ(RowOfName(L"Old folder"), -1);
    EXPECT_EQ(RowOfName(L"New folder"), 0);
    EXPECT_EQ(SelectedNames(), selected) << "the selection moved";
    EXPECT_EQ(Cell(ListView_GetTopIndex(list_), 0), topName) << "the scroll position moved";
    EXPECT_EQ(TreeSelection(), scratch);
    EXPECT_FALSE(FindMessageBox(Scope::Process(::GetCurrentProcessId())).has_value());
    SaveScreenshot(hwnd_, L"desktop-after-f5-" + std::to_wstring(ScreenDpi()) + L"dpi");
}

TEST_F(BrowserTest, ColumnClicksSortByValueBothWaysAndTheOrderSurvivesARefill) {
    fs::create_directories(scratch_ / L"folder");
    // Sizes and times whose texts sort differently from their values;
    // unknown extensions so that the type texts follow them.
    WriteSampleFile(scratch_ / L"one.zzz", 9000, 1000);
    WriteSampleFile(scratch_ / L"three.mmm", 100, 10);
    WriteSampleFile(scratch_ / L"two.aaa", 20000, 400);
    Open();
    ShowScratch(4);
    using Names = std::vector<std::wstring>;
    EXPECT_EQ(RowNames(), (Names{L"folder", L"one.zzz", L"three.mmm", L"two.aaa"}));
    // Two clicks on one header in quick succession would be a double click:
    // each click lands on another spot than the one before.
    int side = 1;
    auto click = [&](int column) {
        POINT p = HeaderPoint(column);
        side = -side;
        p.x += side * Scaled(20);
        ASSERT_TRUE(ClickAt(p));
    };

    click(1);
    EXPECT_TRUE(WaitForRows({L"folder", L"three.mmm", L"one.zzz", L"two.aaa"})) << "size ascending";
    EXPECT_EQ(frame_->BrowserForTesting().Sort().column, 1);
    click(1);
    EXPECT_TRUE(WaitForRows({L"two.aaa", L"one.zzz", L"three.mmm", L"folder"})) << "size descending";
    click(2);
    EXPECT_TRUE(WaitForRows({L"folder", L"two.aaa", L"three.mmm", L"one.zzz"})) << "type ascending";
    click(2);
    EXPECT_TRUE(WaitForRows({L"one.zzz", L"three.mmm", L"two.aaa", L"folder"})) << "type descending";
    click(3);
    EXPECT_TRUE(WaitForRows({L"folder", L"three.mmm", L"two.aaa", L"one.zzz"})) << "date ascending";
    click(3);
    EXPECT_TRUE(WaitForRows({L"one.zzz", L"two.aaa", L"three.mmm", L"folder"})) << "date descending";

    // A refill keeps the column and the direction.
    ClickTreeItem(TreeRoot());
    ShowScratch(4);
    EXPECT_EQ(RowNames(), (Names{L"one.zzz", L"two.aaa", L"three.mmm", L"folder"}));

    click(0);
    EXPECT_TRUE(WaitForRows({L"folder", L"one.zzz", L"three.mmm", L"two.aaa"})) << "name ascending";
    click(0);
    EXPECT_TRUE(WaitForRows({L"two.aaa", L"three.mmm", L"one.zzz", L"folder"})) << "name descending";
    SaveScreenshot(hwnd_, L"desktop-sorted-by-name-descending-" + std::to_wstring(ScreenDpi()) + L"dpi");
}

TEST_F(BrowserTest, DoubleClicksShowFoldersRefuseLockedFilesAndOpenTheRest) {
    fs::create_directories(scratch_ / L"Inside");
    WriteSampleFile(scratch_ / L"Inside" / L"deep.txt", 10);
    WriteSampleFile(scratch_ / L"report.html", 10);
    WriteSampleFile(scratch_ / L"report.doc.corvastine", 10);
    WriteSampleFile(scratch_ / L"SHOUT.CORVASTINE", 10);
    WriteSampleFile(scratch_ / L"data.qqq", 10);
    const std::wstring recorder = BesideProgram(L"browser.txt");
    ::DeleteFileW(recorder.c_str());
    Open();
    ShowScratch(5);

    // A locked file: the message, and nothing opened.
    ASSERT_TRUE(DoubleClickAt(RowLabelPoint(RowOfName(L"report.doc.corvastine"))));
    auto box = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()));
    ASSERT_TRUE(box.has_value()) << "no message for the locked file";
    EXPECT_EQ(box->text, L"This file is locked. Click Unlock to open the file.");
    EXPECT_EQ(box->caption, L"Corvastine");
    EXPECT_EQ(box->owner, hwnd_);
    EXPECT_EQ(box->icon, MessageIcon::Information);
    ASSERT_TRUE(BringToForeground(box->window));
    ASSERT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return !::IsWindowVisible(box->window); }));

    // Upper case is not the locked extension: opened with its default
    // action (the prefix sends these names and web pages to a recorder).
    ASSERT_TRUE(BringToForeground(hwnd_));
    ASSERT_TRUE(DoubleClickAt(RowLabelPoint(RowOfName(L"SHOUT.CORVASTINE"))));
    ASSERT_TRUE(WaitUntil([&] { return ReadAll(recorder).find("SHOUT.CORVASTINE") != std::string::npos; }))
        << "SHOUT.CORVASTINE was not opened: " << ReadAll(recorder);
    EXPECT_EQ(ReadAll(recorder).find("report.doc"), std::string::npos) << "the locked file was opened";
    ASSERT_TRUE(BringToForeground(hwnd_));
    ASSERT_TRUE(DoubleClickAt(RowLabelPoint(RowOfName(L"report.html"))));
    ASSERT_TRUE(WaitUntil([&] { return ReadAll(recorder).find("report.html") != std::string::npos; }))
        << "report.html was not opened: " << ReadAll(recorder);

    // No program is set for data.qqq: the user is offered to choose one
    // ("Open with"; Wine has no dialog of its own for it, so the program's
    // chooser shows), and the one chosen opens the file.
    ASSERT_TRUE(BringToForeground(hwnd_));
    ASSERT_TRUE(DoubleClickAt(RowLabelPoint(RowOfName(L"data.qqq"))));
    HWND chooser = WaitForWindow(WindowQuery::Dialog(Scope::Process(::GetCurrentProcessId()), L"Open with"));
    ASSERT_NE(chooser, nullptr) << "nothing offered a program for data.qqq";
    EXPECT_EQ(::GetWindow(chooser, GW_OWNER), hwnd_);
    SaveScreenshot(chooser, L"desktop-open-with-" + std::to_wstring(ScreenDpi()) + L"dpi");
    ASSERT_TRUE(uitest::TypeKeys(chooser, BesideProgram(L"ui_browser_recorder.exe")));
    ASSERT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return !::IsWindow(chooser) || !::IsWindowVisible(chooser); }));
    ASSERT_TRUE(WaitUntil([&] { return ReadAll(recorder).find("data.qqq") != std::string::npos; }))
        << "the chosen program did not get data.qqq: " << ReadAll(recorder);

    // A folder: the tree child of that name, selected and expanded.
    HTREEITEM scratch = TreeSelection();
    ASSERT_TRUE(BringToForeground(hwnd_));
    ASSERT_TRUE(DoubleClickAt(RowLabelPoint(RowOfName(L"Inside"))));
    ASSERT_TRUE(WaitUntil([&] { return TreeSelection() != scratch; })) << "the tree selection stayed";
    EXPECT_EQ(TreeText(TreeSelection()), L"Inside");
    EXPECT_EQ(TreeView_GetParent(tree_, TreeSelection()), scratch);
    EXPECT_TRUE(TreeExpanded(scratch));
    EXPECT_TRUE(WaitForRows({L"deep.txt"}));
    EXPECT_FALSE(FindMessageBox(Scope::Process(::GetCurrentProcessId())).has_value());
}

TEST_F(BrowserTest, AFolderOfPlainAndLockedFilesAsTheUserSeesIt) {
    fs::create_directories(scratch_ / L"Projects");
    const wchar_t* plain[] = {L"budget.xls", L"letter.txt", L"notes.txt", L"photo.jpg"};
    const wchar_t* locked[] = {L"contract.doc", L"passwords.txt", L"scan.pdf"};
    for (const wchar_t* name : plain) WriteSampleFile(scratch_ / name, 5000);
    for (const wchar_t* name : locked) {
        WriteSampleFile(scratch_ / name, 20000);
        ASSERT_TRUE(LockOneFile((scratch_ / name).wstring(), "first password", nullptr)) << name;
    }
    Open();
    ShowScratch(8);
    EXPECT_EQ(RowNames(), (std::vector<std::wstring>{L"Projects", L"budget.xls", L"contract.doc.corvastine",
                                                     L"letter.txt", L"notes.txt", L"passwords.txt.corvastine",
                                                     L"photo.jpg", L"scan.pdf.corvastine"}));
    for (int row = 0; row < RowCount(); ++row) EXPECT_FALSE(Cell(row, 3).empty()) << row;
    SelectRows(2, 2);
    ASSERT_FALSE(SaveScreenshot(hwnd_, L"desktop-browser-mixed-" + std::to_wstring(ScreenDpi()) + L"dpi").empty());
}

class ContextMenuTest : public BrowserFixture {
protected:
    void SetUp() override {
        BrowserFixture::SetUp();
        configure_ = [this](corva::desktop::MainFrame& frame) {
            frame.BrowserForTesting().SetMenuObserverForTesting([this](HMENU menu) {
                std::vector<std::wstring> texts;
                for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
                    wchar_t text[256] = {};
                    ::GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
                    texts.push_back(text);
                }
                std::lock_guard<std::mutex> lock(mutex_);
                menus_.push_back(texts);
                ids_.clear();
                for (int i = 0; i < ::GetMenuItemCount(menu); ++i) ids_.push_back(::GetMenuItemID(menu, i));
            });
            frame.BrowserForTesting().SetShellCommandObserverForTesting([this](int offset, HRESULT hr) {
                std::lock_guard<std::mutex> lock(mutex_);
                shellCommands_.emplace_back(offset, hr);
            });
        };
    }
    HWND WaitForPopup() {
        WindowQuery popup;
        popup.className = L"#32768";
        popup.scope = Scope::Process(::GetCurrentProcessId());
        return WaitForWindow(popup, Millis(10000));
    }
    std::vector<std::vector<std::wstring>> Menus() {
        std::lock_guard<std::mutex> lock(mutex_);
        return menus_;
    }
    // Chooses the item at position of the shown popup with the mouse; done
    // once the popup is gone.
    static bool ChooseItem(HWND popup, int position) {
        HMENU menu = reinterpret_cast<HMENU>(::SendMessageW(popup, MN_GETHMENU, 0, 0));
        return ClickMenuItem(menu, static_cast<UINT>(position), [&] { return !::IsWindowVisible(popup); },
                             kDefaultTimeout);
    }
    std::vector<std::pair<int, HRESULT>> ShellCommands() {
        std::lock_guard<std::mutex> lock(mutex_);
        return shellCommands_;
    }
    std::vector<std::vector<std::wstring>> menus_;
    std::vector<std::pair<int, HRESULT>> shellCommands_;
    std::vector<UINT> ids_;
};

TEST_F(ContextMenuTest, RowMenuPutsTheProgramsCommandsOnTopAndRoutesThem) {
    WriteSampleFile(scratch_ / L"menu.html", 100);
    WriteSampleFile(scratch_ / L"other.txt", 100);
    Open();
    ShowScratch(2);

    // No menu on the tree: the next menu to show is the list's.
    RECT r{};
    ASSERT_TRUE(TreeView_GetItemRect(tree_, TreeSelection(), &r, TRUE));
    POINT inTree{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    ::ClientToScreen(tree_, &inTree);
    ASSERT_TRUE(RightClickAt(inTree));
    const int row = RowOfName(L"menu.html");
    SelectRows(row, row);
    ASSERT_TRUE(RightClickAt(RowLabelPoint(row)));
    HWND popup = WaitForPopup();
    ASSERT_NE(popup, nullptr) << "no context menu";
    ASSERT_EQ(Menus().size(), 1u) << "the tree showed a menu";
    const std::vector<std::wstring> texts = Menus()[0];
    ASSERT_GE(texts.size(), 6u);
    EXPECT_EQ(std::vector<std::wstring>(texts.begin(), texts.begin() + 4),
              (std::vector<std::wstring>{L"Lock", L"Unlock", L"Shred", L"Change Password"}));
    EXPECT_EQ(std::vector<UINT>(ids_.begin(), ids_.begin() + 4),
              (std::vector<UINT>{ID_EDIT_LOCK, ID_EDIT_UNLOCK, ID_EDIT_SHRED, ID_TOOLS_CHANGE_PASSWORD}));
    for (const std::wstring& text : texts) EXPECT_NE(text, L"Corvastine");
    EXPECT_EQ(texts[5], L"&Open") << "the shell's own entries follow";
    SaveScreenshot(hwnd_, L"desktop-context-menu-" + std::to_wstring(ScreenDpi()) + L"dpi");

    // "Lock" runs the command from the main window, on the selected row.
    ClearCommands();
    ASSERT_TRUE(ChooseItem(popup, 0)) << "Lock was not clicked";
    ASSERT_TRUE(WaitUntil([&] { return !Commands().empty(); }));
    EXPECT_EQ(Commands(), std::vector<int>{ID_EDIT_LOCK});
    ASSERT_TRUE(WaitForRows({L"menu.html.corvastine", L"other.txt"})) << "the row was not locked";
    EXPECT_FALSE(Exists(scratch_ / L"menu.html"));

    // Any other entry is the shell's: its "Open" opens the file.
    WriteSampleFile(scratch_ / L"page.html", 10);
    ClickTreeItem(TreeRoot());
    ShowScratch(3);
    ASSERT_TRUE(BringToForeground(hwnd_));
    ASSERT_TRUE(RightClickAt(RowLabelPoint(RowOfName(L"page.html"))));
    popup = WaitForPopup();
    ASSERT_NE(popup, nullptr);
    ASSERT_EQ(Menus().size(), 2u);
    ASSERT_EQ(Menus()[1][5], L"&Open");
    ClearCommands();
    HMENU shown = reinterpret_cast<HMENU>(::SendMessageW(popup, MN_GETHMENU, 0, 0));
    const int openId = static_cast<int>(::GetMenuItemID(shown, 5));
    ASSERT_TRUE(ChooseItem(popup, 5)) << "the shell's Open was not clicked";
    // Wine's item menu takes the command (S_OK) but starts no program for
    // it, so the call itself is what is checked here.
    ASSERT_TRUE(WaitUntil([&] { return !ShellCommands().empty(); })) << "the shell's command was not run";
    EXPECT_EQ(ShellCommands(), (std::vector<std::pair<int, HRESULT>>{{openId - 1, S_OK}}));
    EXPECT_TRUE(Commands().empty());
}

}  // namespace
}  // namespace desktoptest

namespace desktoptest {
namespace {

// Paths of selected rows: an item without a file-system path (a virtual
// folder) is left out instead of becoming an empty path.
TEST_F(BrowserTest, SelectedItemsWithoutAFileSystemPathAreLeftOut) {
    Open();
    ASSERT_TRUE(WaitUntil([&] { return RowOfName(L"My Computer") >= 0 && RowOfName(L"Documents") >= 0; }));
    int first = RowOfName(L"Documents"), last = RowOfName(L"My Computer");
    if (first > last) std::swap(first, last);
    SelectRows(first, last);
    // Read from here while the window's thread waits for input; the list
    // is asked through its messages.
    std::vector<std::wstring> paths;
    int firstRow = -1;
    ASSERT_TRUE(frame_->BrowserForTesting().GatherSelectedPaths(&paths, &firstRow));
    EXPECT_EQ(firstRow, first);
    ASSERT_EQ(paths.size(), static_cast<size_t>(last - first)) << "one path per row but My Computer's";
    for (const std::wstring& path : paths) {
        EXPECT_FALSE(path.empty());
        EXPECT_EQ(path.find(L"My Computer"), std::wstring::npos);
    }
    wchar_t documents[MAX_PATH] = {};
    ASSERT_EQ(::SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, 0, documents), S_OK);
    std::wstring expected = documents;
    if (expected.back() != L'\\') expected += L'\\';  // as the shell writes a special folder's path
    bool found = false;
    for (std::wstring path : paths) {
        if (path.back() != L'\\') path += L'\\';
        found = found || path == expected;
    }
    EXPECT_TRUE(found) << "Documents is missing: " << (paths.empty() ? std::wstring() : paths[0]);

}

}  // namespace
}  // namespace desktoptest
