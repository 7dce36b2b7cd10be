// The desktop program's main window: menu bar and big toolbar in a rebar,
// the folder tree over the tips panel on the left, the file list on the
// right with a splitter between them, the owner-painted status bar, and
// its own title bar. It owns the commands of the menu, the accelerators and
// the toolbar. The folder tree, the file list and the lock, unlock and
// shred batches plug in through BuildFolderTree, the two pane controls and
// RunBatchCommand: the panes are browsed by FolderBrowser, and the batches
// run over the list's selected rows in the progress dialog.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "CommandBar.h"
#include "FolderBrowser.h"
#include "ui/CustomCaption.h"
#include "FrameRules.h"
#include "MenuImages.h"
#include "OpenedFiles.h"
#include "StatusBar.h"
#include "TipsPanel.h"
#include "Window.h"
#include "engine/Batch.h"
#include "platform/WinHandles.h"

namespace corva::desktop {

class MainFrame final : public corva::ui::Window {
public:
    MainFrame();
    ~MainFrame() override;

    // Creates the window (hidden) and registers its accelerators and idle
    // handler with the thread's message loop. False when it failed.
    bool CreateFrame();

    const ViewState& View() const { return view_; }
    HWND FolderTree() const { return tree_; }
    HWND FileList() const { return list_; }
    HWND TipsWindow() const { return tips_.Handle(); }
    HWND StatusWindow() const { return status_.Handle(); }
    HWND Rebar() const { return rebar_; }
    int SplitterPosition() const { return splitterPos_; }

    // Gives the accelerators the first look at a message; true when one of
    // them used it.
    bool PreTranslate(MSG& msg);

    // Test hooks: the menu the bar shows, the number of each command as it
    // is run, and the splitter moved as by a drag.
    HMENU MenuForTesting() const { return menu_.Get(); }
    HBITMAP MenuImageForTesting(int command) const { return menuImages_.ImageOf(command); }
    void SetCommandObserverForTesting(std::function<void(int)> observer) { observer_ = std::move(observer); }
    void MoveSplitterForTesting(int position);
    FolderBrowser& BrowserForTesting() { return browser_; }
    // The wiping library the shred command's batches use (empty: the one
    // beside the program), and a hook each batch calls after every path.
    void SetWipeLibraryForTesting(const std::wstring& path) { wipeLibrary_ = path; }
    OpenedFiles& OpenedForTesting() { return opened_; }
    void SetBatchHookForTesting(BatchProgress::PathHook hook, void* context) {
        batchHook_ = hook;
        batchHookContext_ = context;
    }

protected:
    bool OnCreate(const CREATESTRUCTW& create) override;
    void OnResize(int width, int height) override;
    bool OnPointer(corva::ui::PointerAction action, POINT client) override;
    void OnCaptureLost() override;
    bool OnSetCursor(POINT client) override;
    bool OnSizing(UINT edge, RECT& rect) override;
    bool OnMinMaxInfo(MINMAXINFO& info) override;
    bool OnMenuSelect(UINT item, UINT flags, HMENU menu) override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnNotify(const NMHDR& header, LRESULT* result) override;
    void OnDestroy() override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    bool CreateMenuBar();
    bool CreateBigToolbar();
    bool CreateRebar();
    bool CreatePanes();
    void SetMenuImages();
    void Layout();
    void UpdateMenuMarks();
    void SetStatusText(const std::wstring& text);
    std::wstring CommandString(int id) const;
    int Scaled(int pixelsAt96) const;

    // Commands.
    void RunCommand(Command command);
    void ToggleStatusBar();
    void ToggleTipsPanel();
    void SetViewMode(Command command);
    void RefreshViews();
    void ShowAbout();
    // Fills the password field from the start-up password when it is
    // empty; false when there is none.
    bool HoldPassword();
    void RunBatchCommand(BatchKind kind);
    // Opens the one selected locked file in its program.
    void RunOpenCommand();
    // Fills the list again, keeping its selection (a file's open state
    // changed).
    void RefillKeepingSelection();
    // A password the user has just stored replaces the one the program
    // holds (the start-up password and the batches' copy); the old one is
    // wiped. Nothing happens when stored is empty.
    void TakeNewPassword(corva::SecretText& stored);
    // The file list takes the keyboard focus (after a dialog).
    void FocusList();
    void OnFirstIdle();
    void BuildFolderTree();

    // Custom drawing of the rebar bands and the toolbars on them.
    LRESULT OnCustomDraw(const NMCUSTOMDRAW& draw);
    void PaintBandStrip(HDC dc, HWND child, int band);

    // The splitter between the panes.

    win::UniqueMenu menu_;
    HACCEL accelerators_ = nullptr;  // a resource: freed with the program
    CommandBar commandBar_;
    HWND bigToolbar_ = nullptr;
    HWND rebar_ = nullptr;
    StatusBar status_;
    HWND tree_ = nullptr;
    HWND list_ = nullptr;
    TipsPanel tips_;
    FolderBrowser browser_;
    OpenedFiles opened_;
    corva::ui::CustomCaption caption_;

    win::UniqueBitmap stripMenu_;
    win::UniqueBitmap stripToolbar_;
    MenuImages menuImages_;
    HIMAGELIST bigImages_ = nullptr;

    ViewState view_;
    int dpi_ = 96;
    int splitterPos_ = kSplitterStart;
    bool draggingSplitter_ = false;
    int dragOffset_ = 0;
    FrameLayout layout_;
    bool treeBuilt_ = false;

    // The password the batch commands use; filled from the start-up
    // password when empty, replaced with it when the user sets a new
    // password, wiped with the window.
    corva::SecretText password_;
    // The pane that had the focus when the window was last deactivated.
    HWND focusWhenInactive_ = nullptr;

    std::function<void(int)> observer_;
    std::wstring wipeLibrary_;
    BatchProgress::PathHook batchHook_ = nullptr;
    void* batchHookContext_ = nullptr;
};

}  // namespace corva::desktop
