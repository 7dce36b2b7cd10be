#include "MainFrame.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstddef>

#include "AboutBox.h"
#include "BatchCommands.h"
#include "ChangePasswordDialog.h"
#include "Drawing.h"
#include "ForgotPasswordWizard.h"
#include "HelpPages.h"
#include "MessageLoop.h"
#include "Messages.h"
#include "ModalDialog.h"
#include "PasswordGate.h"
#include "StartupPassword.h"
#include "ui/BatchFactory.h"
#include "ui/RunBatch.h"
#include "resource.h"

namespace corva::desktop {

static_assert(sizeof(Rect) == sizeof(RECT) && offsetof(Rect, bottom) == offsetof(RECT, bottom),
              "WM_SIZING's rectangle is read as a Rect");

namespace {

constexpr wchar_t kClassName[] = L"CorvastineMainFrame";
constexpr wchar_t kProductName[] = L"Corvastine";
constexpr COLORREF kRebarBack = RGB(232, 232, 232);

struct BigButton {
    Command command;
    const wchar_t* text;
};
constexpr BigButton kBigButtons[] = {
    {Command::Lock, L"  Lock Selected File"},
    {Command::Unlock, L"  Unlock Selected File"},
    {Command::Shred, L"  Shred Selected File"},
};

// The commands of a toolbar resource (0 for a separator), with its image
// size.
std::vector<int> ToolbarCommands(int id, SIZE* imageSize) {
    std::vector<int> commands;
    HMODULE module = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(RT_CORVA_TOOLBAR));
    HGLOBAL loaded = found ? ::LoadResource(module, found) : nullptr;
    const auto* words = loaded ? static_cast<const WORD*>(::LockResource(loaded)) : nullptr;
    const DWORD bytes = found ? ::SizeofResource(module, found) : 0;
    if (!words || bytes < 8 || words[0] != 1) return commands;
    if (imageSize) *imageSize = SIZE{words[1], words[2]};
    const DWORD count = std::min<DWORD>(words[3], bytes / 2 - 4);
    for (DWORD i = 0; i < count; ++i) commands.push_back(words[4 + i]);
    return commands;
}

// The main window's caption: red band, two rose pixels inside the black
// outline, minimise, maximise and close.
const corva::ui::CaptionStyle kCaptionStyle{
    RGB(155, 43, 30), RGB(180, 95, 85), RGB(204, 102, 102), 2, true, 0, IDI_SMALL,
    {{IDI_MIN_NORMAL, IDI_MIN_HOVER, IDI_MIN_PRESSED},
     {IDI_MAX_NORMAL, IDI_MAX_HOVER, IDI_MAX_PRESSED},
     {IDI_CLOSE_NORMAL, IDI_CLOSE_HOVER, IDI_CLOSE_PRESSED}},
    kFrameCaptionMetrics};

}  // namespace

MainFrame::MainFrame() : caption_(kCaptionStyle) {}

MainFrame::~MainFrame() {
    if (Handle()) ::DestroyWindow(Handle());
    if (bigImages_) ::ImageList_Destroy(bigImages_);
}

int MainFrame::Scaled(int pixelsAt96) const { return ::MulDiv(pixelsAt96, dpi_, 96); }

bool MainFrame::CreateFrame() {
    HMODULE module = ::GetModuleHandleW(nullptr);
    corva::ui::WindowClass wc;
    wc.name = kClassName;
    wc.style = CS_DBLCLKS;
    wc.icon = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(128), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    wc.smallIcon = static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(IDI_SMALL), IMAGE_ICON,
                                                   ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                   LR_SHARED));
    wc.background = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wchar_t title[64] = {};
    if (!::LoadStringW(module, IDR_MAINFRAME, title, 64)) lstrcpynW(title, kProductName, 64);
    corva::ui::WindowPlacement where;
    where.style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    where.x = 0;
    where.y = 0;
    where.width = kMinTrackWidth;
    where.height = kMinTrackHeight;
    if (!Create(wc, title, where)) return false;
    accelerators_ = ::LoadAcceleratorsW(module, MAKEINTRESOURCEW(IDR_MAINFRAME));
    if (MessageLoop* loop = MessageLoop::Current()) {
        loop->SetFilter([this](MSG& msg) { return PreTranslate(msg); });
        loop->AddIdleHandler([this] { OnFirstIdle(); });
    }
    return true;
}

bool MainFrame::PreTranslate(MSG& msg) {
    if (!Handle() || !accelerators_) return false;
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    // Only keys meant for this window or its children.
    if (msg.hwnd != Handle() && !::IsChild(Handle(), msg.hwnd)) return false;
    if (::TranslateAcceleratorW(Handle(), accelerators_, &msg)) return true;
    // Tab and Shift+Tab move between the folder tree and the file list.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && ::GetKeyState(VK_CONTROL) >= 0 &&
        ::GetKeyState(VK_MENU) >= 0) {
        const HWND focus = ::GetFocus();
        if (focus == tree_ || focus == list_ || ::IsChild(list_, focus)) {
            ::SetFocus(focus == tree_ ? list_ : tree_);
            return true;
        }
    }
    // Alt with a menu letter opens that menu of the bar, whichever child
    // has the focus.
    if (msg.message == WM_SYSCHAR && !commandBar_.MenuOpen()) {
        return commandBar_.OpenMenuByLetter(static_cast<wchar_t>(msg.wParam));
    }
    return false;
}

// ------------------------------------------------------------ creation

bool MainFrame::OnCreate(const CREATESTRUCTW&) {
    dpi_ = WindowDpi(Handle());
    splitterPos_ = Scaled(kSplitterStart);
    caption_.Attach(Handle());
    stripMenu_.Reset(LoadProgramBitmap(IDB_STRIP_MENU));
    stripToolbar_.Reset(LoadProgramBitmap(IDB_STRIP_TOOLBAR));
    if (!CreateMenuBar() || !CreateBigToolbar() || !CreateRebar()) return false;
    if (!status_.Create(Handle(), IDC_STATUS_BAR, stripMenu_.Get())) return false;
    SetStatusText(CommandString(IDS_READY));
    if (!CreatePanes()) return false;
    Layout();
    UpdateMenuMarks();
    // Part of the start-up places the window for good; until then it sits
    // centred at its smallest size.
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ::SetWindowPos(Handle(), nullptr, work.left + (work.right - work.left - kMinTrackWidth) / 2,
                   work.top + (work.bottom - work.top - kMinTrackHeight) / 2, kMinTrackWidth, kMinTrackHeight,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

bool MainFrame::CreateMenuBar() {
    menu_.Reset(::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
    if (!menu_) return false;
    SetMenuImages();
    // The bar is made a child of the rebar once that exists; until then of
    // the frame.
    return commandBar_.Create(Handle(), Handle(), menu_.Get(), IDC_COMMAND_BAR);
}

void MainFrame::SetMenuImages() {
    SIZE cell{16, 16};
    const std::vector<int> order = ToolbarCommands(IDR_MENU_IMAGE_ORDER, &cell);
    win::UniqueBitmap small(LoadProgramBitmap(IDB_MENU_IMAGES));
    win::UniqueBitmap large(LoadProgramBitmap(IDB_MENU_IMAGES_LARGE));
    menuImages_.Attach(menu_.Get(), order, small.Get(), large.Get(), dpi_);
}

bool MainFrame::CreateBigToolbar() {
    bigToolbar_ = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, L"",
                                    WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | TBSTYLE_FLAT |
                                        TBSTYLE_LIST | TBSTYLE_TRANSPARENT | TBSTYLE_TOOLTIPS | CCS_NODIVIDER |
                                        CCS_NORESIZE | CCS_NOPARENTALIGN,
                                    0, 0, 0, 0, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_BIG_TOOLBAR)),
                                    ::GetModuleHandleW(nullptr), nullptr);
    if (!bigToolbar_) return false;
    ::SendMessageW(bigToolbar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SIZE cell{32, 32};
    const std::vector<int> commands = ToolbarCommands(IDR_BIG_TOOLBAR, &cell);
    const int size = Scaled(cell.cx);
    HBITMAP strip = ScaledBitmap(LoadProgramBitmap(IDB_TOOLBAR_BIG), dpi_);
    bigImages_ = ::ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 3, 0);
    if (bigImages_ && strip) ::ImageList_AddMasked(bigImages_, strip, RGB(255, 255, 255));
    if (strip) ::DeleteObject(strip);
    ::SendMessageW(bigToolbar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(bigImages_));
    ::SendMessageW(bigToolbar_, TB_SETHOTIMAGELIST, 0, reinterpret_cast<LPARAM>(bigImages_));
    ::SendMessageW(bigToolbar_, TB_SETDISABLEDIMAGELIST, 0, reinterpret_cast<LPARAM>(bigImages_));
    std::vector<TBBUTTON> buttons;
    int image = 0;
    for (int command : commands) {
        TBBUTTON b{};
        if (command == 0) {
            b.iBitmap = Scaled(8);
            b.fsStyle = BTNS_SEP;
        } else {
            b.iBitmap = image++;
            b.idCommand = command;
            b.fsState = TBSTATE_ENABLED;
            b.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
            for (const BigButton& big : kBigButtons) {
                if (IdOf(big.command) == command) b.iString = reinterpret_cast<INT_PTR>(big.text);
            }
        }
        buttons.push_back(b);
    }
    ::SendMessageW(bigToolbar_, TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data()));
    ::SendMessageW(bigToolbar_, TB_AUTOSIZE, 0, 0);
    return true;
}

bool MainFrame::CreateRebar() {
    rebar_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, REBARCLASSNAMEW, L"",
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | RBS_VARHEIGHT |
                                   RBS_BANDBORDERS | RBS_AUTOSIZE | CCS_NODIVIDER | CCS_TOP,
                               0, 0, 0, 0, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_REBAR)),
                               ::GetModuleHandleW(nullptr), nullptr);
    if (!rebar_) return false;
    REBARINFO info{sizeof info};
    ::SendMessageW(rebar_, RB_SETBARINFO, 0, reinterpret_cast<LPARAM>(&info));
    ::SendMessageW(rebar_, RB_SETBKCOLOR, 0, kRebarBack);
    const struct {
        HWND child;
        SIZE ideal;
        int minHeight;
    } bands[] = {{commandBar_.Handle(), commandBar_.IdealSize(), Scaled(21)},
                 {bigToolbar_, SIZE{}, Scaled(43)}};
    for (UINT i = 0; i < 2; ++i) {
        HWND child = bands[i].child;
        ::SetParent(child, rebar_);
        ::SendMessageW(child, TB_SETPARENT, reinterpret_cast<WPARAM>(Handle()), 0);
        SIZE ideal = bands[i].ideal;
        if (child == bigToolbar_) ::SendMessageW(child, TB_GETMAXSIZE, 0, reinterpret_cast<LPARAM>(&ideal));
        REBARBANDINFOW band{sizeof band};
        band.fMask = RBBIM_STYLE | RBBIM_CHILD | RBBIM_CHILDSIZE | RBBIM_SIZE | RBBIM_ID | RBBIM_IDEALSIZE;
        band.fStyle = RBBS_NOGRIPPER | RBBS_BREAK;
        band.hwndChild = child;
        band.wID = i;
        band.cxMinChild = 0;
        band.cyMinChild = std::max<int>(ideal.cy, bands[i].minHeight);
        band.cx = ideal.cx;
        band.cxIdeal = ideal.cx;
        ::SendMessageW(rebar_, RB_INSERTBANDW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&band));
    }
    return true;
}

bool MainFrame::CreatePanes() {
    HMODULE module = ::GetModuleHandleW(nullptr);
    tree_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TVS_HASBUTTONS | TVS_HASLINES |
                                  TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                              0, 0, 0, 0, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FOLDER_TREE)),
                              module, nullptr);
    list_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | LVS_REPORT | LVS_SHOWSELALWAYS |
                                  LVS_SHAREIMAGELISTS | LVS_AUTOARRANGE,
                              0, 0, 0, 0, Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FILE_LIST)),
                              module, nullptr);
    if (!tree_ || !list_) return false;
    ::SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    browser_.Attach(Handle(), tree_, list_, dpi_);
    opened_.Attach(Handle(), [this] { RefillKeepingSelection(); });
    browser_.SetOpenQuery([this](const std::wstring& path) { return opened_.IsOpen(path); });
    if (!tips_.Create(Handle(), Handle(), IDC_TIPS_PANEL)) return false;
    ::ShowWindow(tips_.Handle(), SW_SHOWNOACTIVATE);
    return true;
}

// ------------------------------------------------------------ layout

void MainFrame::Layout() {
    RECT client{};
    ::GetClientRect(Handle(), &client);
    RECT r{};
    ::SendMessageW(rebar_, WM_SIZE, 0, 0);
    ::GetWindowRect(rebar_, &r);
    LayoutInput in;
    in.clientWidth = client.right;
    in.clientHeight = client.bottom;
    in.rebarHeight = r.bottom - r.top;
    in.statusShown = view_.statusBar;
    if (view_.statusBar) {
        ::SendMessageW(status_.Handle(), WM_SIZE, 0, 0);
        in.statusHeight = status_.Height();
    }
    in.splitterPos = splitterPos_;
    in.splitterBar = Scaled(4);
    in.tipsShown = view_.tipsPanel;
    in.tipsHeight = Scaled(kTipsPanelHeight);
    in.minPane = Scaled(kMinPaneWidth);
    layout_ = ComputeFrameLayout(in);
    auto place = [](HWND w, const Rect& rect) {
        ::SetWindowPos(w, nullptr, rect.left, rect.top, rect.Width(), rect.Height(), SWP_NOZORDER | SWP_NOACTIVATE);
    };
    place(tree_, layout_.tree);
    place(tips_.Handle(), layout_.tips);
    place(list_, layout_.list);
    RECT bar{layout_.splitterBar.left, layout_.splitterBar.top, layout_.splitterBar.right, layout_.splitterBar.bottom};
    ::InvalidateRect(Handle(), &bar, TRUE);
}

void MainFrame::OnResize(int, int) {
    if (rebar_) Layout();
}

void MainFrame::MoveSplitterForTesting(int position) {
    splitterPos_ = position;
    Layout();
    splitterPos_ = layout_.splitterPos;
}

// The splitter bar follows the mouse between a press on it and the release.
bool MainFrame::OnPointer(corva::ui::PointerAction action, POINT client) {
    const Rect& bar = layout_.splitterBar;
    switch (action) {
    case corva::ui::PointerAction::Press:
        if (client.x < bar.left || client.x >= bar.right || client.y < bar.top || client.y >= bar.bottom) return false;
        draggingSplitter_ = true;
        dragOffset_ = client.x - bar.left;
        ::SetCapture(Handle());
        return true;
    case corva::ui::PointerAction::Move:
        if (!draggingSplitter_) return false;
        MoveSplitterForTesting(client.x - dragOffset_);
        return true;
    case corva::ui::PointerAction::Release:
        if (!draggingSplitter_) return false;
        draggingSplitter_ = false;
        ::ReleaseCapture();
        return true;
    }
    return false;
}

void MainFrame::OnCaptureLost() { draggingSplitter_ = false; }

bool MainFrame::OnSetCursor(POINT client) {
    const Rect& bar = layout_.splitterBar;
    if (client.x < bar.left || client.x >= bar.right || client.y < bar.top || client.y >= bar.bottom) return false;
    ::SetCursor(::LoadCursorW(nullptr, IDC_SIZEWE));
    return true;
}

bool MainFrame::OnSizing(UINT edge, RECT& rect) {
    Rect r;
    r.left = rect.left, r.top = rect.top, r.right = rect.right, r.bottom = rect.bottom;
    if (!EnforceMinimumTrackSize(r, static_cast<SizingEdge>(edge))) return false;
    rect = RECT{r.left, r.top, r.right, r.bottom};
    return true;
}

bool MainFrame::OnMinMaxInfo(MINMAXINFO& info) {
    info.ptMinTrackSize = POINT{kMinTrackWidth, kMinTrackHeight};
    return true;
}

// The status bar tells what the highlighted menu item does.
bool MainFrame::OnMenuSelect(UINT item, UINT flags, HMENU menu) {
    if (flags == 0xFFFF && !menu) {
        SetStatusText(CommandString(IDS_READY));
    } else if (flags & (MF_POPUP | MF_SEPARATOR)) {
        SetStatusText(L"");
    } else {
        SetStatusText(StatusTextOf(CommandString(static_cast<int>(item))));
    }
    return true;
}

// ------------------------------------------------------------ painting

void MainFrame::PaintBandStrip(HDC dc, HWND child, int band) {
    HBITMAP strip = band == 0 ? stripMenu_.Get() : stripToolbar_.Get();
    RECT bandRect{}, childRect{};
    if (!strip || !::SendMessageW(rebar_, RB_GETRECT, band, reinterpret_cast<LPARAM>(&bandRect))) return;
    ::GetWindowRect(child, &childRect);
    ::MapWindowPoints(HWND_DESKTOP, rebar_, reinterpret_cast<POINT*>(&childRect), 2);
    RECT dest{bandRect.left - childRect.left, bandRect.top - childRect.top, bandRect.right - childRect.left,
              bandRect.bottom - childRect.top};
    StretchBitmap(dc, dest, strip);
}

LRESULT MainFrame::OnCustomDraw(const NMCUSTOMDRAW& draw) {
    const HWND from = draw.hdr.hwndFrom;
    if (from == rebar_) {
        if (draw.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
        if (draw.dwDrawStage == CDDS_ITEMPREPAINT) {
            StretchBitmap(draw.hdc, draw.rc, draw.dwItemSpec == 0 ? stripMenu_.Get() : stripToolbar_.Get());
        }
        return CDRF_DODEFAULT;
    }
    if (from == commandBar_.Handle() || from == bigToolbar_) {
        if (draw.dwDrawStage == CDDS_PREPAINT) PaintBandStrip(draw.hdc, from, from == bigToolbar_ ? 1 : 0);
        return CDRF_DODEFAULT;
    }
    return CDRF_DODEFAULT;
}

// ------------------------------------------------------------ messages

bool MainFrame::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
    if (caption_.OnMessage(message, wParam, lParam, result)) return true;
    switch (message) {
    case WM_TIMER:
        if (wParam != kOpenWatchTimer) return false;
        opened_.OnTimer();
        *result = 0;
        return true;
    case kOpenFinished:
        opened_.OnFinished();
        *result = 0;
        return true;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_KEYMENU) {
            if (lParam == 0 || lParam == L' ') return false;  // the system menu
            if (commandBar_.OpenMenuByLetter(static_cast<wchar_t>(lParam))) {
                *result = 0;
                return true;
            }
            *result = 0;
            return true;
        }
        return false;
    case WM_EXITMENULOOP:
        SetStatusText(CommandString(IDS_READY));
        return false;
    case WM_MEASUREITEM:
        if (wParam == 0 && menuImages_.Measure(*reinterpret_cast<MEASUREITEMSTRUCT*>(lParam))) {
            *result = TRUE;
            return true;
        }
        return false;
    case WM_DRAWITEM:
        if (wParam == 0 && menuImages_.Draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam))) {
            *result = TRUE;
            return true;
        }
        return false;
    case WM_ACTIVATE:
        // The pane that had the keyboard focus gets it back when the window
        // is active again (after a dialog, or another program).
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = ::GetFocus();
            if (focus && ::IsChild(Handle(), focus)) focusWhenInactive_ = focus;
            return false;
        }
        if (HIWORD(wParam)) return false;  // minimised
        ::SetFocus(focusWhenInactive_ && ::IsWindow(focusWhenInactive_) ? focusWhenInactive_ : list_);
        *result = 0;
        return true;
    default:
        return false;
    }
}

bool MainFrame::OnNotify(const NMHDR& header, LRESULT* result) {
    if (commandBar_.OnNotify(header, result)) return true;
    if (browser_.OnNotify(header, result)) return true;
    if (header.code == static_cast<UINT>(NM_CUSTOMDRAW)) {
        *result = OnCustomDraw(reinterpret_cast<const NMCUSTOMDRAW&>(header));
        return true;
    }
    if (header.code == static_cast<UINT>(TTN_GETDISPINFOW)) {
        auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header));
        static thread_local std::wstring tip;
        tip = TooltipOf(CommandString(static_cast<int>(info.hdr.idFrom)));
        info.lpszText = const_cast<wchar_t*>(tip.c_str());
        *result = 0;
        return true;
    }
    if (header.hwndFrom == rebar_ && header.code == static_cast<UINT>(RBN_HEIGHTCHANGE)) {
        Layout();
        *result = 0;
        return true;
    }
    return false;
}

void MainFrame::OnDestroy() {
    if (MessageLoop* loop = MessageLoop::Current()) loop->ClearHandlers();
    ::KillTimer(Handle(), kOpenWatchTimer);
    browser_.Clear();
    password_.Wipe();
    ::PostQuitMessage(1);
}

// ------------------------------------------------------------ commands

bool MainFrame::OnCommand(int id, int, HWND control) {
    // Notifications of the panes are theirs; commands come from menus,
    // keys, the toolbar (whose handle is the control) and posted messages.
    // An id that names no command is taken and dropped.
    if (control && control != bigToolbar_ && control != commandBar_.Handle()) return false;
    if (const std::optional<Command> command = CommandOfId(id)) RunCommand(*command);
    return true;
}

void MainFrame::RunCommand(Command command) {
    if (observer_) observer_(IdOf(command));
    switch (command) {
    case Command::Exit:
        ::PostMessageW(Handle(), WM_CLOSE, 0, 0);
        break;
    case Command::Lock:
        RunBatchCommand(BatchKind::Lock);
        break;
    case Command::Unlock:
        RunBatchCommand(BatchKind::Unlock);
        break;
    case Command::Shred:
        RunBatchCommand(BatchKind::Shred);
        break;
    case Command::Open:
        RunOpenCommand();
        break;
    case Command::SelectAll:
        browser_.SelectAllRows();
        FocusList();
        break;
    case Command::StatusBar:
        ToggleStatusBar();
        break;
    case Command::TipsPanel:
        ToggleTipsPanel();
        break;
    case Command::LargeIcons:
    case Command::SmallIcons:
    case Command::List:
    case Command::Details:
        SetViewMode(command);
        break;
    case Command::Refresh:
        RefreshViews();
        break;
    case Command::ChangePassword: {
        ChangePasswordDialog dialog;
        if (dialog.ShowModal(Handle()) == IDOK) TakeNewPassword(dialog.StoredPassword());
        FocusList();
        break;
    }
    case Command::ForgotPassword: {
        corva::SecretText stored;
        ForgotPasswordCommand(Handle(), SetupWizardHost::Desktop, &stored);
        TakeNewPassword(stored);
        FocusList();
        break;
    }
    case Command::About:
        ShowAbout();
        FocusList();
        break;
    default: {
        const std::wstring page = HelpPageOf(command);
        if (!page.empty()) OpenHelpPage(Handle(), page);
        break;
    }
    }
}

void MainFrame::TakeNewPassword(corva::SecretText& stored) {
    if (stored.Empty()) return;
    ReplaceStartupPassword(stored);
    password_ = corva::SecretText(stored.Text());
    opened_.UsePassword(password_);
    stored.Wipe();
}

void MainFrame::FocusList() {
    if (::GetActiveWindow() == Handle()) ::SetFocus(list_);
    focusWhenInactive_ = list_;
}

void MainFrame::RefreshViews() {
    // The tree first: a folder gone from it may take the list with it.
    const std::vector<std::wstring> selected = browser_.SelectedRowNames();
    const std::wstring focused = browser_.FocusedRowName();
    browser_.RefreshTree();
    browser_.Refill();
    browser_.SelectRowsNamed(selected, focused, false);
}

void MainFrame::ToggleStatusBar() {
    ApplyViewCommand(view_, Command::StatusBar);
    ::ShowWindow(status_.Handle(), view_.statusBar ? SW_SHOWNOACTIVATE : SW_HIDE);
    UpdateMenuMarks();
    Layout();
}

void MainFrame::ToggleTipsPanel() {
    // The panel's own visibility decides, as the link and the menu item
    // may both ask.
    view_.tipsPanel = !::IsWindowVisible(tips_.Handle());
    ::ShowWindow(tips_.Handle(), view_.tipsPanel ? SW_SHOWNOACTIVATE : SW_HIDE);
    UpdateMenuMarks();
    Layout();
}

void MainFrame::SetViewMode(Command command) {
    const ViewMode before = view_.mode;
    ApplyViewCommand(view_, command);
    UpdateMenuMarks();
    if (view_.mode == before) return;
    DWORD type = LVS_REPORT;
    switch (view_.mode) {
    case ViewMode::LargeIcons: type = LVS_ICON; break;
    case ViewMode::SmallIcons: type = LVS_SMALLICON; break;
    case ViewMode::List: type = LVS_LIST; break;
    case ViewMode::Details: type = LVS_REPORT; break;
    }
    const LONG_PTR style = ::GetWindowLongPtrW(list_, GWL_STYLE);
    ::SetWindowLongPtrW(list_, GWL_STYLE, (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | type);
    // The rows are placed anew for the new view and the whole list is
    // painted again, so that nothing of the old view stays on the screen.
    if (type == LVS_ICON || type == LVS_SMALLICON) ListView_Arrange(list_, LVA_DEFAULT);
    ::RedrawWindow(list_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
}

void MainFrame::UpdateMenuMarks() {
    HMENU menu = menu_.Get();
    ::CheckMenuItem(menu, IdOf(Command::StatusBar), MF_BYCOMMAND | (view_.statusBar ? MF_CHECKED : MF_UNCHECKED));
    ::CheckMenuItem(menu, IdOf(Command::TipsPanel), MF_BYCOMMAND | (view_.tipsPanel ? MF_CHECKED : MF_UNCHECKED));
    HMENU view = ::GetSubMenu(menu, 2);
    int firstPos = -1, lastPos = -1, selectedPos = -1;
    const int count = view ? ::GetMenuItemCount(view) : 0;
    for (int i = 0; i < count; ++i) {
        ViewMode mode;
        const std::optional<Command> command = CommandOfId(static_cast<int>(::GetMenuItemID(view, i)));
        if (!command || !ViewModeOfCommand(*command, &mode)) continue;
        if (firstPos < 0) firstPos = i;
        lastPos = i;
        if (mode == view_.mode) selectedPos = i;
    }
    if (view && firstPos >= 0 && selectedPos >= 0) {
        ::CheckMenuRadioItem(view, firstPos, lastPos, selectedPos, MF_BYPOSITION);
    }
}

void MainFrame::SetStatusText(const std::wstring& text) { status_.SetText(text); }

std::wstring MainFrame::CommandString(int id) const {
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || !text) return std::wstring();
    return std::wstring(text, length);
}

void MainFrame::ShowAbout() {
    AboutBox about;
    about.ShowModal(Handle());
}

bool MainFrame::HoldPassword() {
    if (password_.Empty()) password_ = corva::SecretText(StartupPassword().Text());
    return !password_.Empty();
}

void MainFrame::RunBatchCommand(BatchKind kind) {
    // The batches work on the password field, filled from the start-up
    // password the first time and replaced when the user sets a new one.
    if (!HoldPassword()) return;
    if (browser_.SelectedCount() == 0) return;
    // The paths are taken before any question, and the questions are modal
    // to this window: the batch acts on exactly what the user confirmed,
    // whatever was clicked meanwhile.
    std::vector<std::wstring> paths;
    int firstRow = -1;
    if (!browser_.GatherSelectedPaths(&paths, &firstRow) || paths.empty()) return;
    const std::vector<std::wstring> selected = browser_.SelectedRowNames();
    if (kind == BatchKind::Shred && !corva::ui::ConfirmShred(Handle(), paths)) {
        FocusList();
        return;
    }
    if (kind == BatchKind::Lock && !ConfirmLargeLock(Handle(), paths)) {
        FocusList();
        return;
    }
    {
        auto batch = corva::ui::MakeBatch(kind, paths, password_, wipeLibrary_);
        if (batchHook_) batch->SetAfterPathHookForTesting(batchHook_, batchHookContext_);
        corva::ui::RunBatch(::GetActiveWindow(), *batch);
    }
    // The same items stay selected, found by their names after the batch
    // (a locked file under its locked name); nothing after a shred.
    browser_.Refill();
    const auto rowExists = browser_.RowLookup();
    std::vector<std::wstring> after;
    for (const std::wstring& name : selected) {
        std::wstring now = RowNameAfterBatch(kind, name, rowExists);
        if (!now.empty()) after.push_back(std::move(now));
    }
    browser_.SelectRowsNamed(after, after.empty() ? std::wstring() : after.front(), true);
    FocusList();
}

void MainFrame::OnFirstIdle() {
    if (treeBuilt_) return;
    treeBuilt_ = true;
    BuildFolderTree();
    // Working copies a run that stopped left behind, now that the password
    // is known.
    if (HoldPassword()) opened_.Recover(password_);
}

void MainFrame::RunOpenCommand() {
    if (!HoldPassword()) return;
    std::vector<std::wstring> paths;
    int firstRow = -1;
    if (!browser_.GatherSelectedPaths(&paths, &firstRow) || paths.size() != 1 || !HasLockedExtension(paths[0])) {
        ::MessageBoxW(Handle(), L"Select one locked file to open.", L"Corvastine", MB_OK | MB_ICONINFORMATION);
        FocusList();
        return;
    }
    opened_.Open(paths[0], password_);
    FocusList();
}

void MainFrame::RefillKeepingSelection() {
    const std::vector<std::wstring> names = browser_.SelectedRowNames();
    const std::wstring focus = browser_.FocusedRowName();
    browser_.Refill();
    browser_.SelectRowsNamed(names, focus, false);
}

void MainFrame::BuildFolderTree() { browser_.BuildTree(); }

}  // namespace corva::desktop
