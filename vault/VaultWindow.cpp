#include "VaultWindow.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include "VaultCaptionMetrics.h"
#include "VaultLayout.h"
#include "VaultMessages.h"
#include "VaultProgram.h"
#include "ui/RunBatch.h"
#include "ui/DialogSupport.h"
#include "ui/ProgressDialog.h"
#include "engine/Batch.h"
#include "engine/LockedFile.h"
#include "platform/Platform.h"
#include "resource.h"

namespace corva::vault {

const wchar_t kLearnMoreAddress[] = L"https://www.corvastine.com/usb-encryption";
const wchar_t kDriveGoneText[] = L"The vault drive is no longer available.";

void OpenInBrowser(const std::wstring& address) {
    ::ShellExecuteW(nullptr, L"open", L"iexplore.exe", address.c_str(), nullptr, SW_SHOWMAXIMIZED);
}

namespace {

// A COM interface pointer released with the object.
template <typename T>
class ComHold {
public:
    explicit ComHold(T* pointer = nullptr) : pointer_(pointer) {}
    ~ComHold() {
        if (pointer_) pointer_->Release();
    }
    ComHold(const ComHold&) = delete;
    ComHold& operator=(const ComHold&) = delete;
    T* Get() const { return pointer_; }
    T** Receive() { return &pointer_; }

private:
    T* pointer_;
};

bool IsPlainFile(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

struct ColumnLayout {
    const wchar_t* title;
    int width;  // pixels at 96 dots per inch
};
constexpr ColumnLayout kColumns[] = {{L"Name", 250}, {L"Size", 92}, {L"Date", 70}};

// The vault's caption: the main window's colours with one rose pixel inside
// the black outline, the first 10 characters of the title, minimise and
// close only.
const corva::ui::CaptionStyle kCaptionStyle{
    RGB(155, 43, 30), RGB(180, 95, 85), RGB(204, 102, 102), 1, false, 10, IDI_VAULT_CAPTION,
    {{IDI_VAULT_MIN, IDI_VAULT_MIN_HOVER, IDI_VAULT_MIN_PRESSED},
     {0, 0, 0},
     {IDI_VAULT_CLOSE, IDI_VAULT_CLOSE_HOVER, IDI_VAULT_CLOSE_PRESSED}},
    kVaultCaptionMetrics};

}  // namespace

VaultWindow::VaultWindow(const corva::SecretText& password, const std::wstring& programFolder, OpenAddressFn openAddress)
    : ModalDialog(IDD_VAULT),
      password_(password.Text()),
      programFolder_(programFolder),
      vaultFolder_(VaultFolderOf(programFolder)),
      places_(PlacesOf(programFolder, plat::ModulePath())),
      openAddress_(std::move(openAddress)),
      caption_(kCaptionStyle) {}

VaultWindow::~VaultWindow() = default;

HWND VaultWindow::List() const { return ::GetDlgItem(Handle(), IDC_VAULT_LIST); }

bool VaultWindow::OnInit() {
    caption_.Attach(Handle());
    white_ = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    SetUpLink();
    SetUpBanner();
    corva::ui::CenterOnWindow(Handle(), ::GetWindow(Handle(), GW_OWNER));
    corva::ui::SetDialogIcons(Handle());
    SetUpList();
    RefreshVaultList();

    // OLE drags reach only a registered drop target; WM_DROPFILES (the
    // window accepts dropped files) feeds the same code.
    dropTarget_ = new FileDropTarget(*this);
    if (FAILED(::RegisterDragDrop(Handle(), dropTarget_))) {
        dropTarget_->Release();
        dropTarget_ = nullptr;
    }
    ::DragAcceptFiles(Handle(), TRUE);
    ::SetWindowPos(Handle(), nullptr, 0, 0, 0, 0,
                   SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

void VaultWindow::SetUpLink() {
    HWND link = ::GetDlgItem(Handle(), IDC_VAULT_LEARN_MORE);
    if (!link) return;
    linkFont_ = corva::ui::DeriveFont(Handle(), [](LOGFONTW& lf) {
        lf.lfWeight = FW_BOLD;
        lf.lfUnderline = TRUE;
    });
    if (linkFont_.Get()) ::SendMessageW(link, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.Get()), FALSE);
}

void VaultWindow::SetUpBanner() {
    constexpr int kWidth = 400, kHeight = 168;  // the bitmap's own size, drawn at 96 dots per inch
    banner_.Reset(static_cast<HBITMAP>(::LoadImageW(corva::ui::ResourceModule(), MAKEINTRESOURCEW(IDB_VAULT_BANNER),
                                                    IMAGE_BITMAP, corva::ui::ScaleForDpi(Handle(), kWidth),
                                                    corva::ui::ScaleForDpi(Handle(), kHeight), 0)));
    if (banner_)
        ::SendDlgItemMessageW(Handle(), IDC_VAULT_BANNER, STM_SETIMAGE, IMAGE_BITMAP,
                              reinterpret_cast<LPARAM>(banner_.Get()));
}

void VaultWindow::SetUpList() {
    HWND list = List();
    if (!list) return;
    ListView_SetExtendedListViewStyleEx(list, LVS_EX_HEADERDRAGDROP, LVS_EX_HEADERDRAGDROP);
    int index = 0;
    for (const ColumnLayout& layout : kColumns) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = corva::ui::ScaleForDpi(Handle(), layout.width);
        column.pszText = const_cast<wchar_t*>(layout.title);
        column.iSubItem = index;
        ::SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
        ++index;
    }
}

void VaultWindow::RefreshVaultList() {
    HWND list = List();
    if (list) ListView_DeleteAllItems(list);
    entries_ = ReadVaultEntries(vaultFolder_);
    states_.clear();
    int row = 0;
    for (const VaultEntry& entry : entries_) {
        const EntryState state = entry.folder ? EntryState::Opens : StateOf(entry);
        states_.push_back(state);
        if (!list) continue;
        const std::wstring name = entry.name + EntryMark(state);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(name.c_str());
        const int at = static_cast<int>(::SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (at >= 0) {
            const std::wstring* texts[] = {&entry.sizeText, &entry.dateText};
            for (int column = 1; column <= 2; ++column) {
                LVITEMW sub{};
                sub.iSubItem = column;
                sub.pszText = const_cast<wchar_t*>(texts[column - 1]->c_str());
                ::SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&sub));
            }
        }
        ++row;
    }
}

EntryState VaultWindow::StateOf(const VaultEntry& entry) {
    auto known = checked_.find(entry.path);
    if (known != checked_.end() && known->second.length == entry.length && known->second.written == entry.written)
        return known->second.state;
    const EntryState state = CheckEntry(entry.path, password_.Text());
    checked_[entry.path] = CheckedEntry{entry.length, entry.written, state};
    return state;
}

LRESULT VaultWindow::DrawListItem(NMLVCUSTOMDRAW* draw) {
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
        const size_t row = static_cast<size_t>(draw->nmcd.dwItemSpec);
        if (row < states_.size() && states_[row] != EntryState::Opens) {
            draw->clrText = ::GetSysColor(COLOR_GRAYTEXT);
            return CDRF_NEWFONT;
        }
        return CDRF_DODEFAULT;
    }
    default: return CDRF_DODEFAULT;
    }
}

bool VaultWindow::VaultAvailable() {
    if (EnsureVaultFolder(vaultFolder_)) return true;
    ::MessageBoxW(Handle(), kDriveGoneText, kVaultCaption, MB_OK | MB_ICONWARNING);
    return false;
}

void VaultWindow::AddDroppedFiles(const std::vector<std::wstring>& paths, POINT clientPoint) {
    pendingDrop_.clear();
    RECT client{};
    ::GetClientRect(Handle(), &client);
    if (!::PtInRect(&client, clientPoint)) return;
    pendingDrop_ = paths;
    if (pendingDrop_.empty()) return;
    // With the drive gone nothing is touched, and the list stays as it was.
    if (!VaultAvailable()) return;
    corva::BatchReport report;
    {
        VaultStoreBatch batch(pendingDrop_, password_.Text(), places_, nullptr);
        std::vector<std::wstring> own = plat::OwnProgramFiles();
        own.push_back(programFolder_ + kVaultProgramName);
        batch.SetProtectedPaths(std::move(own));
        HWND owner = ::GetActiveWindow();
        corva::ui::RunBatch(owner ? owner : Handle(), batch);
    }
    RefreshVaultList();
}

void VaultWindow::HandleFileDrop(HDROP drop) {
    POINT point{};
    ::DragQueryPoint(drop, &point);
    std::vector<std::wstring> paths = ReadFileDropList(drop);
    ::DragFinish(drop);
    AddDroppedFiles(paths, point);
}

void VaultWindow::TakeDrop(std::vector<std::wstring> paths, POINT screenPoint) {
    handedOver_.emplace_back(std::move(paths), screenPoint);
    ::PostMessageW(Handle(), kFilesDroppedMessage, 0, 0);
}

void VaultWindow::DragOutSelection(POINT listPoint) {
    HWND list = List();
    if (!list || draggingOut_) return;
    std::vector<std::wstring> entries, plain;
    for (int row = ListView_GetNextItem(list, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(list, row, LVNI_SELECTED)) {
        if (static_cast<size_t>(row) >= entries_.size()) continue;
        const VaultEntry& entry = entries_[static_cast<size_t>(row)];
        entries.push_back(entry.path);
        plain.push_back(entry.folder ? entry.path : UnlockedPathOf(entry.path));
    }
    if (entries.empty()) return;
    if (!VaultAvailable()) return;

    ComHold<FileDropData> data(FileDropData::Create(plain));
    if (!data.Get()) return;
    ComHold<IDragSourceHelper> image;
    if (SUCCEEDED(::CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER, IID_IDragSourceHelper,
                                     reinterpret_cast<void**>(image.Receive())))) {
        image.Get()->InitializeFromWindow(list, &listPoint, data.Get());  // a failure only loses the image
    }
    ComHold<DropSource> source(new DropSource(*this));

    draggingOut_ = true;
    dragData_ = data.Get();
    dragEntries_ = entries;
    dragRestored_.clear();
    dragReport_ = corva::BatchReport();
    DWORD effect = DROPEFFECT_NONE;
    ::DoDragDrop(data.Get(), source.Get(), DROPEFFECT_MOVE, &effect);
    dragData_ = nullptr;
    draggingOut_ = false;

    // Told only now, outside the drag loop, which still holds the mouse.
    const std::vector<std::wstring> restored = std::move(dragRestored_);
    const corva::BatchReport report = std::move(dragReport_);
    dragRestored_.clear();
    dragReport_ = corva::BatchReport();
    RelockLeftovers(restored);
    RefreshVaultList();
    corva::ui::ShowBatchSummary(Handle(), report);
}

bool VaultWindow::OnDragReleased() {
    if (!dragData_ || dragEntries_.empty()) return false;
    VaultTakeOutBatch batch(dragEntries_, password_.Text(), vaultFolder_, nullptr);
    HWND owner = ::GetActiveWindow();
    ProgressDialog(batch).ShowModal(owner ? owner : Handle());
    dragRestored_ = batch.Restored();
    dragReport_ = batch.Report();
    // Only what was unlocked whole goes to the drop target.
    const std::vector<std::wstring> whole = batch.TakenOut();
    return !whole.empty() && dragData_->ReplacePaths(whole);
}

void VaultWindow::RelockLeftovers(const std::vector<std::wstring>& plainPaths) {
    std::vector<std::wstring> left;
    for (const std::wstring& path : plainPaths) {
        if (IsPlainFile(path)) left.push_back(path);
    }
    if (left.empty()) return;
    VaultRelockBatch batch(left, password_.Text(), nullptr);
    HWND owner = ::GetActiveWindow();
    corva::ui::RunBatch(owner ? owner : Handle(), batch);
}

bool VaultWindow::OnCommand(int id, int code, HWND) {
    switch (id) {
    case IDC_VAULT_LEARN_MORE:
        if (code != STN_CLICKED) return false;
        if (openAddress_) openAddress_(kLearnMoreAddress);
        return true;
    default:
        return false;
    }
}

bool VaultWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
    LRESULT captionResult = 0;
    if (caption_.OnMessage(message, wParam, lParam, &captionResult)) {
        ::SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, captionResult);
        *result = TRUE;
        return true;
    }
    switch (message) {
    case WM_CTLCOLORSTATIC: {
        if (reinterpret_cast<HWND>(lParam) != ::GetDlgItem(Handle(), IDC_VAULT_LEARN_MORE)) return false;
        HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, RGB(0, 0, 205));
        ::SetBkMode(dc, TRANSPARENT);
        *result = reinterpret_cast<INT_PTR>(white_);
        return true;
    }
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) != ::GetDlgItem(Handle(), IDC_VAULT_LEARN_MORE)) return false;
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        ::SetWindowLongPtrW(Handle(), DWLP_MSGRESULT, TRUE);
        *result = TRUE;
        return true;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!header || header->idFrom != IDC_VAULT_LIST) return false;
        if (header->code == NM_CUSTOMDRAW) {
            ::SetWindowLongPtrW(Handle(), DWLP_MSGRESULT,
                                DrawListItem(reinterpret_cast<NMLVCUSTOMDRAW*>(lParam)));
            *result = TRUE;
            return true;
        }
        if (header->code != LVN_BEGINDRAG) return false;
        DragOutSelection(reinterpret_cast<const NMLISTVIEW*>(lParam)->ptAction);
        *result = TRUE;
        return true;
    }
    case WM_DROPFILES:
        HandleFileDrop(reinterpret_cast<HDROP>(wParam));
        *result = TRUE;
        return true;
    case kFilesDroppedMessage: {
        auto drops = std::move(handedOver_);
        handedOver_.clear();
        for (auto& drop : drops) {
            POINT point = drop.second;
            ::ScreenToClient(Handle(), &point);
            AddDroppedFiles(drop.first, point);
        }
        *result = TRUE;
        return true;
    }
    default:
        return false;
    }
}

void VaultWindow::OnDestroy() {
    if (dropTarget_) {
        ::RevokeDragDrop(Handle());
        dropTarget_->Release();
        dropTarget_ = nullptr;
    }
}

}  // namespace corva::vault
