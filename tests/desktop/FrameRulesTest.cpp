// The main window's rules: start-up rectangle, minimum size while dragging,
// layout and splitter, caption hit-testing and button images, view state
// and the texts taken from string resources; the commands' ids.
#include <gtest/gtest.h>

#include "FrameRules.h"

namespace corva::desktop {
namespace {

TEST(InitialWindowRect, SmallScreensAreFilledFromTheTopLeftCorner) {
    EXPECT_EQ(InitialWindowRect(800, 600), (Rect{0, 0, 800, 600}));
    EXPECT_EQ(InitialWindowRect(640, 480), (Rect{0, 0, 640, 480}));
}

TEST(InitialWindowRect, TheSizeGrowsWithTheScreensDotsPerInch) {
    EXPECT_EQ(InitialWindowRect(1920, 1200, 144), (Rect{285, 150, 1635, 1050}));
    EXPECT_EQ(InitialWindowRect(1280, 1024, 144), (Rect{0, 62, 1280, 962}));
    EXPECT_EQ(InitialWindowRect(1280, 1024, 120), (Rect{78, 137, 1203, 887}));
    EXPECT_EQ(InitialWindowRect(1280, 1024, 72), (Rect{190, 212, 1090, 812})) << "never below 900 x 600";
}

TEST(InitialWindowRect, LargeScreensGetTheWindowCentred) {
    EXPECT_EQ(InitialWindowRect(1280, 1024), (Rect{190, 212, 1090, 812}));
    EXPECT_EQ(InitialWindowRect(1920, 1080), (Rect{510, 240, 1410, 840}));
    // Odd sizes: each half is truncated on its own.
    EXPECT_EQ(InitialWindowRect(1025, 769), (Rect{62, 84, 962, 684}));
    // One dimension small, the other large.
    EXPECT_EQ(InitialWindowRect(850, 1000), (Rect{0, 200, 850, 800}));
}

struct EdgeCase {
    SizingEdge edge;
    Rect expected;
};

TEST(MinimumTrackSize, TheDraggedEdgeIsMovedOut) {
    const Rect tooSmall{100, 100, 400, 300};  // 300 x 200
    const EdgeCase cases[] = {
        {SizingEdge::Right, {100, 100 + 200 - 480, 740, 300}},
        {SizingEdge::TopRight, {100, 300 - 480, 740, 300}},
        {SizingEdge::BottomRight, {100, 100, 740, 580}},
        {SizingEdge::Left, {400 - 640, 300 - 480, 400, 300}},
        {SizingEdge::TopLeft, {400 - 640, 300 - 480, 400, 300}},
        {SizingEdge::BottomLeft, {400 - 640, 100, 400, 580}},
        {SizingEdge::Top, {400 - 640, 300 - 480, 400, 300}},
        {SizingEdge::Bottom, {400 - 640, 100, 400, 580}},
    };
    for (const EdgeCase& c : cases) {
        Rect r = tooSmall;
        EXPECT_TRUE(EnforceMinimumTrackSize(r, c.edge)) << static_cast<int>(c.edge);
        EXPECT_EQ(r, c.expected) << static_cast<int>(c.edge);
        EXPECT_EQ(r.Width(), kMinTrackWidth);
        EXPECT_EQ(r.Height(), kMinTrackHeight);
    }
}

TEST(MinimumTrackSize, LargeEnoughRectanglesAreLeftAlone) {
    Rect r{10, 20, 10 + 640, 20 + 480};
    EXPECT_FALSE(EnforceMinimumTrackSize(r, SizingEdge::Left));
    EXPECT_EQ(r, (Rect{10, 20, 650, 500}));
    // Only the dimension that is too small changes.
    Rect narrow{10, 20, 500, 900};
    EXPECT_TRUE(EnforceMinimumTrackSize(narrow, SizingEdge::Left));
    EXPECT_EQ(narrow, (Rect{500 - 640, 20, 500, 900}));
}

TEST(Splitter, NeitherPaneGetsNarrowerThanTheMinimum) {
    EXPECT_EQ(ClampSplitter(304, 900, 4), 304);
    EXPECT_EQ(ClampSplitter(100, 900, 4), 304);         // left pane too narrow
    EXPECT_EQ(ClampSplitter(700, 900, 4), 900 - 4 - 304);  // right pane too narrow
    EXPECT_EQ(ClampSplitter(400, 900, 4), 400);
    // No room for both: the left pane keeps its minimum.
    EXPECT_EQ(ClampSplitter(400, 500, 4), 304);
}

TEST(Layout, RebarOnTopStatusBarAtTheBottomPanesBetween) {
    LayoutInput in;
    in.clientWidth = 884;
    in.clientHeight = 540;
    in.rebarHeight = 70;
    in.statusHeight = 22;
    const FrameLayout out = ComputeFrameLayout(in);
    EXPECT_EQ(out.rebar, (Rect{0, 0, 884, 70}));
    EXPECT_EQ(out.status, (Rect{0, 518, 884, 540}));
    EXPECT_EQ(out.splitterPos, 304);
    EXPECT_EQ(out.tree, (Rect{0, 70, 304, 518 - 254}));
    EXPECT_EQ(out.tips, (Rect{0, 518 - 254, 304, 518}));
    EXPECT_EQ(out.splitterBar, (Rect{304, 70, 308, 518}));
    EXPECT_EQ(out.list, (Rect{308, 70, 884, 518}));
}

TEST(Layout, HiddenPiecesGiveTheirSpaceAway) {
    LayoutInput in;
    in.clientWidth = 884;
    in.clientHeight = 540;
    in.rebarHeight = 70;
    in.statusHeight = 22;
    in.statusShown = false;
    in.tipsShown = false;
    const FrameLayout out = ComputeFrameLayout(in);
    EXPECT_EQ(out.tree, (Rect{0, 70, 304, 540}));
    EXPECT_EQ(out.tips.Height(), 0);
    EXPECT_EQ(out.list, (Rect{308, 70, 884, 540}));
}

TEST(Layout, TheLeftPaneKeepsItsWidthWhenTheWindowGrows) {
    LayoutInput in;
    in.clientWidth = 700;
    in.clientHeight = 500;
    in.splitterPos = 350;
    EXPECT_EQ(ComputeFrameLayout(in).tree.Width(), 350);
    in.clientWidth = 1400;
    EXPECT_EQ(ComputeFrameLayout(in).tree.Width(), 350);
    EXPECT_EQ(ComputeFrameLayout(in).list.Width(), 1400 - 354);
}

TEST(Layout, ATooShortPaneAreaGivesTheTipsPanelWhatThereIs) {
    LayoutInput in;
    in.clientWidth = 700;
    in.clientHeight = 200;
    in.rebarHeight = 70;
    in.statusHeight = 22;
    const FrameLayout out = ComputeFrameLayout(in);
    EXPECT_EQ(out.tips, (Rect{0, 70, 304, 178}));
    EXPECT_EQ(out.tree.Height(), 0);
}

// Window right edge 1000, top edge 100, frame width 4, caption ends 23
// pixels below the top.
CaptionHit Hit(int x, int y) { return CaptionHitTest(x, y, 1000, 100, 4, 23, kFrameCaptionMetrics); }

TEST(CaptionHitTest, ButtonsLieInTheirColumnsOfTheButtonRow) {
    EXPECT_EQ(Hit(1000 - 105, 102), CaptionHit::Minimise);
    EXPECT_EQ(Hit(1000 - 80, 116), CaptionHit::Minimise);
    EXPECT_EQ(Hit(1000 - 79, 110), CaptionHit::Maximise);
    EXPECT_EQ(Hit(1000 - 55, 110), CaptionHit::Maximise);
    EXPECT_EQ(Hit(1000 - 54, 110), CaptionHit::Close);
    EXPECT_EQ(Hit(1000 - 12, 110), CaptionHit::Close);
    EXPECT_EQ(Hit(1000 - 11, 110), CaptionHit::Caption);  // between close and the frame
}

TEST(CaptionHitTest, OutsideTheButtonRowTheSystemOrTheCaptionAnswers) {
    EXPECT_EQ(Hit(1000 - 106, 110), CaptionHit::Default);  // left of the row
    EXPECT_EQ(Hit(1000 - 4, 110), CaptionHit::Default);    // on the right frame
    EXPECT_EQ(Hit(1000 - 60, 101), CaptionHit::Default);   // on the top line
    EXPECT_EQ(Hit(1000 - 60, 117), CaptionHit::Caption);   // below the buttons
    EXPECT_EQ(Hit(1000 - 60, 122), CaptionHit::Caption);
    // Below the caption the client area and the bottom border keep their
    // own meaning.
    EXPECT_EQ(Hit(1000 - 60, 123), CaptionHit::Default);
    EXPECT_EQ(Hit(1000 - 60, 600), CaptionHit::Default);
}

TEST(CaptionHitTest, ScaledMetricsGrowWithTheResolution) {
    const CaptionMetrics m = ScaledCaptionMetrics(144);
    EXPECT_EQ(m.minimiseFromRight, 158);
    EXPECT_EQ(m.closeSize, 72);
    EXPECT_EQ(CaptionHitTest(1000 - 158, 110, 1000, 100, 6, 36, m), CaptionHit::Minimise);
    EXPECT_EQ(CaptionHitTest(1000 - 159, 110, 1000, 100, 6, 36, m), CaptionHit::Default);
    const CaptionMetrics same = ScaledCaptionMetrics(96);
    EXPECT_EQ(same.minimiseFromRight, 105);
}

TEST(CaptionButtons, ImagesFollowHoverAndPress) {
    using B = CaptionButton;
    EXPECT_EQ(CaptionButtonImage(B::Close, B::None, B::None), ButtonImage::Normal);
    EXPECT_EQ(CaptionButtonImage(B::Close, B::Close, B::None), ButtonImage::Hover);
    EXPECT_EQ(CaptionButtonImage(B::Close, B::Close, B::Close), ButtonImage::Pressed);
    // Pressed but the mouse moved off it: hover again.
    EXPECT_EQ(CaptionButtonImage(B::Close, B::None, B::Close), ButtonImage::Hover);
    // Another button holds the mouse.
    EXPECT_EQ(CaptionButtonImage(B::Close, B::Close, B::Minimise), ButtonImage::Normal);
    EXPECT_EQ(CaptionButtonImage(B::Close, B::Maximise, B::Close), ButtonImage::Normal);
    EXPECT_EQ(CaptionButtonImage(B::Minimise, B::Close, B::None), ButtonImage::Normal);
}

TEST(CaptionButtons, OnlyAReleaseOverThePressedButtonActs) {
    using B = CaptionButton;
    EXPECT_EQ(CaptionButtonReleased(B::Close, B::Close), B::Close);
    EXPECT_EQ(CaptionButtonReleased(B::Close, B::None), B::None);
    EXPECT_EQ(CaptionButtonReleased(B::Close, B::Minimise), B::None);
    EXPECT_EQ(CaptionButtonReleased(B::None, B::Close), B::None);
    EXPECT_EQ(ButtonOfHit(CaptionHit::Maximise), B::Maximise);
    EXPECT_EQ(ButtonOfHit(CaptionHit::Caption), B::None);
}

TEST(ViewState, StartsInDetailsWithBothPanelsShown) {
    const ViewState state;
    EXPECT_EQ(state.mode, ViewMode::Details);
    EXPECT_TRUE(state.statusBar);
    EXPECT_TRUE(state.tipsPanel);
}

TEST(ViewState, CommandsToggleAndSelect) {
    ViewState state;
    EXPECT_TRUE(ApplyViewCommand(state, Command::StatusBar));
    EXPECT_FALSE(state.statusBar);
    EXPECT_TRUE(ApplyViewCommand(state, Command::StatusBar));
    EXPECT_TRUE(state.statusBar);
    EXPECT_TRUE(ApplyViewCommand(state, Command::TipsPanel));
    EXPECT_FALSE(state.tipsPanel);

    EXPECT_TRUE(ApplyViewCommand(state, Command::LargeIcons));
    EXPECT_EQ(state.mode, ViewMode::LargeIcons);
    EXPECT_FALSE(ApplyViewCommand(state, Command::LargeIcons));  // already shown
    EXPECT_TRUE(ApplyViewCommand(state, Command::List));
    EXPECT_EQ(state.mode, ViewMode::List);
    EXPECT_TRUE(ApplyViewCommand(state, Command::SmallIcons));
    EXPECT_EQ(state.mode, ViewMode::SmallIcons);
    EXPECT_TRUE(ApplyViewCommand(state, Command::Details));
    EXPECT_EQ(state.mode, ViewMode::Details);
    EXPECT_FALSE(ApplyViewCommand(state, Command::Lock));  // not a View command
}

TEST(ViewState, ModesAndCommandsMapBothWays) {
    for (Command cmd : {Command::LargeIcons, Command::SmallIcons, Command::List, Command::Details}) {
        ViewMode mode;
        ASSERT_TRUE(ViewModeOfCommand(cmd, &mode));
        EXPECT_EQ(CommandOfViewMode(mode), cmd);
    }
    ViewMode unused;
    EXPECT_FALSE(ViewModeOfCommand(Command::Refresh, &unused));
    EXPECT_FALSE(ViewModeOfCommand(Command::StatusBar, &unused));
}

TEST(Commands, MenuIdsNameTheirCommandsAndOtherNumbersNone) {
    EXPECT_EQ(CommandOfId(ID_EDIT_LOCK), Command::Lock);
    EXPECT_EQ(CommandOfId(ID_VIEW_LIST), Command::List);
    EXPECT_EQ(CommandOfId(ID_APP_EXIT), Command::Exit);
    EXPECT_EQ(CommandOfId(ID_EDIT_SELECT_ALL), Command::SelectAll);
    // Numbers next to the View menu's modes, the spare menu image, a
    // separator's 0 and a popup's -1 name no command.
    for (int id : {101, 106, ID_MENU_IMAGE_SPARE, 0, -1, 0xFFFF}) EXPECT_EQ(CommandOfId(id), std::nullopt) << id;
}

TEST(CommandTexts, StatusTextAndTooltipSplitAtTheLineBreak) {
    const std::wstring lock = L"Lock Selected Files.\nLock selected file and encrypt its content";
    EXPECT_EQ(StatusTextOf(lock), L"Lock Selected Files.");
    EXPECT_EQ(TooltipOf(lock), L"Lock selected file and encrypt its content");
    EXPECT_EQ(StatusTextOf(L"Ready"), L"Ready");
    EXPECT_EQ(TooltipOf(L"Ready"), L"");
    EXPECT_EQ(StatusTextOf(L""), L"");
    EXPECT_EQ(TooltipOf(L"a\nb\nc"), L"b\nc");
}

TEST(HelpPages, EachHelpCommandHasItsOwnPage) {
    const Command commands[] = {Command::QuickStart, Command::ProductInfo, Command::CompanyInfo,
                                Command::Support,    Command::Feedback,    Command::LearnMore};
    std::vector<std::wstring> seen;
    for (Command cmd : commands) {
        const std::wstring page = HelpPageOf(cmd);
        ASSERT_FALSE(page.empty()) << IdOf(cmd);
        EXPECT_EQ(page.substr(page.size() - 5), L".html");
        for (const auto& other : seen) EXPECT_NE(page, other);
        seen.push_back(page);
    }
    EXPECT_EQ(HelpPageOf(Command::About), L"");
    EXPECT_EQ(HelpPageOf(Command::Lock), L"");
}

}  // namespace
}  // namespace corva::desktop
