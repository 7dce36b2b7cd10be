// The main window on a thread of the test program (so that its menu can be
// read): menu marks, the tips panel's Close link and the menu item that
// brings the panel back, view modes, the status bar, accelerators, the
// keyboard between the panes and the menus, the menu's status texts and
// images, the focus after dialogs and the splitter. Keys and clicks are
// real input.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

#include "MainFrame.h"
#include "MessageLoop.h"
#include "UiHarness.h"
#include "resource.h"

namespace {

using corva::desktop::MainFrame;
using corva::desktop::MessageLoop;
using namespace uitest;

int Dpi() {
    HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
    return dpi;
}
int Scaled(int px) { return ::MulDiv(px, Dpi(), 96); }

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        thread_ = std::make_unique<UiThread>([this]() -> INT_PTR {
            MessageLoop loop;
            MainFrame frame;
            frame.SetCommandObserverForTesting([this](int id) {
                std::lock_guard<std::mutex> lock(mutex_);
                commands_.push_back(id);
            });
            if (!frame.CreateFrame()) return -1;
            ::SetWindowPos(frame.Handle(), nullptr, 40, 40, 1200, 800, SWP_NOZORDER);
            ::ShowWindow(frame.Handle(), SW_SHOWNORMAL);
            frame_ = &frame;
            const int result = loop.Run();
            frame_ = nullptr;
            return result;
        });
        ASSERT_TRUE(WaitUntil([this] { return frame_ != nullptr; })) << "the main window did not open";
        hwnd_ = frame_->Handle();
        ASSERT_TRUE(BringToForeground(hwnd_));
    }
    void TearDown() override {
        if (hwnd_ && ::IsWindow(hwnd_)) ::PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        if (thread_) {
            EXPECT_TRUE(thread_->WaitDone());
        }
        thread_.reset();
    }

    UINT MenuState(int id) const { return ::GetMenuState(frame_->MenuForTesting(), id, MF_BYCOMMAND); }
    bool Checked(int id) const { return (MenuState(id) & MF_CHECKED) != 0; }
    std::vector<int> Commands() {
        std::lock_guard<std::mutex> lock(mutex_);
        return commands_;
    }
    void ClearCommands() {
        std::lock_guard<std::mutex> lock(mutex_);
        commands_.clear();
    }
    // Opens a menu of the bar with Alt and its letter and waits for it.
    HWND OpenMenu(WORD letter) { return OpenMenuByKeys(hwnd_, Scope::Process(::GetCurrentProcessId()), letter); }
    // Chooses an item of a menu of the bar by its letters.
    void Choose(WORD menuLetter, WORD itemLetter) {
        HWND popup = OpenMenu(menuLetter);
        ASSERT_NE(popup, nullptr) << "the menu did not open";
        EXPECT_TRUE(ChooseMenuLetter(popup, itemLetter));
    }
    RECT ScreenRect(HWND w) const {
        RECT r{};
        ::GetWindowRect(w, &r);
        return r;
    }
    int Height(HWND w) const {
        RECT r = ScreenRect(w);
        return r.bottom - r.top;
    }
    LONG_PTR ListType() const { return ::GetWindowLongPtrW(frame_->FileList(), GWL_STYLE) & LVS_TYPEMASK; }

    std::unique_ptr<UiThread> thread_;
    MainFrame* volatile frame_ = nullptr;
    HWND hwnd_ = nullptr;
    std::mutex mutex_;
    std::vector<int> commands_;
};

TEST_F(MainFrameTest, OpensWithStatusBarTipsPanelAndDetailsMarked) {
    EXPECT_TRUE(Checked(ID_VIEW_STATUS_BAR));
    EXPECT_TRUE(Checked(ID_VIEW_TIPS));
    for (int id : {ID_VIEW_LARGEICONS, ID_VIEW_SMALLICONS, ID_VIEW_LIST}) EXPECT_FALSE(Checked(id)) << id;
    EXPECT_TRUE(Checked(ID_VIEW_DETAILS));
    EXPECT_EQ(ListType(), LVS_REPORT);
    EXPECT_EQ(::GetMenu(hwnd_), nullptr) << "the ordinary window menu is replaced by the bar";
    EXPECT_EQ(WindowText(frame_->StatusWindow()), L"Ready");
    EXPECT_EQ(Height(frame_->TipsWindow()), Scaled(254));
    EXPECT_EQ(ScreenRect(frame_->FolderTree()).right - ScreenRect(frame_->FolderTree()).left, Scaled(304));
    EXPECT_EQ(WindowText(hwnd_), L"Corvastine");
    // Both bands of the rebar, without grippers.
    ASSERT_EQ(::SendMessageW(frame_->Rebar(), RB_GETBANDCOUNT, 0, 0), 2);
    for (int band = 0; band < 2; ++band) {
        REBARBANDINFOW info{sizeof info};
        info.fMask = RBBIM_STYLE;
        ::SendMessageW(frame_->Rebar(), RB_GETBANDINFOW, band, reinterpret_cast<LPARAM>(&info));
        EXPECT_TRUE(info.fStyle & RBBS_NOGRIPPER) << band;
    }
    HDC dc = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
    ::ReleaseDC(nullptr, dc);
    SaveScreenshot(hwnd_, L"desktop-main-window-" + std::to_wstring(dpi) + L"dpi");
}

TEST_F(MainFrameTest, TipsCloseLinkUnchecksTheMenuItemWhichBringsThePanelBack) {
    HWND tips = frame_->TipsWindow();
    HWND close = ::GetDlgItem(tips, IDC_TIPS_CLOSE);
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(WindowText(close), L"Close");
    EXPECT_EQ(WindowText(::GetDlgItem(tips, IDC_TIPS_LEARN_MORE)), L"Learn More");
    EXPECT_EQ(WindowText(::GetDlgItem(tips, IDC_TIPS_TITLE)), L"Did You Know?");
    const RECT tree = ScreenRect(frame_->FolderTree());

    ASSERT_TRUE(ClickAt(CentreOf(close)));
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(tips); })) << "Close did not hide the panel";
    EXPECT_TRUE(WaitUntil([&] { return !Checked(ID_VIEW_TIPS); }));
    EXPECT_TRUE(WaitUntil([&] { return ScreenRect(frame_->FolderTree()).bottom - tree.bottom == Scaled(254); }))
        << "the tree does not take the whole pane";

    Choose('V', 'T');
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(tips) != FALSE; }));
    EXPECT_TRUE(WaitUntil([&] { return Checked(ID_VIEW_TIPS); }));
    EXPECT_TRUE(WaitUntil([&] { return Height(tips) == Scaled(254); })) << Height(tips);
    EXPECT_TRUE(WaitUntil([&] { return ScreenRect(frame_->FolderTree()).bottom == tree.bottom; }));
}

TEST_F(MainFrameTest, ViewModesMoveTheRadioMarkAndSwitchTheList) {
    const struct {
        WORD letter;
        int command;
        LONG_PTR type;
    } modes[] = {{'G', ID_VIEW_LARGEICONS, LVS_ICON},
                 {'M', ID_VIEW_SMALLICONS, LVS_SMALLICON},
                 {'L', ID_VIEW_LIST, LVS_LIST},
                 {'D', ID_VIEW_DETAILS, LVS_REPORT}};
    ASSERT_TRUE(WaitUntil([&] { return ListView_GetItemCount(frame_->FileList()) > 0; })) << "no rows to show";
    for (const auto& mode : modes) {
        Choose('V', mode.letter);
        ASSERT_TRUE(WaitUntil([&] { return ListType() == mode.type; })) << mode.command;
        // The list shows the new view whole, nothing of the old one.
        EXPECT_TRUE(ShowsWhatItPaints(frame_->FileList(), L"desktop-view-" + std::to_wstring(mode.command) + L"-" +
                                                              std::to_wstring(Dpi()) + L"dpi"))
            << "view " << mode.command << " left parts of the one before";
        for (const auto& other : modes) {
            EXPECT_EQ(Checked(other.command), other.command == mode.command) << mode.command << " " << other.command;
            if (other.command == mode.command) {
                EXPECT_TRUE(MenuState(other.command) & MFT_RADIOCHECK);
            }
        }
    }
    // The mode already shown: nothing changes.
    ClearCommands();
    Choose('V', 'D');
    ASSERT_TRUE(WaitUntil([&] { return !Commands().empty(); }));
    EXPECT_EQ(ListType(), LVS_REPORT);
    EXPECT_TRUE(Checked(ID_VIEW_DETAILS));
}

TEST_F(MainFrameTest, ResizingLeavesNoOldSizeGripOnTheStatusBar) {
    HWND status = frame_->StatusWindow();
    const RECT start = ScreenRect(hwnd_);
    auto barFits = [&] { return ScreenRect(status).right < ScreenRect(hwnd_).right; };
    // Narrower by 150 pixels: the grip belongs in the new corner.
    ::MoveWindow(hwnd_, start.left, start.top, start.right - start.left - 150, start.bottom - start.top, TRUE);
    ASSERT_TRUE(WaitUntil([&] { return ScreenRect(hwnd_).right == start.right - 150 && barFits(); }));
    EXPECT_TRUE(ShowsWhatItPaints(status, L"desktop-status-bar-narrower-" + std::to_wstring(Dpi()) + L"dpi"));
    // Then wider again: no grip is left where the corner was.
    ::MoveWindow(hwnd_, start.left, start.top, start.right - start.left - 70, start.bottom - start.top, TRUE);
    ASSERT_TRUE(WaitUntil([&] { return ScreenRect(hwnd_).right == start.right - 70 && barFits(); }));
    EXPECT_TRUE(ShowsWhatItPaints(status, L"desktop-status-bar-wider-" + std::to_wstring(Dpi()) + L"dpi"));
}

TEST_F(MainFrameTest, StatusBarCommandHidesAndShowsTheBar) {
    HWND status = frame_->StatusWindow();
    const RECT list = ScreenRect(frame_->FileList());
    Choose('V', 'S');
    ASSERT_TRUE(WaitUntil([&] { return !::IsWindowVisible(status); }));
    EXPECT_TRUE(WaitUntil([&] { return !Checked(ID_VIEW_STATUS_BAR); }));
    EXPECT_TRUE(WaitUntil([&] { return ScreenRect(frame_->FileList()).bottom > list.bottom; }))
        << "the list takes the bar's place";
    Choose('V', 'S');
    ASSERT_TRUE(WaitUntil([&] { return ::IsWindowVisible(status) != FALSE; }));
    EXPECT_TRUE(WaitUntil([&] { return Checked(ID_VIEW_STATUS_BAR); }));
    EXPECT_TRUE(WaitUntil([&] { return ScreenRect(frame_->FileList()).bottom == list.bottom; }));
}

TEST_F(MainFrameTest, AcceleratorsIncludeTheKeysTheMenuShows) {
    // Ctrl+L and Ctrl+U as the menu shows them; Ctrl+E and Ctrl+D as well.
    // (Nothing is selected: the batch commands end without a question.)
    const struct {
        WORD key;
        int command;
    } keys[] = {{'L', ID_EDIT_LOCK},   {'U', ID_EDIT_UNLOCK}, {'E', ID_EDIT_LOCK},
                {'D', ID_EDIT_UNLOCK}, {'R', ID_EDIT_SHRED},  {'A', ID_EDIT_SELECT_ALL}};
    for (const auto& k : keys) {
        ClearCommands();
        ASSERT_TRUE(BringToForeground(hwnd_));
        ASSERT_TRUE(PressKeysUntil({VK_CONTROL, k.key}, [&] { return !Commands().empty(); }))
            << "Ctrl+" << static_cast<char>(k.key);
        EXPECT_EQ(Commands(), std::vector<int>{k.command}) << "Ctrl+" << static_cast<char>(k.key);
    }
    // Ctrl+A selected every row.
    HWND list = frame_->FileList();
    EXPECT_GT(ListView_GetItemCount(list), 0);
    EXPECT_TRUE(WaitUntil([&] {
        return static_cast<int>(ListView_GetSelectedCount(list)) == ListView_GetItemCount(list);
    }));
    // The menu's Edit items carry their images and the keys they show.
    MENUITEMINFOW item{sizeof item};
    item.fMask = MIIM_BITMAP;
    ASSERT_TRUE(::GetMenuItemInfoW(frame_->MenuForTesting(), ID_EDIT_LOCK, FALSE, &item));
    EXPECT_NE(item.hbmpItem, nullptr);
    wchar_t text[64] = {};
    ::GetMenuStringW(frame_->MenuForTesting(), ID_EDIT_UNLOCK, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"&Unlock\tCtrl+U");

}

TEST_F(MainFrameTest, HighlightedMenuItemsShowTheirStatusTextThenReady) {
    HWND popup = OpenMenu('E');
    ASSERT_NE(popup, nullptr);
    // The first entry is selected when a menu opens from the keyboard.
    EXPECT_TRUE(WaitUntil([&] { return WindowText(frame_->StatusWindow()) == L"Lock Selected Files."; }))
        << WindowText(frame_->StatusWindow());
    EXPECT_TRUE(PressKeysUntil({VK_DOWN},
                               [&] { return WindowText(frame_->StatusWindow()) == L"Unlock Selected Files."; }));
    EXPECT_TRUE(PressKeysUntil({VK_ESCAPE}, [&] { return !::IsWindowVisible(popup); }));
    EXPECT_TRUE(WaitUntil([&] { return WindowText(frame_->StatusWindow()) == L"Ready"; }))
        << WindowText(frame_->StatusWindow());
}

TEST_F(MainFrameTest, TabMovesBetweenThePanesAndLeftAndRightBetweenTheMenus) {
    HWND tree = frame_->FolderTree(), list = frame_->FileList();
    ASSERT_TRUE(WaitUntil([&] { return FocusedWindow(hwnd_) == tree || FocusedWindow(hwnd_) == list; }))
        << "no pane has the focus";
    const HWND first = FocusedWindow(hwnd_);
    const HWND other = first == tree ? list : tree;
    ASSERT_TRUE(PressKeysUntil({VK_TAB}, [&] { return FocusedWindow(hwnd_) == other; })) << "Tab";
    ASSERT_TRUE(PressKeysUntil({VK_TAB}, [&] { return FocusedWindow(hwnd_) == first; })) << "Tab again";
    ASSERT_TRUE(PressKeysUntil({VK_SHIFT, VK_TAB}, [&] { return FocusedWindow(hwnd_) == other; })) << "Shift+Tab";

    // Edit, then Right to View and Left twice to File: each menu opens with
    // its first item highlighted.
    HWND popup = OpenMenu('E');
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(WaitUntil([&] { return WindowText(frame_->StatusWindow()) == L"Lock Selected Files."; }));
    SaveScreenshot(hwnd_, L"desktop-edit-menu-" + std::to_wstring(Dpi()) + L"dpi");
    const HMENU bar = frame_->MenuForTesting();
    auto shownMenu = [&] {
        WindowQuery q;
        q.className = L"#32768";
        q.scope = Scope::Process(::GetCurrentProcessId());
        HWND w = FindWindowOnce(q);
        return w ? reinterpret_cast<HMENU>(::SendMessageW(w, MN_GETHMENU, 0, 0)) : nullptr;
    };
    ASSERT_TRUE(PressKeysUntil({VK_RIGHT}, [&] { return shownMenu() == ::GetSubMenu(bar, 2); })) << "Right";
    EXPECT_TRUE(WaitUntil([&] { return WindowText(frame_->StatusWindow()) == L"Show or hide the status bar"; }))
        << WindowText(frame_->StatusWindow());
    ASSERT_TRUE(PressKeysUntil({VK_LEFT}, [&] { return shownMenu() == ::GetSubMenu(bar, 1); })) << "Left";
    ASSERT_TRUE(PressKeysUntil({VK_LEFT}, [&] { return shownMenu() == ::GetSubMenu(bar, 0); })) << "Left again";
    ASSERT_TRUE(PressKeysUntil({VK_LEFT}, [&] { return shownMenu() == ::GetSubMenu(bar, 4); })) << "round to Help";
    ASSERT_TRUE(PressKeysUntil({VK_ESCAPE}, [&] { return shownMenu() == nullptr; }));
}

TEST_F(MainFrameTest, MenuImagesAreAlphaBitmapsWithoutTheirKeyColour) {
    for (int command : {ID_EDIT_LOCK, ID_EDIT_UNLOCK, ID_EDIT_SHRED, ID_TOOLS_CHANGE_PASSWORD,
                        ID_TOOLS_FORGOT_PASSWORD}) {
        MENUITEMINFOW item{sizeof item};
        item.fMask = MIIM_BITMAP;
        ASSERT_TRUE(::GetMenuItemInfoW(frame_->MenuForTesting(), command, FALSE, &item));
        EXPECT_EQ(item.hbmpItem, HBMMENU_CALLBACK) << command << ": the window draws the image itself";
        HBITMAP image = frame_->MenuImageForTesting(command);
        BITMAP info{};
        ASSERT_TRUE(image && ::GetObjectW(image, sizeof info, &info)) << command;
        EXPECT_EQ(info.bmBitsPixel, 32) << command;
        EXPECT_EQ(info.bmWidth, Scaled(16)) << command;
        ASSERT_NE(info.bmBits, nullptr) << command;
        const auto* pixels = static_cast<const unsigned char*>(info.bmBits);
        int clear = 0, solid = 0, unmultiplied = 0, purple = 0;
        for (int i = 0; i < info.bmWidth * info.bmHeight; ++i) {
            const int b = pixels[i * 4], g = pixels[i * 4 + 1], r = pixels[i * 4 + 2], a = pixels[i * 4 + 3];
            // Premultiplied: no colour brighter than its coverage; and no
            // mix with a magenta key around the drawing.
            unmultiplied += r > a || g > a || b > a;
            purple += r > g + 40 && b > g + 40;
            clear += a == 0;
            solid += a == 255;
        }
        EXPECT_EQ(unmultiplied, 0) << command;
        EXPECT_EQ(purple, 0) << command;
        EXPECT_GT(clear, 0) << command << " has no transparent pixel";
        EXPECT_GT(solid, 0) << command << " has no opaque pixel";
    }
}

TEST_F(MainFrameTest, ToolsAndAboutOpenTheirDialogsOverTheWindow) {
    const Scope mine = Scope::Process(::GetCurrentProcessId());
    struct {
        WORD menu, item;
        const wchar_t* caption;
        WORD closeKey;
    } const dialogs[] = {{'T', 'C', L"Change Password", VK_ESCAPE},
                         {'T', 'F', L"Password Setup", VK_ESCAPE},  // no password stored here yet
                         {'H', 'A', L"About Corvastine", VK_RETURN}};
    for (const auto& d : dialogs) {
        Choose(d.menu, d.item);
        HWND dialog = WaitForWindow(WindowQuery::Dialog(mine, d.caption));
        ASSERT_NE(dialog, nullptr) << "no dialog " << static_cast<char>(d.menu) << static_cast<char>(d.item);
        EXPECT_EQ(::GetWindow(dialog, GW_OWNER), hwnd_) << "the dialog is not owned by the window";
        if (d.closeKey == VK_RETURN) {
            SaveScreenshot(dialog, L"desktop-about-" + std::to_wstring(Dpi()) + L"dpi");
        }
        ASSERT_TRUE(BringToForeground(dialog));
        ASSERT_TRUE(PressKeysUntil({d.closeKey}, [&] { return !::IsWindowVisible(dialog); }))
            << "the dialog stayed open";
        // The keyboard is back in the file list.
        EXPECT_TRUE(WaitUntil([&] { return FocusedWindow(hwnd_) == frame_->FileList(); }))
            << "focus on " << ClassNameOf(FocusedWindow(hwnd_)) << " after " << WindowText(dialog);
    }
    EXPECT_TRUE(::IsWindow(hwnd_));
}

TEST_F(MainFrameTest, TheSplitterKeepsBothPanesAtTheirMinimumWidth) {
    const RECT tree = ScreenRect(frame_->FolderTree());
    const RECT list = ScreenRect(frame_->FileList());
    const int barX = (tree.right + list.left) / 2;
    const int y = (tree.top + tree.bottom) / 2;
    // Far to the left: the tree stays at its minimum.
    ASSERT_TRUE(DragFromTo(POINT{barX, y}, POINT{tree.left + 20, y}));
    EXPECT_EQ(ScreenRect(frame_->FolderTree()).right - tree.left, Scaled(304));
    // Far to the right: the list stays at its minimum.
    ASSERT_TRUE(DragFromTo(POINT{barX, y}, POINT{list.right - 5, y}));
    auto listWidth = [&] {
        const RECT r = ScreenRect(frame_->FileList());
        return r.right - r.left;
    };
    // Both panes placed: the list at its minimum and the tree ending one
    // bar's width before it, as at the start.
    const int bar = list.left - tree.right;
    EXPECT_TRUE(WaitUntil([&] {
        return listWidth() == Scaled(304) &&
               ScreenRect(frame_->FileList()).left - ScreenRect(frame_->FolderTree()).right == bar;
    })) << listWidth();
    // A step between the limits goes where the pointer goes.
    const int middle = ScreenRect(frame_->FolderTree()).right - 40;
    const int barNow = (ScreenRect(frame_->FolderTree()).right + ScreenRect(frame_->FileList()).left) / 2;
    ASSERT_TRUE(DragFromTo(POINT{barNow, y}, POINT{barNow - 40, y}));
    EXPECT_TRUE(WaitUntil([&] { return ScreenRect(frame_->FolderTree()).right == middle; }))
        << ScreenRect(frame_->FolderTree()).right << " vs " << middle;
}

}  // namespace
