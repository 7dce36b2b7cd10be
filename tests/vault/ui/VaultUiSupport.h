// What the vault's user-interface tests share: drives that are scratch
// folders (the tests answer them as USB drives), the shipped programs'
// folder, reading a list control of another process, and a drop target
// and a drag source of the test's own, driven with the harness's pointer.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <functional>
#include <string>
#include <vector>

namespace vaulttest {

// A drive letter mapped to a fresh scratch folder for the object's
// lifetime, through Wine's mount manager (the run's private prefix gets the
// drive; it is removed again with the folder).
class ScratchDrive {
public:
    explicit ScratchDrive(wchar_t letter);
    ~ScratchDrive();
    ScratchDrive(const ScratchDrive&) = delete;
    ScratchDrive& operator=(const ScratchDrive&) = delete;
    bool Mapped() const { return mapped_; }
    // Takes the letter away, as when the drive is pulled out, and gives it
    // back to the same folder.
    bool Unplug();
    bool PlugIn();

private:
    wchar_t letter_;
    std::wstring folder_;
    bool mapped_ = false;
};

// The folder holding Stowbox.exe, CorvastineVault.exe and libeay32.dll
// (CORVA_VAULT_BIN, a POSIX path mapped to Wine's Z: drive), with a
// trailing backslash.
std::wstring ShippedFolder();

// Empties a drive root ("U:\"), clearing protective attributes first.
void EmptyFolder(const std::wstring& folder);

// Copies a file; false on failure.
bool CopyTo(const std::wstring& from, const std::wstring& to);
bool Exists(const std::wstring& path);
std::string ReadText(const std::wstring& path);
bool WriteText(const std::wstring& path, const std::string& text);

// Rows of a report-view list control of any process: the text of one column.
int RowCount(HWND list);
std::vector<std::wstring> ColumnTexts(HWND list, int column);
// Selects exactly the given rows (LVM_SETITEMSTATE).
bool SelectRows(HWND list, const std::vector<int>& rows);
// A row's rectangle in screen coordinates (its label part).
bool RowRect(HWND list, int row, RECT* screen);

// Posts WM_DROPFILES to a window of another process: the drop list is
// written into that process's memory, as the system would hand it over.
bool PostDropFiles(HWND window, const std::vector<std::wstring>& paths, POINT clientPoint);

// A plain top-level window of the test program at a given place. Its drop
// target moves dropped files into a folder, or refuses every drop when
// there is no folder; a window made without one takes no drops at all.
class TestWindow {
public:
    enum class Target { Present, Absent };
    TestWindow(const RECT& screen, const std::wstring& moveDropsInto, Target target = Target::Present);
    ~TestWindow();
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND Handle() const { return hwnd_; }
    int Drops() const;

private:
    HWND hwnd_ = nullptr;
    IDropTarget* target_ = nullptr;
};

// Runs a message loop on the calling thread until done() holds or the time
// is up; true when it held.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 20000);

// Drags files with DoDragDrop from the calling thread (which pumps
// messages meanwhile) while another thread presses the left button at from,
// moves the pointer to to and releases it there. The effect the drop
// target chose.
DWORD DragFilesWithMouse(const std::vector<std::wstring>& paths, POINT from, POINT to);

// Presses at from, moves to to and releases there, on a helper thread, while
// the calling thread pumps messages until the helper is done and then until
// settled() holds. Before releasing, the pointer keeps moving about to
// until a drop target of the test program has seen the drag (at most a few
// seconds, the whole time when there is none).
bool MouseDragPumping(POINT from, POINT to, const std::function<bool()>& settled, DWORD timeoutMs = 30000);

}  // namespace vaulttest
