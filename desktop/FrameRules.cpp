#include "FrameRules.h"

#include <algorithm>

namespace corva::desktop {

Rect InitialWindowRect(int screenWidth, int screenHeight, int dpi) {
    const int scale = std::max(dpi, 96);
    const int w = std::min(900 * scale / 96, screenWidth);
    const int h = std::min(600 * scale / 96, screenHeight);
    Rect r;
    r.left = screenWidth / 2 - w / 2;
    r.top = screenHeight / 2 - h / 2;
    r.right = r.left + w;
    r.bottom = r.top + h;
    return r;
}

bool EnforceMinimumTrackSize(Rect& rect, SizingEdge edge) {
    bool changed = false;
    if (rect.Width() < kMinTrackWidth) {
        const bool rightEdge =
            edge == SizingEdge::Right || edge == SizingEdge::TopRight || edge == SizingEdge::BottomRight;
        if (rightEdge) rect.right = rect.left + kMinTrackWidth;
        else rect.left = rect.right - kMinTrackWidth;
        changed = true;
    }
    if (rect.Height() < kMinTrackHeight) {
        const bool bottomEdge =
            edge == SizingEdge::Bottom || edge == SizingEdge::BottomLeft || edge == SizingEdge::BottomRight;
        if (bottomEdge) rect.bottom = rect.top + kMinTrackHeight;
        else rect.top = rect.bottom - kMinTrackHeight;
        changed = true;
    }
    return changed;
}

int ClampSplitter(int wanted, int paneAreaWidth, int splitterBar, int minPane) {
    const int most = paneAreaWidth - splitterBar - minPane;
    int pos = std::min(wanted, most);
    return std::max(pos, minPane);
}

FrameLayout ComputeFrameLayout(const LayoutInput& in) {
    FrameLayout out;
    const int w = std::max(0, in.clientWidth);
    const int h = std::max(0, in.clientHeight);
    const int rebarH = std::min(std::max(0, in.rebarHeight), h);
    out.rebar = {0, 0, w, rebarH};
    int bottom = h;
    if (in.statusShown) {
        const int statusH = std::min(std::max(0, in.statusHeight), h - rebarH);
        out.status = {0, h - statusH, w, h};
        bottom = h - statusH;
    }
    const int top = rebarH;
    out.splitterPos = ClampSplitter(in.splitterPos, w, in.splitterBar, in.minPane);
    const int left = std::min(out.splitterPos, w);
    const int barRight = std::min(left + in.splitterBar, w);
    out.splitterBar = {left, top, barRight, bottom};
    const int paneH = bottom - top;
    const int tipsH = in.tipsShown ? std::min(std::max(0, in.tipsHeight), paneH) : 0;
    out.tree = {0, top, left, bottom - tipsH};
    out.tips = {0, bottom - tipsH, left, bottom};
    out.list = {barRight, top, std::max(barRight, w), bottom};
    return out;
}

bool ViewModeOfCommand(Command cmd, ViewMode* mode) {
    switch (cmd) {
    case Command::LargeIcons: *mode = ViewMode::LargeIcons; return true;
    case Command::SmallIcons: *mode = ViewMode::SmallIcons; return true;
    case Command::List: *mode = ViewMode::List; return true;
    case Command::Details: *mode = ViewMode::Details; return true;
    default: return false;
    }
}

Command CommandOfViewMode(ViewMode mode) {
    switch (mode) {
    case ViewMode::LargeIcons: return Command::LargeIcons;
    case ViewMode::SmallIcons: return Command::SmallIcons;
    case ViewMode::List: return Command::List;
    case ViewMode::Details: break;
    }
    return Command::Details;
}

bool ApplyViewCommand(ViewState& state, Command cmd) {
    ViewMode mode;
    if (ViewModeOfCommand(cmd, &mode)) {
        if (state.mode == mode) return false;
        state.mode = mode;
        return true;
    }
    if (cmd == Command::StatusBar) {
        state.statusBar = !state.statusBar;
        return true;
    }
    if (cmd == Command::TipsPanel) {
        state.tipsPanel = !state.tipsPanel;
        return true;
    }
    return false;
}

std::wstring StatusTextOf(const std::wstring& s) {
    const size_t br = s.find(L'\n');
    return br == std::wstring::npos ? s : s.substr(0, br);
}

std::wstring TooltipOf(const std::wstring& s) {
    const size_t br = s.find(L'\n');
    return br == std::wstring::npos ? std::wstring() : s.substr(br + 1);
}

std::wstring HelpPageOf(Command cmd) {
    switch (cmd) {
    case Command::QuickStart: return L"quickstart.html";
    case Command::ProductInfo: return L"features.html";
    case Command::CompanyInfo: return L"about.html";
    case Command::Support: return L"support.html";
    case Command::Feedback: return L"feedback.html";
    case Command::LearnMore: return L"faq.html";
    default: return std::wstring();
    }
}

}  // namespace corva::desktop
