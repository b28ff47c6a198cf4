// Find File(s), Drive Information and File/Folder Properties, driven as a user drives them.
#include "app/deleted_look.h"
#include "app/find_files_dialog.h"
#include "app/folder_list_model.h"
#include "app/info_dialogs.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/item_nodes.h"
#include "tests/support/test_images.h"

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

namespace salvex::test {
namespace {

QStringList column(const QTableWidget* table, int col) {
    QStringList texts;
    for (int row = 0; row < table->rowCount(); ++row)
        texts << table->item(row, col)->text();
    return texts;
}

bool wait_for_search(app::FindFilesDialog* dialog, int ms = 30000) {
    return QTest::qWaitFor([dialog] { return !dialog->searching(); }, ms);
}

// A search over this many files outlasts the click that stops it.
constexpr int kManyFiles = 200000;

TEST(FindFilesDialogTest, ASearchStoppedHalfwayKeepsItsRows) {
    Session session;
    NtfsScan& scan = session.scan;
    for (int i = 0; i < kManyFiles; ++i) {
        FileNode file;
        file.name = "file" + std::to_string(i) + ".dat";
        file.size = static_cast<uint64_t>(i);
        scan.items.add_file(file);
    }
    FilterTable filters;
    app::FolderListModel icons(scan, filters);
    std::vector<QString> asked;
    bool answer = true;
    app::MessageBoxes messages(nullptr);
    app::FindFilesDialog* dialog = nullptr;
    int rowsWhenAsked = -1;
    messages.set_responder([&](const QString& text, MessageKind, bool question) {
        asked.push_back(text);
        EXPECT_TRUE(question);
        // The question is open: the search waits and Stop cannot be pressed again.
        EXPECT_FALSE(dialog->stop_button()->isEnabled());
        rowsWhenAsked = dialog->results()->rowCount();
        return answer;
    });
    app::GuiProgress sink(messages);
    app::WorkerRunner runner(session.state.stopRequested, sink);
    app::FindFilesDialog window(session, runner, icons, messages);
    dialog = &window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.windowTitle(), "Find File(s)");
    EXPECT_FALSE(window.stop_button()->isEnabled());

    window.pattern_edit()->setText("*.dat");
    QTest::mouseClick(window.start_button(), Qt::LeftButton);
    EXPECT_FALSE(window.start_button()->isEnabled());
    ASSERT_TRUE(window.stop_button()->isEnabled());
    // Closing is refused while the search runs.
    window.reject();
    EXPECT_TRUE(window.isVisible());
    QTest::mouseClick(window.stop_button(), Qt::LeftButton);
    ASSERT_EQ(asked, std::vector<QString>{app::kStopSearchQuestion});
    ASSERT_TRUE(wait_for_search(&window));
    EXPECT_TRUE(window.start_button()->isEnabled());
    EXPECT_FALSE(window.stop_button()->isEnabled());

    // Rows found before the question arrive; none after it.
    QTest::qWait(200);
    const int kept = window.results()->rowCount();
    QTest::qWait(200);
    EXPECT_EQ(window.results()->rowCount(), kept);
    EXPECT_GE(kept, rowsWhenAsked);
    EXPECT_LT(kept, kManyFiles);
    EXPECT_EQ(window.files_found(), QString::number(kept));
    const QStringList names = column(window.results(), 0);
    for (int row = 0; row < kept; ++row)
        ASSERT_EQ(names[row], QStringLiteral("file%1.dat").arg(row));
    if (kept > 0) {
        EXPECT_EQ(window.last_file(), names.back());
        EXPECT_EQ(window.results()->item(kept - 1, 1)->text(), "\\");
        EXPECT_EQ(window.results()->item(kept - 1, 2)->text(), QString::number(kept - 1));
    }

    // No lets the search go on to the end; a new search starts from an empty list.
    answer = false;
    window.pattern_edit()->setText("FILE1999??.DAT");
    QTest::mouseClick(window.start_button(), Qt::LeftButton);
    EXPECT_EQ(window.results()->rowCount(), 0);
    QTest::mouseClick(window.stop_button(), Qt::LeftButton);
    EXPECT_EQ(asked.size(), 2u);
    ASSERT_TRUE(wait_for_search(&window));
    QTest::qWait(50);
    EXPECT_EQ(window.results()->rowCount(), 100); // file199900.dat to file199999.dat
    EXPECT_EQ(window.files_found(), "100");
    EXPECT_EQ(window.last_file(), "file199999.dat");
    window.reject();
    EXPECT_FALSE(window.isVisible());
}

TEST(FindFilesDialogTest, ResultsShowTheirFolderAndOpenItInTheWindow) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.browse_partition("Partition 1 - NTFS");
    ASSERT_TRUE(wizard.window->actions().findFiles->isEnabled());
    wizard.window->actions().findFiles->trigger();
    auto* dialog = wizard.window->findChild<app::FindFilesDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->pattern_edit()->setText("week-0?");
    QTest::keyClick(dialog->pattern_edit(), Qt::Key_Return); // Start Search is the default
    ASSERT_TRUE(wait_for_search(dialog));
    QTest::qWait(20);
    QTableWidget* results = dialog->results();
    EXPECT_EQ(column(results, 0),
              QStringList({"week-01.txt", "week-02.txt", "week-03.txt", "week-04.txt",
                           "week-05.txt", "week-06.txt", "week-07.txt", "week-08.txt"}));
    for (const auto& [col, title] : {std::pair(0, "File Name"), {1, "Path"}, {2, "Size"}})
        EXPECT_EQ(results->horizontalHeaderItem(col)->text(), title);
    EXPECT_EQ(results->item(0, 1)->text(), "\\Documents\\Reports");
    EXPECT_EQ(results->item(2, 2)->text(), "921");
    EXPECT_FALSE(results->item(0, 0)->icon().isNull());
    EXPECT_EQ(dialog->files_found(), "8");
    EXPECT_EQ(dialog->last_file(), "week-08.txt");

    // An empty pattern finds nothing.
    dialog->pattern_edit()->clear();
    QTest::mouseClick(dialog->start_button(), Qt::LeftButton);
    ASSERT_TRUE(wait_for_search(dialog));
    EXPECT_EQ(results->rowCount(), 0);

    dialog->pattern_edit()->setText("*.LOG");
    QTest::mouseClick(dialog->start_button(), Qt::LeftButton);
    ASSERT_TRUE(wait_for_search(dialog));
    QTest::qWait(20);
    ASSERT_EQ(column(results, 0), QStringList({"system.log", "boot.log"}));
    const QRect cell = results->visualItemRect(results->item(1, 0));
    QTest::mouseClick(results->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(results->viewport(), Qt::LeftButton, {}, cell.center());
    // The window shows the file's folder with the file selected.
    EXPECT_EQ(tree(*wizard.window)->currentItem()->text(0), "Logs");
    EXPECT_GE(wizard.row_of("system.log"), 0);
    const QModelIndexList selected = details_view(*wizard.window)->selectionModel()->selectedRows();
    ASSERT_EQ(selected.size(), 1);
    EXPECT_EQ(wizard.cell(selected.front().row(), app::kNameColumn), "boot.log");
    dialog->reject();
}

// A deleted file found stands out as it does in the list: in the deleted colour, with the marked
// icon; a live one keeps the ordinary look.
TEST(FindFilesDialogTest, DeletedResultsShowTheDeletedLook) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.browse_partition("Partition 1 - NTFS");
    wizard.window->actions().findFiles->trigger();
    auto* dialog = control<QDialog>(*wizard.window, "findFilesDialog");
    ASSERT_NE(dialog, nullptr);
    auto* pattern = control<QLineEdit>(*dialog, "findPattern");
    auto* results = control<QTableWidget>(*dialog, "findResults");
    ASSERT_TRUE(pattern != nullptr && results != nullptr);
    pattern->setText("*.jpg");
    QTest::mouseClick(control<QPushButton>(*dialog, "startSearch"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return results->rowCount() == 4; }, 30000));
    // beach.jpg is live; sunset.jpg, and scan1.jpg and scan2.jpg of the deleted folder Old, are
    // deleted.
    ASSERT_EQ(column(results, 0),
              QStringList({"beach.jpg", "sunset.jpg", "scan1.jpg", "scan2.jpg"}));
    const QAbstractItemModel* model = results->model();
    const QColor red = app::deleted_colour();
    const auto icon_of = [&](int row) {
        return model->index(row, 0).data(Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    };
    for (int row = 1; row < 4; ++row) {
        for (int col = 0; col < 3; ++col)
            EXPECT_EQ(model->index(row, col).data(Qt::ForegroundRole).value<QBrush>().color(), red)
                << row << "," << col;
        EXPECT_NE(icon_of(row), icon_of(0)) << row;
    }
    for (int col = 0; col < 3; ++col)
        EXPECT_FALSE(model->index(0, col).data(Qt::ForegroundRole).isValid()) << col;
    // The marked icon is the ordinary one with the deleted mark over it.
    const QIcon plain = model->index(0, 0).data(Qt::DecorationRole).value<QIcon>();
    EXPECT_EQ(icon_of(1), app::deleted_icon(plain).pixmap(16).toImage());
    dialog->reject();
}

TEST(InformationDialogsTest, DriveInformationAndPropertiesOfFilesAndFolders) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.browse_partition("Partition 1 - NTFS");
    // The dialog `action` opens, after the earlier ones are gone.
    const auto open = [&wizard](QAction* action) {
        action->trigger();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const auto dialogs = wizard.window->findChildren<app::InfoDialog*>();
        return dialogs.isEmpty() ? nullptr : dialogs.back();
    };
    QAction* properties = wizard.window->actions().properties;

    app::InfoDialog* info = open(wizard.window->actions().driveInformation);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->windowTitle(), "Drive Information");
    const VolumeInfo& volume = wizard.session.scan.volume;
    EXPECT_EQ(info->value("File System          :"), "NTFS");
    EXPECT_EQ(info->value("Start Sector         :"),
              QString::number(wizard.session.partitions.entries.front().start));
    EXPECT_EQ(info->value("SPC                     :"), QString::number(volume.sectorsPerCluster));
    EXPECT_EQ(info->value("First FAT              :"), "N/A");
    EXPECT_EQ(info->value("Second FAT        :"), "N/A");
    EXPECT_NE(volume.mftStart, 0u);
    EXPECT_EQ(info->value("MFT Start            :"), QString::number(volume.mftStart));
    EXPECT_EQ(info->value("Files                     :"),
              QString::number(wizard.session.scan.items.files.size()));
    EXPECT_EQ(info->value("Directories           :"),
              QString::number(wizard.session.scan.items.folders.size()));
    info->accept();

    // Documents: 5 files of its own, 16 in Reports, none in Projects; two folders beneath it.
    wizard.select_rows({"Documents"});
    info = open(properties);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->windowTitle(), "File/Folder Properties");
    EXPECT_EQ(info->value("Name :"), "Documents");
    EXPECT_EQ(info->value("Contains                     :"), "21 File(s) and 2 Folder(s)");
    EXPECT_EQ(info->value("Size                            :"), "Less than 1 MB");
    EXPECT_FALSE(info->value("Creation Date              :").isEmpty());
    info->accept();

    // A deleted folder counts like any other: Old held scan1.jpg, scan2.jpg and index.txt.
    wizard.double_click_row("Pictures");
    wizard.select_rows({"Old"});
    info = open(properties);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->value("Contains                     :"), "3 File(s) and 0 Folder(s)");
    info->accept();

    wizard.click_tree_item("Logs");
    wizard.select_rows({"system.log"});
    info = open(properties);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->value("Name :"), "system.log");
    EXPECT_EQ(info->value("Size                            :"), "977 KB"); // 1,000,000 bytes
    EXPECT_EQ(info->value("Contains                     :"), "");
    EXPECT_EQ(info->value("Modification Date       :"),
              wizard.cell(wizard.row_of("system.log"), app::kModifiedColumn));
    info->accept();
}

TEST(InformationDialogsTest, DriveInformationCountsTheDrivesOwnSectors) {
    // A volume of a 4Kn drive at logical sector 256, 4,096-byte clusters, $MFT at cluster 4: the
    // engine's 512-byte numbers are shown in the drive's sectors, and the size is named.
    NtfsScan scan;
    scan.volume.fsType = FsType::Ntfs;
    scan.volume.fsStart = 2048;
    scan.volume.sectorsPerCluster = 8;
    scan.volume.mftStart = 2048 + 32;
    const auto rows = app::drive_information(scan, 4096);
    const auto value = [&](const QString& label) {
        for (const auto& [l, v] : rows)
            if (l == label)
                return v;
        return QString();
    };
    EXPECT_EQ(value("Start Sector         :"), "256");
    EXPECT_EQ(value("SPC                     :"), "1");
    EXPECT_EQ(value("MFT Start            :"), "260");
    EXPECT_EQ(value("Sector Size          :"), "4096");
    EXPECT_EQ(app::drive_information(scan).back().second, "512");
    EXPECT_EQ(app::drive_information(scan)[1].second, "2048");
}

TEST(InformationDialogsTest, FolderTotalsAddEveryLevelAndMegabytes) {
    NtfsScan scan;
    scan.items.add_folder(folder_node("Top", 40, kRootFolderRecord), ScanMode::Standard);
    scan.items.add_folder(folder_node("Inner", 41, 40), ScanMode::Standard);
    for (const auto& [parent, size] :
         std::vector<std::pair<uint32_t, uint64_t>>{{40, 1000}, {41, 3u << 20}, {41, 5}})
        scan.items.add_file(file_node("f", 0, parent, size));
    SilentProgress silent;
    scan.tree = build_folder_tree(scan.items, silent);
    const app::FolderTotals totals =
        app::count_folder_contents(scan, scan.items.folders[0].treeItem);
    EXPECT_EQ(totals.files, 3u);
    EXPECT_EQ(totals.folders, 2u);
    EXPECT_EQ(totals.bytes, 1000u + (3u << 20) + 5u);
    const auto lines = app::item_properties(
        scan, {"Top", "Deleted folder", 0, "", "", scan.items.folders[0].treeItem, true});
    EXPECT_EQ(lines[1].second, "3 MB");
    EXPECT_EQ(lines[4].second, "3 File(s) and 1 Folder(s)");
    // A file of 1,048,576 bytes shows 1025 KB; an empty one 1 KB, whatever its type is called.
    EXPECT_EQ(app::item_properties(scan, {"a", "Text", 1048576, "", "", 0})[1].second, "1025 KB");
    EXPECT_EQ(app::item_properties(scan, {"b", "Folder", 0, "", "", 0})[1].second, "1 KB");
}

} // namespace
} // namespace salvex::test
