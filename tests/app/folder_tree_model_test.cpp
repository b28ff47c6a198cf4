// The browse page's folder tree model, checked by Qt's own model tester: indexes, parents and
// row counts agree however the tree is shaped, and ticks spread down and show up the tree.
#include "app/folder_tree_model.h"
#include "tests/support/item_nodes.h"

#include <QAbstractItemModelTester>
#include <gtest/gtest.h>

namespace salvex::test {
namespace {

// Root > A > (A1, A2 > A21), Root > B
NtfsScan nested_scan() {
    NtfsScan scan;
    scan.items.add_folder(folder_node("A", 40, kRootFolderRecord), ScanMode::Standard);
    scan.items.add_folder(folder_node("A1", 41, 40), ScanMode::Standard);
    scan.items.add_folder(folder_node("A2", 42, 40), ScanMode::Standard);
    scan.items.add_folder(folder_node("A21", 43, 42), ScanMode::Standard);
    scan.items.add_folder(folder_node("B", 44, kRootFolderRecord), ScanMode::Standard);
    SilentProgress silent;
    scan.tree = build_folder_tree(scan.items, silent);
    return scan;
}

TreeItemId id_named(const NtfsScan& scan, const std::string& name) {
    for (const FolderNode& folder : scan.items.folders)
        if (folder.name == name)
            return folder.treeItem;
    ADD_FAILURE() << name;
    return 0;
}

TEST(FolderTreeModelTest, AgreesWithItselfAndSpreadsTicks) {
    const NtfsScan scan = nested_scan();
    app::FolderTreeModel model(scan);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_EQ(model.rowCount(), 0); // nothing before the tree is loaded
    model.reload();
    ASSERT_EQ(model.rowCount(), 1);
    const QModelIndex root = model.index(0, 0);
    EXPECT_EQ(root.data().toString(), "Root");
    EXPECT_EQ(model.rowCount(root), 2);
    const TreeItemId a21 = id_named(scan, "A21");
    const QModelIndex deep = model.index_of(a21);
    EXPECT_EQ(deep.data().toString(), "A21");
    EXPECT_EQ(deep.parent().data().toString(), "A2");
    EXPECT_EQ(deep.parent().parent().parent(), root);

    // Ticking A2 ticks A21 and leaves A partly ticked; ticking A1 too makes A whole.
    const QModelIndex a2 = model.index_of(id_named(scan, "A2"));
    ASSERT_TRUE(model.setData(a2, Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(model.check_state(a21), Qt::Checked);
    EXPECT_EQ(model.check_state(id_named(scan, "A")), Qt::PartiallyChecked);
    EXPECT_EQ(model.check_state(FolderTree::kRootId), Qt::PartiallyChecked);
    model.setData(model.index_of(id_named(scan, "A1")), Qt::Checked, Qt::CheckStateRole);
    EXPECT_EQ(model.check_state(id_named(scan, "A")), Qt::Checked);
    EXPECT_EQ(model.check_state(FolderTree::kRootId), Qt::PartiallyChecked);
    // A click on a partly ticked folder ticks it whole; unticking the root unticks everything.
    model.setData(root, Qt::PartiallyChecked, Qt::CheckStateRole);
    EXPECT_EQ(model.check_state(id_named(scan, "B")), Qt::Checked);
    model.setData(root, Qt::Unchecked, Qt::CheckStateRole);
    EXPECT_EQ(model.check_state(a21), Qt::Unchecked);

    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_FALSE(model.index_of(a21).isValid());
}

} // namespace
} // namespace salvex::test
