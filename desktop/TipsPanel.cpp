#include "TipsPanel.h"

#include "DialogRouting.h"
#include "Drawing.h"
#include "FrameRules.h"
#include "Messages.h"
#include "resource.h"

namespace corva::desktop {

namespace {

// The face of the dialog's own font ("MS Shell Dlg" resolves to the
// system's dialog face).
void DialogFace(HWND dialog, wchar_t* face) {
    face[0] = 0;
    HFONT font = reinterpret_cast<HFONT>(::SendMessageW(dialog, WM_GETFONT, 0, 0));
    LOGFONTW lf{};
    if (font && ::GetObjectW(font, sizeof lf, &lf)) lstrcpynW(face, lf.lfFaceName, LF_FACESIZE);
    if (!face[0]) lstrcpynW(face, L"MS Shell Dlg", LF_FACESIZE);
}

}  // namespace

TipsPanel::~TipsPanel() {
    if (hwnd_ && ::IsWindow(hwnd_)) ::DestroyWindow(hwnd_);
}

bool TipsPanel::Create(HWND parent, HWND commandTarget, int id) {
    target_ = commandTarget;
    background_.Reset(ScaledBitmap(LoadProgramBitmap(IDB_TIPS_BACK), WindowDpi(parent)));
    HWND panel = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_TIPS), parent,
                                      &TipsPanel::Procedure, reinterpret_cast<LPARAM>(this));
    if (!panel) return false;
    ::SetWindowLongPtrW(panel, GWLP_ID, id);
    return true;
}

INT_PTR CALLBACK TipsPanel::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* created = message == WM_INITDIALOG ? reinterpret_cast<TipsPanel*>(lParam) : nullptr;
    return corva::ui::RouteToOwner(hwnd, message, wParam, lParam, created, &TipsPanel::hwnd_,
                                   &TipsPanel::Dispatch);
}

void TipsPanel::OnInit() {
    wchar_t face[LF_FACESIZE];
    DialogFace(hwnd_, face);
    titleFont_ = MakePointFont(hwnd_, 12, face);
    linkFont_ = MakePointFont(hwnd_, 8, face, true, true);
    ::SendDlgItemMessageW(hwnd_, IDC_TIPS_TITLE, WM_SETFONT, reinterpret_cast<WPARAM>(titleFont_.Get()), FALSE);
    for (int link : {IDC_TIPS_CLOSE, IDC_TIPS_LEARN_MORE}) {
        ::SendDlgItemMessageW(hwnd_, link, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont_.Get()), FALSE);
    }
}

bool TipsPanel::IsLink(HWND control) const {
    return control && (control == ::GetDlgItem(hwnd_, IDC_TIPS_CLOSE) ||
                       control == ::GetDlgItem(hwnd_, IDC_TIPS_LEARN_MORE));
}

INT_PTR TipsPanel::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInit();
        return FALSE;
    case WM_ERASEBKGND: {
        RECT client{};
        ::GetClientRect(hwnd_, &client);
        HDC dc = reinterpret_cast<HDC>(wParam);
        if (background_) DrawPictureExtended(dc, client, background_.Get());
        else ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_WINDOW));
        ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wParam);
        HWND control = reinterpret_cast<HWND>(lParam);
        ::SetBkMode(dc, TRANSPARENT);
        const int id = ::GetDlgCtrlID(control);
        ::SetTextColor(dc, id == IDC_TIPS_TITLE || IsLink(control) ? kAccent : ::GetSysColor(COLOR_WINDOWTEXT));
        return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
    }
    case WM_SETCURSOR:
        if (IsLink(reinterpret_cast<HWND>(wParam))) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
            ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        if (HIWORD(wParam) == STN_CLICKED) {
            if (LOWORD(wParam) == IDC_TIPS_CLOSE) {
                PostCommand(target_, Command::TipsPanel);
                return TRUE;
            }
            if (LOWORD(wParam) == IDC_TIPS_LEARN_MORE) {
                PostCommand(target_, Command::LearnMore);
                return TRUE;
            }
        }
        return FALSE;
    case WM_SIZE:
        // The stretched part of the picture depends on the width.
        ::InvalidateRect(hwnd_, nullptr, TRUE);
        return FALSE;
    default:
        return FALSE;
    }
}

}  // namespace corva::desktop
