// The file list's rules: column clicks and the sort order by value, the
// double-click decision, the shell extension's menu entry, the routing of
// context-menu choices, the capped file count before a large lock, the
// questions before a batch and the rows selected again after it.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "BrowseRules.h"

namespace corva::desktop {
namespace {

TEST(ColumnClick, TheSameColumnReversesAndAnotherSortsAscending) {
    SortState sort;
    EXPECT_EQ(sort.column, 0);
    EXPECT_TRUE(sort.ascending);
    ApplyColumnClick(sort, 1);
    EXPECT_EQ(sort.column, 1);
    EXPECT_TRUE(sort.ascending);
    ApplyColumnClick(sort, 1);
    EXPECT_FALSE(sort.ascending);
    ApplyColumnClick(sort, 2);
    EXPECT_EQ(sort.column, 2);
    EXPECT_TRUE(sort.ascending);
    ApplyColumnClick(sort, 7);  // no such column: nothing changes
    EXPECT_EQ(sort.column, 2);
    EXPECT_TRUE(sort.ascending);
}

std::vector<std::wstring> Sorted(std::vector<RowSortKey> rows, SortState sort) {
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const RowSortKey& a, const RowSortKey& b) { return RowBefore(a, b, sort, &PlainTextOrder); });
    std::vector<std::wstring> names;
    for (const RowSortKey& r : rows) names.push_back(r.name);
    return names;
}

TEST(RowOrder, SizesAndTimesSortByValueNotByTheirTexts) {
    const std::vector<RowSortKey> rows = {
        {false, L"b.txt", L"Text Document", 9000, 300},
        {false, L"A.txt", L"Text Document", 100, 200},
        {true, L"zeta", L"File folder", 0, 100},
        {false, L"c.bin", L"BIN File", 20000, 100},
        {false, L"d.txt", L"Text Document", 2'000'000'000'000ull, 400},
    };
    using Names = std::vector<std::wstring>;
    EXPECT_EQ(Sorted(rows, {0, true}), (Names{L"zeta", L"A.txt", L"b.txt", L"c.bin", L"d.txt"}));
    EXPECT_EQ(Sorted(rows, {0, false}), (Names{L"d.txt", L"c.bin", L"b.txt", L"A.txt", L"zeta"}));
    EXPECT_EQ(Sorted(rows, {1, true}), (Names{L"zeta", L"A.txt", L"b.txt", L"c.bin", L"d.txt"}));
    EXPECT_EQ(Sorted(rows, {1, false}), (Names{L"d.txt", L"c.bin", L"b.txt", L"A.txt", L"zeta"}));
    EXPECT_EQ(Sorted(rows, {2, true}), (Names{L"zeta", L"c.bin", L"A.txt", L"b.txt", L"d.txt"}));
    EXPECT_EQ(Sorted(rows, {3, true}), (Names{L"zeta", L"c.bin", L"A.txt", L"b.txt", L"d.txt"}));
    EXPECT_EQ(Sorted(rows, {3, false}), (Names{L"d.txt", L"b.txt", L"A.txt", L"c.bin", L"zeta"}));
}

TEST(RowOrder, EqualValuesFallBackToTheNameAndNamesDifferingInCaseStayApart) {
    const RowSortKey a{false, L"a", L"", 5, 5}, b{false, L"B", L"", 5, 5}, upper{false, L"A", L"", 5, 5};
    EXPECT_LT(CompareRows(a, b, 1, &PlainTextOrder), 0);
    EXPECT_GT(CompareRows(b, a, 3, &PlainTextOrder), 0);
    EXPECT_NE(CompareRows(a, upper, 0, &PlainTextOrder), 0);
    EXPECT_EQ(CompareRows(a, upper, 0, &PlainTextOrder), -CompareRows(upper, a, 0, &PlainTextOrder));
    EXPECT_EQ(CompareRows(a, a, 2, &PlainTextOrder), 0);
}

TEST(DoubleClick, FoldersFirstThenLockedNamesExactlyThenOpen) {
    EXPECT_EQ(DoubleClickActionFor(L"report.doc.corvastine", false), DoubleClickAction::RefuseLocked);
    EXPECT_EQ(DoubleClickActionFor(L"report.doc.CORVASTINE", false), DoubleClickAction::Open);
    EXPECT_EQ(DoubleClickActionFor(L"report.doc.Corvastine", false), DoubleClickAction::Open);
    EXPECT_EQ(DoubleClickActionFor(L"report.doc", false), DoubleClickAction::Open);
    EXPECT_EQ(DoubleClickActionFor(L"corvastine", false), DoubleClickAction::Open);
    // A folder named like a locked file is still a folder.
    EXPECT_EQ(DoubleClickActionFor(L"archive.corvastine", true), DoubleClickAction::ShowFolder);
}

TEST(ContextMenu, TheExtensionsEntryIsFoundFirstOrLater) {
    EXPECT_EQ(ExtensionEntryPosition({L"Corvastine", L"&Open", L"Corvastine"}), 0);
    EXPECT_EQ(ExtensionEntryPosition({L"&Open", L"", L"Corvastine", L"Corvastine"}), 2);
    EXPECT_EQ(ExtensionEntryPosition({L"&Open", L"corvastine", L"Corvastine..."}), -1);
    EXPECT_EQ(ExtensionEntryPosition({}), -1);
}

TEST(ContextMenu, ChoicesGoToTheWindowTheShellOrNowhere) {
    EXPECT_EQ(RouteMenuChoice(0).kind, MenuRoute::Kind::Nothing);
    for (Command command : {Command::Shred, Command::Unlock, Command::Lock, Command::ChangePassword, Command::Open}) {
        const MenuRoute r = RouteMenuChoice(IdOf(command));
        EXPECT_EQ(r.kind, MenuRoute::Kind::PostCommand) << IdOf(command);
        EXPECT_EQ(r.command, command);
    }
    MenuRoute shell = RouteMenuChoice(1);
    EXPECT_EQ(shell.kind, MenuRoute::Kind::ShellCommand);
    EXPECT_EQ(shell.shellOffset, 0);
    shell = RouteMenuChoice(0x7FFF);
    EXPECT_EQ(shell.kind, MenuRoute::Kind::ShellCommand);
    EXPECT_EQ(shell.shellOffset, 0x7FFE);
}

// A folder tree in memory: each folder lists its entries in order; a
// folder missing from the map cannot be entered.
class FakeTree {
public:
    struct Entry {
        std::wstring name;
        EntryType type;
    };
    void AddFiles(const std::wstring& folder, int count) {
        for (int i = 0; i < count; ++i) folders_[folder].push_back({L"f" + std::to_wstring(i), EntryType::File});
    }
    void AddEntry(const std::wstring& folder, const std::wstring& name, EntryType type) {
        folders_[folder].push_back({name, type});
        if (type == EntryType::Folder) folders_.emplace(folder + L"/" + name, std::vector<Entry>{});
    }
    void MakeUnreadable(const std::wstring& folder) { folders_.erase(folder); }
    FolderLister Lister() {
        return [this](const std::wstring& folder, const std::function<bool(const std::wstring&, EntryType)>& visit) {
            ++listed_[folder];
            auto it = folders_.find(folder);
            if (it == folders_.end()) return false;
            for (const Entry& e : it->second) {
                ++visited_;
                if (!visit(e.name, e.type)) break;
            }
            return true;
        };
    }
    static std::wstring Join(const std::wstring& a, const std::wstring& b) { return a + L"/" + b; }
    bool IsFolder(const std::wstring& path) const { return folders_.count(path) > 0 || unreadable_.count(path) > 0; }
    std::map<std::wstring, std::vector<Entry>> folders_;
    std::map<std::wstring, int> unreadable_;
    std::map<std::wstring, int> listed_;
    int visited_ = 0;
};

TEST(LargeLock, NinetyNineFilesAskNothingAndAHundredAsk) {
    FakeTree tree;
    std::vector<std::wstring> files;
    for (int i = 0; i < 100; ++i) files.push_back(L"/d/file" + std::to_wstring(i));
    auto isFolder = [&](const std::wstring& p) { return tree.IsFolder(p); };
    std::vector<std::wstring> ninetyNine(files.begin(), files.begin() + 99);
    EXPECT_FALSE(NeedsLargeLockQuestion(ninetyNine, isFolder, tree.Lister(), &FakeTree::Join));
    EXPECT_TRUE(NeedsLargeLockQuestion(files, isFolder, tree.Lister(), &FakeTree::Join));
    EXPECT_FALSE(NeedsLargeLockQuestion({}, isFolder, tree.Lister(), &FakeTree::Join));

    tree.AddFiles(L"/f99", 99);
    tree.AddFiles(L"/f100", 100);
    EXPECT_EQ(CountFilesCapped(L"/f99", tree.Lister(), &FakeTree::Join), 99);
    EXPECT_FALSE(NeedsLargeLockQuestion({L"/f99"}, isFolder, tree.Lister(), &FakeTree::Join));
    EXPECT_TRUE(NeedsLargeLockQuestion({L"/f100"}, isFolder, tree.Lister(), &FakeTree::Join));
    // 99 in a folder and one file beside it.
    EXPECT_TRUE(NeedsLargeLockQuestion({L"/f99", L"/d/file0"}, isFolder, tree.Lister(), &FakeTree::Join));
}

TEST(LargeLock, ANestedTreeOfAHundredAndFiftyIsCountedOnlyToTheCap) {
    FakeTree tree;
    tree.AddFiles(L"/big", 40);
    tree.AddEntry(L"/big", L"sub", EntryType::Folder);
    tree.AddFiles(L"/big/sub", 100);
    tree.AddFiles(L"/big", 10);
    const int count = CountFilesCapped(L"/big", tree.Lister(), &FakeTree::Join);
    EXPECT_EQ(count, 100);
    EXPECT_EQ(tree.visited_, 41 + 60) << "the count goes on after the cap";
    EXPECT_TRUE(NeedsLargeLockQuestion({L"/big"}, [&](const std::wstring& p) { return tree.IsFolder(p); },
                                       tree.Lister(), &FakeTree::Join));
}

TEST(LargeLock, AFolderThatCannotBeEnteredCountsAsAHundredAndLinksAreNotEntered) {
    FakeTree tree;
    tree.unreadable_[L"/locked"] = 1;
    EXPECT_EQ(CountFilesCapped(L"/locked", tree.Lister(), &FakeTree::Join), 100);
    EXPECT_TRUE(NeedsLargeLockQuestion({L"/locked"}, [&](const std::wstring& p) { return tree.IsFolder(p); },
                                       tree.Lister(), &FakeTree::Join));
    // A sub-folder that cannot be entered counts as a hundred as well.
    tree.AddFiles(L"/outer", 3);
    tree.AddEntry(L"/outer", L"closed", EntryType::Folder);
    tree.MakeUnreadable(L"/outer/closed");
    EXPECT_GE(CountFilesCapped(L"/outer", tree.Lister(), &FakeTree::Join), 100);
    // A link to a folder counts as one entry and is never listed.
    tree.AddFiles(L"/linked", 2);
    tree.AddEntry(L"/linked", L"elsewhere", EntryType::Link);
    EXPECT_EQ(CountFilesCapped(L"/linked", tree.Lister(), &FakeTree::Join), 3);
    EXPECT_EQ(tree.listed_.count(L"/linked/elsewhere"), 0u);
}

TEST(LargeLock, CountingStopsAtTheFirstPathThatReachesTheCap) {
    FakeTree tree;
    tree.AddFiles(L"/a", 150);
    tree.AddFiles(L"/b", 5);
    EXPECT_TRUE(NeedsLargeLockQuestion({L"/a", L"/b"}, [&](const std::wstring& p) { return tree.IsFolder(p); },
                                       tree.Lister(), &FakeTree::Join));
    EXPECT_EQ(tree.listed_.count(L"/b"), 0u) << "the count went on after reaching a hundred";
}

TEST(Questions, NameTheOneItemOrTheseNItemsWithTheirFirstNames) {
    EXPECT_EQ(ShredQuestion({L"C:\\Users\\me\\Desktop\\a.txt"}, false),
              L"Do you really want to shred the file \"a.txt\"?");
    EXPECT_EQ(ShredQuestion({L"C:\\Users\\me\\Photos\\"}, true),
              L"Do you really want to shred the folder \"Photos\" and everything in it?");
    EXPECT_EQ(ShredQuestion({L"/home/me/a.txt", L"/home/me/b.txt"}, false),
              L"Do you really want to shred these 2 items?\n\na.txt\nb.txt");
    std::vector<std::wstring> seven;
    for (int i = 1; i <= 7; ++i) seven.push_back(L"D:\\f" + std::to_wstring(i));
    EXPECT_EQ(ShredQuestion(seven, false),
              L"Do you really want to shred these 7 items?\n\nf1\nf2\nf3\nf4\nf5\nand 2 more");
    EXPECT_EQ(LargeLockQuestion({L"C:\\big"}),
              L"More than 100 files will be locked in \"big\", do you really want to continue?");
    EXPECT_EQ(LargeLockQuestion({L"C:\\big", L"C:\\x.txt"}),
              L"More than 100 files will be locked in these 2 items, do you really want to continue?\n\nbig\nx.txt");
    EXPECT_EQ(LeafName(L"C:"), L"C:");
    EXPECT_EQ(LeafName(L"C:\\"), L"C:");
}

TEST(AfterBatch, RowsAreFoundAgainByNameWithTheExtensionAddedOrTakenOff) {
    std::vector<std::wstring> rows;
    auto exists = [&](const std::wstring& name) { return std::find(rows.begin(), rows.end(), name) != rows.end(); };
    rows = {L"a.txt.corvastine", L"b.txt", L"Photos"};
    EXPECT_EQ(RowNameAfterBatch(BatchKind::Lock, L"a.txt", exists), L"a.txt.corvastine");
    EXPECT_EQ(RowNameAfterBatch(BatchKind::Lock, L"b.txt", exists), L"b.txt") << "left as it was";
    EXPECT_EQ(RowNameAfterBatch(BatchKind::Lock, L"Photos", exists), L"Photos");
    EXPECT_EQ(RowNameAfterBatch(BatchKind::Lock, L"gone.txt", exists), L"");
    rows = {L"a.txt", L"b.txt.corvastine", L"SHOUT"};
    EXPECT_EQ(RowNameAfterBatch(BatchKind::Unlock, L"a.txt.corvastine", exists), L"a.txt");
    EXPECT_EQ(RowNameAfterBatch(BatchKind::Unlock, L"b.txt.corvastine", exists), L"b.txt.corvastine");
    EXPECT_EQ(RowNameAfterBatch(BatchKind::Unlock, L"SHOUT.CORVASTINE", exists), L"") << "not a locked name";
    EXPECT_EQ(RowNameAfterBatch(BatchKind::Shred, L"a.txt", exists), L"") << "a shred selects nothing";
}

}  // namespace
}  // namespace corva::desktop
