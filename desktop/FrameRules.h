// The main window's rules as plain functions over plain values, so that
// they run and are tested on any platform: where the window opens, how its
// client area is divided, how far a drag may shrink it, where the splitter
// may go, which caption button a point hits and which image a button
// shows, the view state behind the View menu, and the texts taken from
// string resources. Nothing here touches a window; nothing fails.
#pragma once

#include <string>

#include "CaptionLayout.h"
#include "Command.h"

namespace corva::desktop {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const Rect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

// ------------------------------------------------------------ start-up place
// The window's first rectangle on a screen of the given size:
// min(900, width) x min(600, height), centred (halves truncated toward 0).
// On a screen of more than 96 dots per inch the 900 x 600 grow with it, as
// the toolbar, the tips panel and the fonts do.
Rect InitialWindowRect(int screenWidth, int screenHeight, int dpi = 96);

// ------------------------------------------------------------ minimum size
constexpr int kMinTrackWidth = 640;
constexpr int kMinTrackHeight = 480;

// The border being dragged (the values WM_SIZING carries: WMSZ_LEFT = 1 ...
// WMSZ_BOTTOMRIGHT = 8).
enum class SizingEdge { Left = 1, Right, Top, TopLeft, TopRight, Bottom, BottomLeft, BottomRight };

// Keeps a rectangle being dragged at least kMinTrackWidth x kMinTrackHeight
// by moving the dragged edge out: a right edge (right, top-right,
// bottom-right) sets right = left + 640, any other edge left = right - 640;
// a bottom edge (bottom, bottom-left, bottom-right) sets bottom = top +
// 480, any other top = bottom - 480. True when the rectangle changed.
bool EnforceMinimumTrackSize(Rect& rect, SizingEdge edge);

// ------------------------------------------------------------ layout
constexpr int kSplitterStart = 304;   // left pane width at creation
constexpr int kMinPaneWidth = 304;    // neither pane gets narrower
constexpr int kTipsPanelHeight = 254; // lower part of the left pane

struct LayoutInput {
    int clientWidth = 0, clientHeight = 0;
    int rebarHeight = 0;
    int statusHeight = 0;     // height of the status bar when shown
    bool statusShown = true;
    int splitterPos = kSplitterStart;  // left pane width
    int splitterBar = 4;      // width of the bar between the panes
    bool tipsShown = true;
    int tipsHeight = kTipsPanelHeight;
    int minPane = kMinPaneWidth;
};

struct FrameLayout {
    Rect rebar, status, splitterBar, tree, tips, list;
    int splitterPos = 0;  // the left pane width actually used
};

// Rebar on top, status bar (when shown) at the bottom, the splitter's two
// panes in between: folder tree above the tips panel on the left, the file
// list on the right. A hidden tips panel gets height 0 and the tree the
// whole pane; a pane area too small for the tips panel gives it all the
// height there is.
FrameLayout ComputeFrameLayout(const LayoutInput& input);

// The left pane width the splitter may take for a wanted one: each pane at
// least minPane wide. When the area cannot hold both, the left pane keeps
// minPane and the right pane gets the rest.
int ClampSplitter(int wanted, int paneAreaWidth, int splitterBar, int minPane = kMinPaneWidth);

// ------------------------------------------------------------ caption
// The self-drawn caption is every program's (ui/CaptionLayout.h); the main
// window's buttons: minimise, maximise and close hanging from the top edge.
using corva::ui::ButtonImage;
using corva::ui::ButtonOfHit;
using corva::ui::CaptionButton;
using corva::ui::CaptionButtonImage;
using corva::ui::CaptionButtonReleased;
using corva::ui::CaptionHit;
using corva::ui::CaptionHitTest;
using corva::ui::CaptionMetrics;

constexpr CaptionMetrics kFrameCaptionMetrics{
    105, 79, 54,  // minimise, maximise and close from the right edge
    1,            // button top
    1, 16,        // button row: below the top line, down to 16
    12,           // the close button ends 12 from the right edge
    32, 32, 48,   // button sizes
    25, 6, 16};   // title x, icon x and icon size

// The main window's caption metrics scaled from 96 dots per inch to dpi.
inline CaptionMetrics ScaledCaptionMetrics(int dpi) { return corva::ui::ScaledCaptionMetrics(kFrameCaptionMetrics, dpi); }

// ------------------------------------------------------------ view state
enum class ViewMode { LargeIcons, SmallIcons, List, Details };

struct ViewState {
    ViewMode mode = ViewMode::Details;
    bool statusBar = true;
    bool tipsPanel = true;
};

// The view mode a command selects, when it is one of the four view modes.
bool ViewModeOfCommand(Command command, ViewMode* mode);
Command CommandOfViewMode(ViewMode mode);

// Applies a View command (status bar, tips panel, view modes) to the
// state. True when the state changed; choosing the mode already shown
// changes nothing.
bool ApplyViewCommand(ViewState& state, Command command);

// ------------------------------------------------------------ texts
// A command's status-bar text: its string up to the first line break.
std::wstring StatusTextOf(const std::wstring& resourceString);
// A command's tooltip: the text after the first line break (empty when
// there is none).
std::wstring TooltipOf(const std::wstring& resourceString);

// The help page a command opens (a file name in the "help" folder beside
// the program), or empty for any other command.
std::wstring HelpPageOf(Command command);

}  // namespace corva::desktop
