// The item lists, made-up folders for orphans, and the folder tree.
#include "ntfs/folder_tree.h"
#include "ntfs/item_tree.h"
#include "tests/support/item_nodes.h"
#include "tests/support/recording_progress.h"

#include <gtest/gtest.h>

namespace salvex {
namespace {

using test::file_node;
using test::folder_node;

std::vector<std::string> folder_names(const NtfsItems& items) {
    std::vector<std::string> names;
    for (const auto& f : items.folders)
        names.push_back(f.name + "@" + std::to_string(f.recordNumber) + "<" +
                        std::to_string(f.parent));
    return names;
}

// Attaches the items without a folder; the number of made-up folders.
uint32_t attach(NtfsItems& items, ScanMode mode, test::RecordingProgress& progress,
                int stopValue = 0) {
    StopFlag stop{stopValue};
    uint32_t lost = 0;
    attach_lost_items(items, lost, mode, progress, stop);
    return lost;
}

TEST(LostItems, OrphansShareOneMadeUpFolderPerMissingParent) {
    NtfsItems items;
    items.add_folder(folder_node("Docs", 30, 5), ScanMode::Standard);
    items.add_folder(folder_node("Sub", 31, 60), ScanMode::Standard); // parent 60 is gone
    items.add_folder(folder_node("Sub2", 32, 60), ScanMode::Standard);
    items.add_file(file_node("a", 40, 30));
    items.add_file(file_node("b", 41, 70)); // two deleted files whose folder record was reused
    items.add_file(file_node("c", 42, 70));
    items.add_file(file_node("d", 43, 5));
    test::RecordingProgress progress;
    EXPECT_EQ(attach(items, ScanMode::Standard, progress), 2u);
    EXPECT_EQ(folder_names(items), (std::vector<std::string>{"Docs@30<5", "Sub@31<60", "Sub2@32<60",
                                                             "Dir0@60<5", "Dir1@70<5"}));
    EXPECT_EQ(items.folder_count(), 5u);
    EXPECT_EQ(progress.statuses.front(), "Searching For Lost Data");
    EXPECT_LE(progress.maxProgress, 99);
}

TEST(LostItems, AdvanceScanGathersFilesWithoutAFolderAndDropsRepeatedFolders) {
    NtfsItems items;
    EXPECT_TRUE(items.add_folder(folder_node("A", 30, 5), ScanMode::Advance));
    EXPECT_FALSE(items.add_folder(folder_node("A again", 30, 5), ScanMode::Advance));
    items.add_file(file_node("x", 40, 99));
    test::RecordingProgress progress;
    attach(items, ScanMode::Advance, progress);
    // The file's folder left no trace: it is gathered into a made-up folder, not dropped.
    EXPECT_EQ(items.folder_count(), 2u);
    EXPECT_EQ(items.find_folder(30)->name, "A");
    ASSERT_NE(items.find_folder(99), nullptr);
    EXPECT_EQ(items.find_folder(99)->name, "Dir0");
}

FolderNode folder_with(const char* name, uint32_t record, uint16_t sequence, bool deleted) {
    FolderNode f = folder_node(name, record, 5);
    f.sequence = sequence;
    f.deleted = deleted;
    return f;
}

FileNode file_in(const char* name, uint32_t parent, uint16_t parentSequence) {
    FileNode f = file_node(name, 0, parent);
    f.parentSequence = parentSequence;
    return f;
}

TEST(LostItems, ItemsOfAFolderWhoseRecordWasReusedGoToALostFolder) {
    NtfsItems items;
    items.add_folder(folder_with("New", 30, 7, false), ScanMode::Standard);
    items.add_folder(folder_with("Gone", 31, 3, true), ScanMode::Standard);
    items.add_file(file_in("new.txt", 30, 7));
    items.add_file(file_in("old1.txt", 30, 5)); // made when record 30 held an earlier folder
    items.add_file(file_in("old2.txt", 30, 5));
    items.add_file(file_in("older.txt", 30, 4));
    items.add_file(file_in("inside.txt", 31, 2)); // freeing its folder raised 2 to 3
    items.add_file(file_in("unknown.txt", 30, 0));
    test::RecordingProgress progress;
    attach(items, ScanMode::Standard, progress);

    std::vector<std::string> parents;
    for (const FileNode& f : items.files)
        parents.push_back(items.find_folder(f.parent)->name);
    // unknown.txt has no sequence to compare.
    EXPECT_EQ(parents, (std::vector<std::string>{"New", "Dir0", "Dir0", "Dir1", "Gone", "New"}));
    EXPECT_EQ(items.find_folder(30)->name, "New"); // the made-up folders took keys of their own
    EXPECT_EQ(items.find_folder(kFirstMadeUpKey)->parent, kRootFolderRecord);
}

TEST(LostItems, FoldersInALoopOfParentsAreHungUnderMadeUpFolders) {
    NtfsItems items;
    items.add_folder(folder_node("Self", 80, 80), ScanMode::Standard);
    items.add_folder(folder_node("Ping", 81, 82), ScanMode::Standard);
    items.add_folder(folder_node("Pong", 82, 81), ScanMode::Standard);
    items.add_folder(folder_node("Below", 83, 82), ScanMode::Standard);
    items.add_folder(folder_node("Fine", 84, 5), ScanMode::Standard);
    items.add_file(file_node("in-pong.txt", 0, 82));
    test::RecordingProgress progress;
    EXPECT_EQ(attach(items, ScanMode::Standard, progress), 2u); // one per loop

    const FolderTree tree = build_folder_tree(items, progress);
    for (const FolderNode& f : items.folders)
        EXPECT_NE(f.treeItem, 0u) << f.name << " is hidden";
    // Each loop is entered at its first folder in list order.
    EXPECT_EQ(items.find_folder(items.find_folder(80)->parent)->name, "Dir0");
    EXPECT_EQ(items.find_folder(items.find_folder(81)->parent)->name, "Dir1");
    EXPECT_EQ(items.find_folder(82)->parent, 81u);
    EXPECT_EQ(tree.size(), items.folders.size() + 1);
}

TEST(LostItems, StopEndsTheWalk) {
    NtfsItems items;
    for (uint32_t i = 0; i < 10; ++i)
        items.add_folder(folder_node("f", 100 + i, 1000 + i), ScanMode::Standard);
    test::RecordingProgress progress;
    attach(items, ScanMode::Standard, progress, 1);
    EXPECT_EQ(items.folder_count(), 10u);
}

TEST(FolderTree, DepthFirstWithSiblingsInListOrder) {
    NtfsItems items;
    items.add_folder(folder_node("B", 20, 5), ScanMode::Standard);
    items.add_folder(folder_node("B1", 21, 20), ScanMode::Standard);
    items.add_folder(folder_node("A", 10, 5), ScanMode::Standard);
    items.add_folder(folder_node("B2", 22, 20), ScanMode::Standard);
    items.add_folder(folder_node("B11", 23, 21), ScanMode::Standard);
    test::RecordingProgress progress;
    const FolderTree tree = build_folder_tree(items, progress);

    std::vector<std::string> order; // ids are given in insertion order
    for (TreeItemId id = 2; id <= tree.size(); ++id)
        order.push_back(items.folders[tree.node(id).folder].name);
    EXPECT_EQ(order, (std::vector<std::string>{"B", "B1", "B11", "B2", "A"}));

    const auto names_under = [&](TreeItemId id) {
        std::vector<std::string> names;
        for (const TreeItemId child : tree.node(id).children)
            names.push_back(items.folders[tree.node(child).folder].name);
        return names;
    };
    EXPECT_EQ(names_under(FolderTree::kRootId), (std::vector<std::string>{"B", "A"}));
    EXPECT_EQ(names_under(items.find_folder(20)->treeItem), (std::vector<std::string>{"B1", "B2"}));
    EXPECT_EQ(tree.node(items.find_folder(23)->treeItem).parent, items.find_folder(21)->treeItem);
}

TEST(FolderTree, ParentCyclesEndAndUnreachableFoldersStayOut) {
    NtfsItems items;
    items.add_folder(folder_node("SelfRoot", 5, 5), ScanMode::Advance); // claims to be the root
    items.add_folder(folder_node("Self", 80, 80), ScanMode::Advance);
    items.add_folder(folder_node("Ping", 81, 82), ScanMode::Advance);
    items.add_folder(folder_node("Pong", 82, 81), ScanMode::Advance);
    items.add_folder(folder_node("Child", 90, 5), ScanMode::Advance);
    test::RecordingProgress progress;
    const FolderTree tree = build_folder_tree(items, progress);
    EXPECT_EQ(tree.size(), 3u); // the root, SelfRoot once (not entered again), Child
    EXPECT_EQ(items.find_folder(80)->treeItem, 0u);
    EXPECT_EQ(items.find_folder(81)->treeItem, 0u);
    EXPECT_NE(items.find_folder(90)->treeItem, 0u);
}

TEST(FolderTree, VeryDeepTreesAreBuilt) {
    NtfsItems items;
    constexpr uint32_t kDepth = 200'000;
    for (uint32_t i = 0; i < kDepth; ++i)
        items.add_folder(folder_node("d", 100 + i, i == 0 ? 5 : 99 + i), ScanMode::Standard);
    test::RecordingProgress progress;
    const FolderTree tree = build_folder_tree(items, progress);
    EXPECT_EQ(tree.size(), kDepth + 1);
    EXPECT_EQ(tree.node(items.folders.back().treeItem).parent, items.folders[kDepth - 2].treeItem);
}

TEST(FolderTree, VolumeWithoutFoldersHasOnlyItsRoot) {
    NtfsItems items;
    items.add_file(file_node("x", 40, 5));
    test::RecordingProgress progress;
    EXPECT_TRUE(build_folder_tree(items, progress).empty());
    EXPECT_EQ(files_by_parent(items).at(5), std::vector<size_t>{0});
}

} // namespace
} // namespace salvex
