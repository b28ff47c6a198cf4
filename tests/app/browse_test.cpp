// The browse page: the list's rows as the item lists give them, the context menu, the keys, and
// opening a file through a temporary copy.
#include "app/folder_list_model.h"
#include "app/texts.h"
#include "ntfs/filetime.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/item_nodes.h"
#include "tests/support/test_images.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTableView>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex::test {
namespace {

FolderNode folder(const std::string& name, uint32_t record, uint32_t parent, bool deleted) {
    FolderNode node = folder_node(name, record, parent);
    node.deleted = deleted;
    return node;
}

// A file whose record lies at sector 1000 + its size.
FileNode file(const std::string& name, uint32_t parent, uint64_t size, bool deleted) {
    FileNode node = file_node(name, 0, parent, size);
    node.deleted = deleted;
    node.recordSector = 1000 + size;
    return node;
}

TEST(FolderListModelTest, FoldersFirstDeletedPrefixesAndFiltersOnFilesOnly) {
    NtfsScan scan;
    scan.items.add_file(file("a.txt", 5, 0, false));
    scan.items.add_folder(folder("Old", 40, 5, true), ScanMode::Standard);
    FileNode jpg = file("b.jpg", 5, 12, true);
    jpg.creationTime = 116444736000000000; // 1 January 1970; modified stays 1601
    scan.items.add_file(jpg);
    scan.items.add_folder(folder("New", 41, 5, false), ScanMode::Standard);
    scan.items.add_file(file("inner.txt", 41, 3, false));
    SilentProgress silent;
    scan.tree = build_folder_tree(scan.items, silent);
    FilterTable filters;
    app::FolderListModel model(scan, filters);

    model.fill(kRootFolderRecord);
    ASSERT_EQ(model.rowCount(), 4);
    const auto text = [&](int row, int column) {
        return model.index(row, column).data().toString();
    };
    // Folders in list order, then files in list order.
    EXPECT_EQ(text(0, app::kNameColumn), "Old");
    EXPECT_EQ(text(0, app::kTypeColumn), "Deleted Folder");
    EXPECT_EQ(text(1, app::kNameColumn), "New");
    EXPECT_EQ(text(1, app::kTypeColumn), "Folder");
    EXPECT_EQ(text(1, app::kIdColumn), QString::number(scan.items.folders[1].treeItem));
    EXPECT_EQ(text(2, app::kNameColumn), "a.txt");
    EXPECT_EQ(text(2, app::kSizeColumn), "0");
    EXPECT_EQ(text(3, app::kTypeColumn), "Deleted " + app::type_name_for("b.jpg"));
    EXPECT_EQ(text(3, app::kIdColumn), "1012");
    EXPECT_EQ(text(3, app::kCreatedColumn),
              QString::fromStdString(format_item_time(jpg.creationTime)));
    EXPECT_EQ(text(3, app::kModifiedColumn), ""); // no time, not 1 January 1601

    FilterEditor editor(filters);
    ASSERT_TRUE(editor.add("*.JPG").added());
    editor.close();
    model.fill(kRootFolderRecord);
    EXPECT_EQ(model.rowCount(), 3); // both folders and b.jpg
    EXPECT_EQ(text(2, app::kNameColumn), "b.jpg");

    // A rename reaches the item lists; an empty one keeps the name.
    EXPECT_TRUE(model.setData(model.index(2, 0), "c.jpg", Qt::EditRole));
    EXPECT_EQ(scan.items.files[1].name, "c.jpg");
    EXPECT_FALSE(model.setData(model.index(2, 0), "", Qt::EditRole));
    EXPECT_EQ(scan.items.files[1].name, "c.jpg");
    model.set_rename_allowed(false);
    EXPECT_FALSE(model.setData(model.index(2, 0), "d.jpg", Qt::EditRole));
    EXPECT_EQ(scan.items.files[1].name, "c.jpg");
}

TEST(FolderListModelTest, RecoverableShareOfDeletedFilesAndTheLeastShareListed) {
    NtfsScan scan;
    FileNode whole = file("whole.doc", 5, 1, true);
    whole.recoverable = 100;
    FileNode part = file("part.doc", 5, 2, true);
    part.recoverable = 40;
    FileNode lost = file("lost.doc", 5, 3, true);
    lost.recoverable = 0;
    scan.items.add_file(whole);
    scan.items.add_file(part);
    scan.items.add_file(lost);
    scan.items.add_file(file("unknown.doc", 5, 4, true)); // no value known
    scan.items.add_file(file("live.doc", 5, 5, false));
    scan.items.add_folder(folder("Old", 40, 5, true), ScanMode::Standard);
    SilentProgress silent;
    scan.tree = build_folder_tree(scan.items, silent);
    FilterTable filters;
    app::FolderListModel model(scan, filters);
    EXPECT_EQ(model.columnCount(), 7);
    EXPECT_EQ(model.headerData(app::kRecoverableColumn, Qt::Horizontal, Qt::DisplayRole),
              "Recoverable");
    const auto names = [&] {
        QStringList all;
        for (int row = 0; row < model.rowCount(); ++row)
            all << model.index(row, app::kNameColumn).data().toString() + "=" +
                       model.index(row, app::kRecoverableColumn).data().toString();
        return all;
    };
    model.fill(kRootFolderRecord);
    EXPECT_EQ(names(), QStringList({"Old=", "whole.doc=100 %", "part.doc=40 %", "lost.doc=0 %",
                                    "unknown.doc=", "live.doc="}));
    // The least share hides deleted files below it and those whose share is unknown; folders and
    // live files stay.
    filters.minimumRecoverable = 40;
    model.fill(kRootFolderRecord);
    EXPECT_EQ(names(), QStringList({"Old=", "whole.doc=100 %", "part.doc=40 %", "live.doc="}));
    filters.minimumRecoverable = 100;
    model.fill(kRootFolderRecord);
    EXPECT_EQ(names(), QStringList({"Old=", "whole.doc=100 %", "live.doc="}));
    // Moving on clears it with the name filters.
    filters.reset();
    model.fill(kRootFolderRecord);
    EXPECT_EQ(model.rowCount(), 6);
}

TEST(FolderListModelTest, AHundredThousandFilesFillOneFolder) {
    NtfsScan scan;
    for (uint32_t i = 0; i < 100000; ++i)
        scan.items.add_file(file("file" + std::to_string(i) + ".dat", 5, i, i % 7 == 0));
    FilterTable filters;
    app::FolderListModel model(scan, filters);
    model.fill(kRootFolderRecord);
    ASSERT_EQ(model.rowCount(), 100000);
    EXPECT_EQ(model.index(99999, app::kNameColumn).data().toString(), "file99999.dat");
    QTableView view;
    view.setModel(&model);
    view.show();
    view.scrollToBottom();
    QTest::qWait(1);
    EXPECT_EQ(view.indexAt(view.viewport()->rect().bottomLeft() - QPoint(0, 2)).row(), 99999);
}

class BrowseTest : public ::testing::Test {
protected:
    void SetUp() override { wizard.browse_partition("Partition 1 - NTFS"); }
    // Right-clicks the list and returns the entries of the menu that opens, with their states.
    QStringList context_menu(const QString& row) {
        wizard.select_rows({row});
        QStringList entries;
        QTimer::singleShot(0, [&entries] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr)
                return;
            for (QAction* action : menu->actions()) {
                if (!action->isSeparator())
                    entries << action->text() + (action->isEnabled() ? "" : " (off)");
            }
            menu->close();
        });
        QTableView* table = details_view(*wizard.window);
        const QPoint at =
            table->visualRect(list_model(*wizard.window)->index(wizard.row_of(row), 0)).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, table->viewport()->mapToGlobal(at));
        QApplication::sendEvent(table->viewport(), &event);
        return entries;
    }

    WizardDriver wizard{{image_path("demo")}};
};

TEST_F(BrowseTest, ContextMenuEntriesAndOpenWithGreyedOnFolders) {
    const QStringList folderMenu = context_menu("Documents");
    EXPECT_EQ(folderMenu, QStringList({"&Open", "Open &With... (off)", "&Recover Selected...",
                                       "Recover &All...", "&View", "&Find Files...", "Re&name",
                                       "Se&ttings...", "&Properties..."}));
    const QStringList fileMenu = context_menu("$MFT");
    ASSERT_FALSE(fileMenu.isEmpty());
    EXPECT_EQ(fileMenu[1], "Open &With...");
    // While the tree has the keyboard, the list shows no menu.
    wizard.click_tree_item("Root");
    EXPECT_TRUE(wizard.session.state.keyFocusOnTree);
    QTableView* table = details_view(*wizard.window);
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5),
                            table->viewport()->mapToGlobal(QPoint(5, 5)));
    bool shown = false;
    QTimer::singleShot(0, [&shown] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            shown = true;
            popup->close();
        }
    });
    QApplication::sendEvent(table->viewport(), &event);
    QTest::qWait(1);
    EXPECT_FALSE(shown);
}

TEST_F(BrowseTest, EnterOpensAFolderAndTabMovesBetweenThePanes) {
    QTableView* table = details_view(*wizard.window);
    wizard.select_rows({"Documents"});
    table->setFocus();
    QTest::keyClick(table, Qt::Key_Return);
    EXPECT_GE(wizard.row_of("Reports"), 0);
    EXPECT_EQ(tree(*wizard.window)->currentItem()->text(0), "Documents");
    EXPECT_TRUE(wizard.session.state.keyFocusOnTree);
    QTest::keyClick(tree(*wizard.window).view(), Qt::Key_Tab);
    EXPECT_FALSE(wizard.session.state.keyFocusOnTree);
    QTest::keyClick(table, Qt::Key_Tab);
    EXPECT_TRUE(wizard.session.state.keyFocusOnTree);
}

TEST_F(BrowseTest, OpenWritesATemporaryCopyAndHandsItOn) {
    QString opened;
    bool chooser = true;
    wizard.window->set_opener([&](const QString& path, bool withChooser) {
        opened = path;
        chooser = withChooser;
    });
    wizard.double_click_row("Documents");
    wizard.double_click_row("notes.txt");
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_FALSE(opened.isEmpty());
    EXPECT_TRUE(opened.endsWith("notes.txt"));
    EXPECT_FALSE(chooser);
    EXPECT_EQ(std::filesystem::file_size(opened.toStdString()), 250u);
    EXPECT_EQ(wizard.window->menu_state(), app::MenuState::Browsing);

    opened.clear();
    wizard.select_rows({"todo.txt"});
    wizard.window->actions().openWith->setEnabled(true);
    wizard.window->actions().openWith->trigger();
    ASSERT_TRUE(wizard.wait_idle());
    EXPECT_TRUE(opened.endsWith("todo.txt"));
    EXPECT_TRUE(chooser);
}

TEST_F(BrowseTest, LiveUpdateWithoutTheUpdaterSaysSoAndStays) {
    wizard.window->actions().liveUpdate->trigger();
    EXPECT_TRUE(wizard.said(app::kLiveUpdateMissing));
    EXPECT_TRUE(wizard.window->isVisible());
}

} // namespace
} // namespace salvex::test
