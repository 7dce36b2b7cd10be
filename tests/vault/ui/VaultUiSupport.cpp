#include "VaultUiSupport.h"

#include <commctrl.h>
#include <winioctl.h>
#include <shlobj.h>
#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <cwctype>
#include <fstream>
#include <thread>

#include "DragDrop.h"
#include "support/TestSupport.h"
#include "UiHarness.h"

namespace vaulttest {

namespace {

// Wine's mount-manager request that maps a drive letter to a POSIX folder
// (or, without a folder, removes the letter).
struct MountUnixDrive {
    ULONG size;
    ULONG type;
    ULONG fsType;
    DWORD serial;
    ULONGLONG unixDevice;
    WCHAR letter;
    USHORT mountPointOffset;
    USHORT deviceOffset;
    USHORT labelOffset;
};
constexpr DWORD kDefineUnixDrive = CTL_CODE(0x6d, 32, METHOD_BUFFERED, FILE_READ_ACCESS | FILE_WRITE_ACCESS);

bool DefineUnixDrive(wchar_t letter, const std::string& unixFolder) {
    HANDLE manager = ::CreateFileW(L"\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (manager == INVALID_HANDLE_VALUE) return false;
    std::vector<char> request(sizeof(MountUnixDrive) + unixFolder.size() + 1, 0);
    MountUnixDrive drive{};
    drive.size = static_cast<ULONG>(request.size());
    drive.type = unixFolder.empty() ? DRIVE_NO_ROOT_DIR : DRIVE_FIXED;
    drive.letter = static_cast<WCHAR>(std::towlower(letter));
    if (!unixFolder.empty()) {
        drive.mountPointOffset = sizeof(MountUnixDrive);
        std::memcpy(request.data() + sizeof(MountUnixDrive), unixFolder.c_str(), unixFolder.size() + 1);
    }
    std::memcpy(request.data(), &drive, sizeof drive);
    const BOOL ok = ::DeviceIoControl(manager, kDefineUnixDrive, request.data(), static_cast<DWORD>(request.size()),
                                      nullptr, 0, nullptr, nullptr);
    ::CloseHandle(manager);
    return ok != FALSE;
}

// The POSIX path of a Windows path, from Wine's own conversion.
std::string UnixPathOf(const std::wstring& path) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    auto convert = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!convert) return std::string();
    char* unix = convert(path.c_str());
    if (!unix) return std::string();
    std::string result(unix);
    ::HeapFree(::GetProcessHeap(), 0, unix);
    return result;
}

}  // namespace

ScratchDrive::ScratchDrive(wchar_t letter) : letter_(letter) {
    wchar_t temp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"corva-drive-" + std::wstring(1, letter) + L"-" +
              std::to_wstring(::GetCurrentProcessId());
    ::CreateDirectoryW(folder_.c_str(), nullptr);
    const std::string unix = UnixPathOf(folder_);
    mapped_ = !unix.empty() && DefineUnixDrive(letter, unix);
}

bool ScratchDrive::Unplug() {
    if (!mapped_ || !DefineUnixDrive(letter_, std::string())) return false;
    mapped_ = false;
    return true;
}

bool ScratchDrive::PlugIn() {
    const std::string unix = UnixPathOf(folder_);
    mapped_ = mapped_ || (!unix.empty() && DefineUnixDrive(letter_, unix));
    return mapped_;
}

ScratchDrive::~ScratchDrive() {
    if (mapped_) DefineUnixDrive(letter_, std::string());
    EmptyFolder(folder_ + L"\\");
    ::RemoveDirectoryW(folder_.c_str());
}

std::wstring ShippedFolder() {
    const char* raw = std::getenv("CORVA_VAULT_BIN");
    std::string path = raw ? raw : "";
    std::wstring wide(path.begin(), path.end());
    if (!wide.empty() && wide[0] == L'/') wide = L"Z:" + wide;
    for (wchar_t& c : wide)
        if (c == L'/') c = L'\\';
    if (!wide.empty() && wide.back() != L'\\') wide += L'\\';
    return wide;
}

void EmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW((folder + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring path = folder + name;
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            EmptyFolder(path + L"\\");
            ::RemoveDirectoryW(path.c_str());
        } else {
            ::DeleteFileW(path.c_str());
        }
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
}

bool CopyTo(const std::wstring& from, const std::wstring& to) { return ::CopyFileW(from.c_str(), to.c_str(), FALSE); }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Through the engine's own reader, which shares the file for deletion:
// the tests read files the vault is about to delete, and a read that kept
// it from deleting one would change what the vault does.
std::string ReadText(const std::wstring& path) {
    const testing_support::Bytes bytes = testing_support::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

bool WriteText(const std::wstring& path, const std::string& text) {
    std::ofstream out(path.c_str(), std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

namespace {

// Memory in another process for the duration of one exchange.
class RemoteBlock {
public:
    RemoteBlock(HWND window, size_t size) : size_(size) {
        DWORD pid = 0;
        ::GetWindowThreadProcessId(window, &pid);
        process_ = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_) address_ = ::VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBlock() {
        if (address_ && !kept_) ::VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
        if (process_) ::CloseHandle(process_);
    }
    RemoteBlock(const RemoteBlock&) = delete;
    RemoteBlock& operator=(const RemoteBlock&) = delete;
    bool Valid() const { return address_ != nullptr; }
    char* Address() const { return static_cast<char*>(address_); }
    bool Write(size_t offset, const void* data, size_t size) {
        return offset + size <= size_ &&
               ::WriteProcessMemory(process_, Address() + offset, data, size, nullptr);
    }
    bool Read(size_t offset, void* data, size_t size) {
        return offset + size <= size_ && ::ReadProcessMemory(process_, Address() + offset, data, size, nullptr);
    }
    // Leaves the memory to the other process (it frees it itself).
    void Keep() { kept_ = true; }

private:
    HANDLE process_ = nullptr;
    void* address_ = nullptr;
    size_t size_;
    bool kept_ = false;
};

}  // namespace

int RowCount(HWND list) { return static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

std::vector<std::wstring> ColumnTexts(HWND list, int column) {
    std::vector<std::wstring> texts;
    constexpr int kChars = 300;
    RemoteBlock block(list, sizeof(LVITEMW) + kChars * sizeof(wchar_t));
    if (!block.Valid()) return texts;
    const int rows = RowCount(list);
    for (int row = 0; row < rows; ++row) {
        LVITEMW item{};
        item.iSubItem = column;
        item.cchTextMax = kChars;
        item.pszText = reinterpret_cast<wchar_t*>(block.Address() + sizeof(LVITEMW));
        wchar_t empty[1] = {0};
        block.Write(sizeof(LVITEMW), empty, sizeof empty);
        block.Write(0, &item, sizeof item);
        ::SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(block.Address()));
        wchar_t text[kChars] = {};
        block.Read(sizeof(LVITEMW), text, sizeof text);
        text[kChars - 1] = 0;
        texts.emplace_back(text);
    }
    return texts;
}

bool SelectRows(HWND list, const std::vector<int>& rows) {
    RemoteBlock block(list, sizeof(LVITEMW));
    if (!block.Valid()) return false;
    auto set = [&](int row, UINT state) {
        LVITEMW item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = state;
        block.Write(0, &item, sizeof item);
        return ::SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                              reinterpret_cast<LPARAM>(block.Address())) != 0;
    };
    bool ok = set(-1, 0);
    for (int row : rows) ok = set(row, LVIS_SELECTED | (row == rows.front() ? LVIS_FOCUSED : 0)) && ok;
    return ok;
}

bool RowRect(HWND list, int row, RECT* screen) {
    RemoteBlock block(list, sizeof(RECT));
    if (!block.Valid()) return false;
    RECT r{};
    r.left = LVIR_LABEL;
    block.Write(0, &r, sizeof r);
    if (!::SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(block.Address()))) return false;
    block.Read(0, &r, sizeof r);
    ::MapWindowPoints(list, HWND_DESKTOP, reinterpret_cast<POINT*>(&r), 2);
    *screen = r;
    return true;
}

bool PostDropFiles(HWND window, const std::vector<std::wstring>& paths, POINT clientPoint) {
    std::vector<unsigned char> block(sizeof(DROPFILES));
    for (const auto& path : paths) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(path.c_str());
        block.insert(block.end(), bytes, bytes + (path.size() + 1) * sizeof(wchar_t));
    }
    block.insert(block.end(), sizeof(wchar_t), 0);
    DROPFILES header{};
    header.pFiles = sizeof(DROPFILES);
    header.pt = clientPoint;
    header.fNC = FALSE;
    header.fWide = TRUE;
    std::memcpy(block.data(), &header, sizeof header);
    RemoteBlock remote(window, block.size());
    if (!remote.Valid() || !remote.Write(0, block.data(), block.size())) return false;
    remote.Keep();
    return ::PostMessageW(window, WM_DROPFILES, reinterpret_cast<WPARAM>(remote.Address()), 0) != FALSE;
}

// ------------------------------------------------------------ test window

namespace {

std::atomic<int> g_drops{0};
std::atomic<bool> g_dragSeen{false};

// Moves dropped files into a folder (or refuses every drop when there is
// none) and notes that a drag passed over it.
class MovingDropTarget final : public corva::vault::RefCounted<IDropTarget> {
public:
    explicit MovingDropTarget(std::wstring folder) : folder_(std::move(folder)) {}
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        static const QITAB kInterfaces[] = {QITABENT(MovingDropTarget, IDropTarget), {nullptr, 0}};
        return ::QISearch(this, kInterfaces, iid, out);
    }
    HRESULT STDMETHODCALLTYPE DragEnter(IDataObject*, DWORD, POINTL, DWORD* effect) override {
        g_dragSeen = true;
        *effect = folder_.empty() ? DROPEFFECT_NONE : (*effect & DROPEFFECT_MOVE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragOver(DWORD, POINTL, DWORD* effect) override {
        g_dragSeen = true;
        *effect = folder_.empty() ? DROPEFFECT_NONE : (*effect & DROPEFFECT_MOVE);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE DragLeave() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, DWORD, POINTL, DWORD* effect) override {
        if (folder_.empty()) {
            *effect = DROPEFFECT_NONE;
            return S_OK;
        }
        for (const auto& path : corva::vault::FileDropListOf(data)) {
            const std::wstring name = path.substr(path.rfind(L'\\') + 1);
            ::MoveFileW(path.c_str(), (folder_ + name).c_str());
        }
        *effect = DROPEFFECT_MOVE;
        ++g_drops;
        return S_OK;
    }

private:
    std::wstring folder_;
};

LRESULT CALLBACK TestWindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

}  // namespace

TestWindow::TestWindow(const RECT& screen, const std::wstring& moveDropsInto, Target target) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &TestWindowProcedure;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(::GetStockObject(LTGRAY_BRUSH));
    wc.lpszClassName = L"CorvaVaultTestWindow";
    ::RegisterClassW(&wc);
    hwnd_ = ::CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"drop here", WS_POPUP | WS_BORDER | WS_VISIBLE,
                              screen.left, screen.top, screen.right - screen.left, screen.bottom - screen.top,
                              nullptr, nullptr, wc.hInstance, nullptr);
    g_drops = 0;
    g_dragSeen = false;
    if (target == Target::Absent) {
        ::UpdateWindow(hwnd_);
        return;
    }
    target_ = new MovingDropTarget(moveDropsInto);
    if (hwnd_ && FAILED(::RegisterDragDrop(hwnd_, target_))) {
        target_->Release();
        target_ = nullptr;
    }
    ::UpdateWindow(hwnd_);
}

TestWindow::~TestWindow() {
    if (target_) {
        ::RevokeDragDrop(hwnd_);
        target_->Release();
    }
    if (hwnd_) ::DestroyWindow(hwnd_);
}

int TestWindow::Drops() const { return g_drops.load(); }

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const ULONGLONG end = ::GetTickCount64() + timeoutMs;
    for (;;) {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (::GetTickCount64() > end) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// ------------------------------------------------------------ dragging

namespace {

std::atomic<bool> g_sourceAsked{false};

class ButtonDropSource final : public corva::vault::RefCounted<IDropSource> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        static const QITAB kInterfaces[] = {QITABENT(ButtonDropSource, IDropSource), {nullptr, 0}};
        return ::QISearch(this, kInterfaces, iid, out);
    }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
        g_sourceAsked = true;
        if (escape) return DRAGDROP_S_CANCEL;
        return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

}  // namespace

DWORD DragFilesWithMouse(const std::vector<std::wstring>& paths, POINT from, POINT to) {
    corva::vault::FileDropData* data = corva::vault::FileDropData::Create(paths);
    if (!data) return DROPEFFECT_NONE;
    auto* source = new ButtonDropSource();
    uitest::MovePointer(from);
    uitest::LeftDown(from);
    // The drag loop reads the button from this thread's key state, which
    // follows the input this thread has taken in.
    PumpUntil([] { return ::GetKeyState(VK_LBUTTON) < 0; }, 5000);
    g_sourceAsked = false;
    std::thread mover([to] {
        // The drag loop runs once the source is first asked.
        uitest::WaitUntil([] { return g_sourceAsked.load(); });
        uitest::MovePointerAlong(POINT{to.x - 20, to.y - 20}, 10);
        uitest::MovePointerAlong(to, 5);
        uitest::LeftUp(to);
    });
    DWORD effect = DROPEFFECT_NONE;
    ::DoDragDrop(data, source, DROPEFFECT_COPY | DROPEFFECT_MOVE, &effect);
    mover.join();
    source->Release();
    data->Release();
    return effect;
}

bool MouseDragPumping(POINT from, POINT to, const std::function<bool()>& settled, DWORD timeoutMs) {
    std::atomic<bool> released{false};
    g_dragSeen = false;
    std::thread mover([&] {
        uitest::MovePointer(from);
        uitest::LeftDown(from);
        // Past the drag threshold, so that the list starts its drag.
        uitest::MovePointerAlong(POINT{from.x + 12, from.y + 6}, 6);
        uitest::MovePointerAlong(to, 20);
        // Until the drop target has seen the drag, keep the pointer moving.
        for (int i = 0; i < 20 && !g_dragSeen.load(); ++i) {
            uitest::MovePointerAlong(POINT{to.x + (i % 2 ? 6 : -6), to.y}, 2);
            uitest::WaitUntil([] { return g_dragSeen.load(); }, uitest::Millis(300));
        }
        uitest::MovePointerAlong(to, 2);
        uitest::LeftUp(to);
        released = true;
    });
    const bool ok = PumpUntil([&] { return released.load() && settled(); }, timeoutMs);
    mover.join();
    return ok;
}

}  // namespace vaulttest
