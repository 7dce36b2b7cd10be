// The vault program's window (dialog 129): the banner with the "Learn More"
// link and the list of the vault folder's entries (locked files and the
// folders dropped files came in). Files and folders dropped onto it (OLE
// drag or WM_DROPFILES) are locked with the vault password straight into the
// vault folder; rows dragged out are unlocked when the mouse button is
// released, only those unlocked whole are handed to the drop, and whatever
// the drop target leaves of them in the vault folder is locked again when
// the drag has ended. Every file a drop or a drag did not move is named in
// one message afterwards; with the vault's drive gone, nothing is touched.
// Entries that do not open under the vault's password are marked.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "DragDrop.h"
#include "EntryState.h"
#include "ui/CustomCaption.h"
#include "VaultEntries.h"
#include "engine/SecretText.h"
#include "VaultTransfers.h"
#include "ui/ModalDialog.h"
#include "platform/WinHandles.h"
#include "platform/WinHandles.h"

namespace corva::vault {

// Opens a web page; the program runs "iexplore.exe" with the address.
using OpenAddressFn = std::function<void(const std::wstring& address)>;
void OpenInBrowser(const std::wstring& address);

extern const wchar_t kLearnMoreAddress[];
extern const wchar_t kDriveGoneText[];  // "The vault drive is no longer available."

class VaultWindow final : public corva::ui::ModalDialog, private DragReleaseHandler, private FileDropReceiver {
public:
    // programFolder ends with a backslash. The password is copied and wiped
    // when the window object is destroyed.
    VaultWindow(const corva::SecretText& password, const std::wstring& programFolder,
                OpenAddressFn openAddress = &OpenInBrowser);
    ~VaultWindow() override;

    // ShowModal shows the window; its end code is IDOK or IDCANCEL.

    // Rebuilds the rows from the vault folder.
    void RefreshVaultList();
    // Locks the dropped files and folders into the vault folder; nothing
    // happens when the drop point (client coordinates) lies outside the
    // client area.
    void AddDroppedFiles(const std::vector<std::wstring>& paths, POINT clientPoint);
    // The drag of the selected rows out of the list.
    void DragOutSelection(POINT listPoint);

protected:
    bool OnInit() override;
    bool OnCommand(int id, int code, HWND control) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;
    void OnDestroy() override;

private:
    bool OnDragReleased() override;
    bool AcceptsDrops() override { return !draggingOut_; }
    void TakeDrop(std::vector<std::wstring> paths, POINT screenPoint) override;

    void SetUpLink();
    void SetUpBanner();
    void SetUpList();
    void HandleFileDrop(HDROP drop);
    // Whether the vault folder can be reached; when not, says so.
    bool VaultAvailable();
    // Whether an entry opens under the vault password (checked once per
    // version of the file).
    EntryState StateOf(const VaultEntry& entry);
    // Grey text for the rows of marked entries.
    LRESULT DrawListItem(NMLVCUSTOMDRAW* draw);
    // Locks again the plain files a drag-out left in the vault folder.
    void RelockLeftovers(const std::vector<std::wstring>& plainPaths);
    HWND List() const;

    struct CheckedEntry {
        int64_t length;
        uint64_t written;
        EntryState state;
    };

    corva::SecretText password_;
    std::wstring programFolder_;
    std::wstring vaultFolder_;
    VaultPlaces places_;
    OpenAddressFn openAddress_;
    std::vector<VaultEntry> entries_;  // row i shows entries_[i]
    std::vector<EntryState> states_;   // of each row
    std::map<std::wstring, CheckedEntry> checked_;
    std::vector<std::wstring> pendingDrop_;
    // What the running drag-out hands over: its entries, and once released
    // the plain files its unlock made and what it could not take out.
    std::vector<std::wstring> dragEntries_;
    std::vector<std::wstring> dragRestored_;
    corva::BatchReport dragReport_;
    // Drops handed over by the drop target, waiting for kFilesDroppedMessage.
    std::vector<std::pair<std::vector<std::wstring>, POINT>> handedOver_;
    FileDropData* dragData_ = nullptr;  // the data object of a running drag-out
    bool draggingOut_ = false;
    FileDropTarget* dropTarget_ = nullptr;
    corva::ui::CustomCaption caption_;
    corva::ui::UniqueFont linkFont_;
    corva::win::UniqueBitmap banner_;
    HBRUSH white_ = nullptr;  // stock brush
};

}  // namespace corva::vault
