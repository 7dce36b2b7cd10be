// The context menu's pure logic: its items and offsets, the id range it
// needs, the paths the commands act on, what each command does, the verb and
// copying into the shell's buffers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MenuModel.h"
#include "ShellResourceIds.h"

using namespace corva::shell;

TEST(MenuModel, SubmenuHoldsLockUnlockShredAtOffsets101To103WhateverTheSelection) {
    const std::vector<std::vector<std::wstring>> selections = {
        {}, {L"C:\\a.txt"}, {L"C:\\a.txt.corvastine", L"C:\\b"}, {L"C:\\folder"}};
    for (const auto& paths : selections) {
        MenuPlan plan = MenuFor(paths);
        EXPECT_EQ(plan.header.offset, 100u);
        EXPECT_STREQ(plan.header.text, L"Corvastine");
        EXPECT_EQ(plan.header.bitmapId, IDB_MENU_CORVASTINE);
        ASSERT_EQ(plan.commands.size(), 3u);
        EXPECT_EQ(plan.commands[0].offset, 101u);
        EXPECT_STREQ(plan.commands[0].text, L"Lock");
        EXPECT_EQ(plan.commands[0].bitmapId, 204);
        EXPECT_EQ(plan.commands[1].offset, 102u);
        EXPECT_STREQ(plan.commands[1].text, L"Unlock");
        EXPECT_EQ(plan.commands[1].bitmapId, 205);
        EXPECT_EQ(plan.commands[2].offset, 103u);
        EXPECT_STREQ(plan.commands[2].text, L"Shred");
        EXPECT_EQ(plan.commands[2].bitmapId, 206);
    }
    EXPECT_EQ(kCommandIdsUsed, 104u);
}

// A single locked file, at any path length, also gets "Open", after the
// three, at offset 104; the menu then uses 105 ids. Anything else does not.
TEST(MenuModel, OpenFollowsForASingleLockedFileOnly) {
    for (const std::wstring& path :
         {std::wstring(L"C:\\a.txt.corvastine"), L"C:\\" + std::wstring(300, L'a') + L"\\b.txt.corvastine"}) {
        const MenuPlan plan = MenuFor({path});
        ASSERT_EQ(plan.commands.size(), 4u);
        EXPECT_EQ(plan.commands[3].offset, 104u);
        EXPECT_STREQ(plan.commands[3].text, L"Open");
        EXPECT_EQ(IdsUsedBy(plan), 105u);
    }
    for (const auto& paths : std::vector<std::vector<std::wstring>>{
             {L"C:\\a.txt"}, {L"C:\\a.txt.corvastine", L"C:\\b.corvastine"}}) {
        const MenuPlan plan = MenuFor(paths);
        EXPECT_EQ(plan.commands.size(), 3u);
        EXPECT_EQ(IdsUsedBy(plan), 104u);
    }
}

TEST(MenuModel, IdRangeMustHoldFirstPlus103WithoutWrapping) {
    EXPECT_TRUE(IdRangeFits(1, 0x7FFF));
    EXPECT_TRUE(IdRangeFits(10, 113));
    EXPECT_FALSE(IdRangeFits(10, 112));
    EXPECT_FALSE(IdRangeFits(10, 9));
    EXPECT_FALSE(IdRangeFits(0xFFFFFFF0u, 0xFFFFFFFFu));
    EXPECT_TRUE(IdRangeFits(0xFFFFFFFFu - 103, 0xFFFFFFFFu));
}

TEST(MenuModel, TargetsAreEverySelectedPathInOrderAtAnyLength) {
    EXPECT_TRUE(CommandTargets({}).empty());
    const std::vector<std::wstring> three{L"C:\\one.txt", L"C:\\two.txt", L"C:\\three.txt"};
    EXPECT_EQ(CommandTargets(three), three);
    // A path too long for a 260-character buffer is kept whole, never cut
    // (the shorter text could name another file) nor dropped.
    const std::wstring deep = L"C:\\" + std::wstring(300, L'a') + L"\\b.txt";
    EXPECT_EQ(CommandTargets({L"C:\\two.txt", deep}), (std::vector<std::wstring>{L"C:\\two.txt", deep}));
    EXPECT_EQ(CommandTargets({L"", L"C:\\two.txt"}), (std::vector<std::wstring>{L"C:\\two.txt"}));
}

TEST(MenuModel, EachOffsetHasItsActionAndUnlockNeedsALockedFileOrAFolder) {
    const auto isFolder = [](const std::wstring& path) { return path == L"C:\\folder"; };
    using Paths = std::vector<std::wstring>;
    EXPECT_EQ(ActionFor(101, Paths{L"C:\\a.txt"}, isFolder), CommandAction::Lock);
    EXPECT_EQ(ActionFor(101, Paths{L"C:\\folder"}, isFolder), CommandAction::Lock);
    EXPECT_EQ(ActionFor(102, Paths{L"C:\\a.txt"}, isFolder), CommandAction::None);
    EXPECT_EQ(ActionFor(102, Paths{L"C:\\a.txt", L"C:\\b.txt"}, isFolder), CommandAction::None);
    EXPECT_EQ(ActionFor(102, Paths{L"C:\\folder"}, isFolder), CommandAction::Unlock);
    EXPECT_EQ(ActionFor(102, Paths{L"C:\\a.txt.corvastine"}, isFolder), CommandAction::Unlock);
    EXPECT_EQ(ActionFor(102, Paths{L"C:\\a.txt", L"C:\\b.txt.corvastine"}, isFolder), CommandAction::Unlock);
    EXPECT_EQ(ActionFor(103, Paths{L"C:\\a.txt"}, isFolder), CommandAction::Shred);
    EXPECT_EQ(ActionFor(100, Paths{L"C:\\a.txt"}, isFolder), CommandAction::None);
    EXPECT_EQ(ActionFor(104, Paths{L"C:\\a.txt"}, isFolder), CommandAction::None);
    EXPECT_EQ(ActionFor(104, Paths{L"C:\\a.txt.corvastine"}, isFolder), CommandAction::Open);
    EXPECT_EQ(ActionFor(104, Paths{L"C:\\folder"}, isFolder), CommandAction::None);
    EXPECT_EQ(ActionFor(104, Paths{L"C:\\a.corvastine", L"C:\\b.corvastine"}, isFolder), CommandAction::None);
    EXPECT_EQ(ActionFor(0, Paths{L"C:\\a.txt"}, isFolder), CommandAction::None);
    for (unsigned offset : {101u, 102u, 103u}) EXPECT_EQ(ActionFor(offset, Paths{}, isFolder), CommandAction::None);
}

TEST(MenuModel, VerbIsStatDotInAnyCase) {
    EXPECT_TRUE(IsOwnVerb(L"Stat."));
    EXPECT_TRUE(IsOwnVerb(L"stat."));
    EXPECT_TRUE(IsOwnVerb(L"STAT."));
    EXPECT_FALSE(IsOwnVerb(L"Stat"));
    EXPECT_FALSE(IsOwnVerb(L"Stat.."));
    EXPECT_FALSE(IsOwnVerb(L"open"));
    EXPECT_FALSE(IsOwnVerb(L""));
    EXPECT_FALSE(IsOwnVerb(L"St\u00c4t."));
}

TEST(MenuModel, CopyTruncatedAlwaysTerminatesInsideTheBuffer) {
    wchar_t wide[8];
    std::fill(std::begin(wide), std::end(wide), L'#');
    EXPECT_EQ(CopyTruncated(std::wstring(L"Decrypt"), wide, 8), 7u);
    EXPECT_STREQ(wide, L"Decrypt");
    std::fill(std::begin(wide), std::end(wide), L'#');
    EXPECT_EQ(CopyTruncated(std::wstring(L"Decrypt"), wide, 4), 3u);
    EXPECT_STREQ(wide, L"Dec");
    EXPECT_EQ(wide[4], L'#');
    EXPECT_EQ(CopyTruncated(std::wstring(L"Decrypt"), wide, 1), 0u);
    EXPECT_EQ(wide[0], L'\0');
    EXPECT_EQ(wide[1], L'e');  // left from before: nothing written past the size

    char narrow[3] = {'#', '#', '#'};
    EXPECT_EQ(CopyTruncated(std::string("Stat."), narrow, 0), 0u);
    EXPECT_EQ(narrow[0], '#');
    EXPECT_EQ(CopyTruncated(std::string("Stat."), static_cast<char*>(nullptr), 5), 0u);
    EXPECT_EQ(CopyTruncated(std::string("Stat."), narrow, 3), 2u);
    EXPECT_STREQ(narrow, "St");
}
