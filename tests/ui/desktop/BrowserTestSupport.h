// The main window on a UI thread of the test program, rooted at a scratch
// folder on the Desktop of the private prefix (never at real files): the
// fixture makes the folder, opens the window, waits for the tree, selects
// the scratch folder with a click, and reads the tree, the list, its
// header and its icons in-process. Input is real: the harness's keyboard
// and pointer.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "MainFrame.h"
#include "UiHarness.h"

namespace desktoptest {

namespace fs = std::filesystem;

// Writes a file of size bytes; its last write time set to the given
// number of days after 1 January 2020 when days >= 0.
void WriteSampleFile(const fs::path& path, size_t size, int days = -1);
bool Exists(const fs::path& path);

class BrowserFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the window (after the test filled scratch_) and waits until the
    // tree shows the scratch folder under "Desktop".
    void Open();
    // Selects a tree item with a click and waits until the list holds
    // expectedRows rows (when >= 0).
    void ClickTreeItem(HTREEITEM item, int expectedRows = -1);
    // Clicks the scratch folder in the tree and waits for its rows.
    void ShowScratch(int expectedRows);

    HTREEITEM TreeRoot() const;
    HTREEITEM TreeChild(HTREEITEM parent, const std::wstring& text) const;
    std::vector<std::wstring> TreeChildren(HTREEITEM parent) const;
    std::wstring TreeText(HTREEITEM item) const;
    HTREEITEM TreeSelection() const;
    bool TreeExpanded(HTREEITEM item) const;

    int RowCount() const;
    std::vector<std::wstring> RowNames() const;
    std::wstring Cell(int row, int column) const;
    int RowOfName(const std::wstring& name) const;
    int RowImage(int row) const;
    std::vector<int> SelectedRows() const;
    int FocusedRow() const;
    POINT RowLabelPoint(int row) const;
    POINT HeaderPoint(int column) const;
    // Selects the rows first to last: a click on the first, Shift+Down for
    // each further one.
    void SelectRows(int first, int last);
    // Waits until the list's names are exactly these.
    bool WaitForRows(const std::vector<std::wstring>& names) const;
    // The names of the selected rows.
    std::vector<std::wstring> SelectedNames() const;
    // Opens a menu of the bar with Alt and its letter, then chooses an item
    // by its letter (keys pressed again when a press was lost).
    void ChooseMenuItem(WORD menuLetter, WORD itemLetter);

    std::vector<int> Commands();
    void ClearCommands();

    fs::path desktop_;
    fs::path scratch_;
    std::wstring scratchName_;
    std::unique_ptr<uitest::UiThread> thread_;
    corva::desktop::MainFrame* volatile frame_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND tree_ = nullptr;
    HWND list_ = nullptr;
    std::mutex mutex_;
    std::vector<int> commands_;
    // Set before Open: applied to the frame on its thread.
    std::function<void(corva::desktop::MainFrame&)> configure_;
};

int ScreenDpi();

}  // namespace desktoptest
