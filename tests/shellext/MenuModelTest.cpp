// The context menu's pure logic: its items and offsets, the id range it
// needs, the path the commands act on, what each command does, the verb and
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

// A single locked file also gets "Open", after the three, at offset 104;
// the menu then uses 105 ids. Anything else does not.
TEST(MenuModel, OpenFollowsForASingleLockedFileOnly) {
    MenuPlan plan = MenuFor({L"C:\\a.txt.corvastine"});
    ASSERT_EQ(plan.commands.size(), 4u);
    EXPECT_EQ(plan.commands[3].offset, 104u);
    EXPECT_STREQ(plan.commands[3].text, L"Open");
    EXPECT_EQ(IdsUsedBy(plan), 105u);
    for (const auto& paths : std::vector<std::vector<std::wstring>>{
             {L"C:\\a.txt"}, {L"C:\\a.txt.corvastine", L"C:\\b.corvastine"},
             {L"C:\\" + std::wstring(250, L'a') + L".corvastine"}}) {
        plan = MenuFor(paths);
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

TEST(MenuModel, TargetIsTheFirstPathUnlessItIsTooLongToHoldWhole) {
    EXPECT_EQ(CommandTarget({}), L"");
    EXPECT_EQ(CommandTarget({L"C:\\one.txt", L"C:\\two.txt", L"C:\\three.txt"}), L"C:\\one.txt");
    const std::wstring fits = L"C:\\" + std::wstring(256, L'a');  // 259 characters
    ASSERT_EQ(fits.size(), 259u);
    EXPECT_EQ(CommandTarget({fits}), fits);
    // 260 characters: cut to 259 it would name a different file.
    EXPECT_EQ(CommandTarget({fits + L"b", L"C:\\two.txt"}), L"");
}

TEST(MenuModel, CommandsActOnTheTargetUnlockOnlyOnLockedNames) {
    EXPECT_EQ(ActionFor(101, L"C:\\a.txt"), CommandAction::Lock);
    EXPECT_EQ(ActionFor(101, L"C:\\folder"), CommandAction::Lock);
    EXPECT_EQ(ActionFor(102, L"C:\\a.txt"), CommandAction::None);
    EXPECT_EQ(ActionFor(102, L"C:\\folder"), CommandAction::None);
    EXPECT_EQ(ActionFor(102, L"C:\\a.txt.corvastine"), CommandAction::Unlock);
    EXPECT_EQ(ActionFor(103, L"C:\\a.txt"), CommandAction::Shred);
    EXPECT_EQ(ActionFor(100, L"C:\\a.txt"), CommandAction::None);
    EXPECT_EQ(ActionFor(104, L"C:\\a.txt"), CommandAction::None);
    EXPECT_EQ(ActionFor(104, L"C:\\a.txt.corvastine"), CommandAction::Open);
    EXPECT_EQ(ActionFor(0, L"C:\\a.txt"), CommandAction::None);
    for (unsigned offset : {101u, 102u, 103u}) EXPECT_EQ(ActionFor(offset, L""), CommandAction::None);
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
