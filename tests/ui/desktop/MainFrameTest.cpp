// The main window on a thread of the test program (so that its menu can be
// read): menu marks, the tips panel's Close link and the menu item that
// brings the panel back, view modes, the status bar, accelerators and F5,
// the menu's status texts and the splitter. Keys and clicks are real input.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <vector>

#include "MainFrame.h"
#include "MessageLoop.h"
#include "RealInput.h"
#include "UiHarness.h"
#include "resource.h"

namespace {

using corva::desktop::MainFrame;
using corva::desktop::MessageLoop;
using namespace desktoptest;
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
        ASSERT_TRUE(BringToFront(hwnd_));
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
    // (A press made while the focus is still on its way back from a
    // closed dialog can be lost; the keys are then pressed again.)
    HWND OpenMenu(WORD letter) {
        WindowQuery popup;
        popup.className = L"#32768";
        popup.scope = Scope::Process(::GetCurrentProcessId());
        for (int attempt = 0; attempt < 3; ++attempt) {
            EXPECT_TRUE(BringToFront(hwnd_));
            PressKeys({VK_MENU, letter});
            if (HWND menu = WaitForWindow(popup, Millis(10000))) return menu;
        }
        return nullptr;
    }
    // Chooses an item of a menu of the bar by its letters.
    void Choose(WORD menuLetter, WORD itemLetter) {
        HWND popup = OpenMenu(menuLetter);
        ASSERT_NE(popup, nullptr) << "the menu did not open";
        EXPECT_TRUE(PressKeysUntil({itemLetter}, [&] { return !::IsWindowVisible(popup); }));
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
    for (const auto& mode : modes) {
        Choose('V', mode.letter);
        ASSERT_TRUE(WaitUntil([&] { return ListType() == mode.type; })) << mode.command;
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
    const struct {
        WORD key;
        int command;
    } keys[] = {{'L', ID_EDIT_LOCK},   {'U', ID_EDIT_UNLOCK}, {'E', ID_EDIT_LOCK},
                {'D', ID_EDIT_UNLOCK}, {'R', ID_EDIT_SHRED}};
    for (const auto& k : keys) {
        ClearCommands();
        ASSERT_TRUE(BringToFront(hwnd_));
        ASSERT_TRUE(PressKeysUntil({VK_CONTROL, k.key}, [&] { return !Commands().empty(); }))
            << "Ctrl+" << static_cast<char>(k.key);
        EXPECT_EQ(Commands(), std::vector<int>{k.command}) << "Ctrl+" << static_cast<char>(k.key);
        if (k.command == ID_EDIT_SHRED) {
            // Shred asks before anything else; No ends it.
            auto question = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()));
            ASSERT_TRUE(question.has_value()) << "Ctrl+R asked nothing";
            EXPECT_EQ(question->text, L"Do you really want to shred the file?");
            ASSERT_TRUE(BringToFront(question->window));
            ASSERT_TRUE(ClickAt(CentreOf(::GetDlgItem(question->window, IDNO))));
            ASSERT_TRUE(WaitForWindowGone(question->window));
        }
    }
    // The menu's Edit items carry their images and the keys they show.
    MENUITEMINFOW item{sizeof item};
    item.fMask = MIIM_BITMAP;
    ASSERT_TRUE(::GetMenuItemInfoW(frame_->MenuForTesting(), ID_EDIT_LOCK, FALSE, &item));
    EXPECT_NE(item.hbmpItem, nullptr);
    wchar_t text[64] = {};
    ::GetMenuStringW(frame_->MenuForTesting(), ID_EDIT_UNLOCK, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"&Unlock\tCtrl+U");

    ASSERT_TRUE(BringToFront(hwnd_));
    std::optional<MessageBoxInfo> box;
    PressKeysUntil({VK_F5}, [&] {
        return (box = WaitForMessageBox(Scope::Process(::GetCurrentProcessId()), Millis(0))).has_value();
    });
    ASSERT_TRUE(box.has_value()) << "F5 showed nothing";
    EXPECT_EQ(box->text, L"Not yet implemented!");
    EXPECT_EQ(box->caption, L"Corvastine");
    EXPECT_EQ(box->owner, hwnd_);
    ASSERT_TRUE(BringToFront(box->window));
    EXPECT_TRUE(PressKeysUntil({VK_RETURN}, [&] { return !::IsWindowVisible(box->window); }));
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
        ASSERT_TRUE(BringToFront(dialog));
        ASSERT_TRUE(PressKeysUntil({d.closeKey}, [&] { return !::IsWindowVisible(dialog); }))
            << "the dialog stayed open";
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
