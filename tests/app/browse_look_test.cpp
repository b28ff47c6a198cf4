// What a person sees on the browse page: deleted items stand out, columns sort, a filter says what
// it hides, folders are ticked for recovery, and a file opened from the list lands in a private
// folder.
#include "app/deleted_look.h"
#include "app/folder_list_model.h"
#include "recovery/recovery_report.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/shell.h"
#include "tests/support/test_images.h"

#include <QAction>
#include <QHeaderView>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sys/stat.h>

namespace salvex::test {
namespace {

namespace fs = std::filesystem;

class BrowseLookTest : public ::testing::Test {
protected:
    void SetUp() override { wizard.browse_partition("Partition 1 - NTFS"); }

    QVariant role(const QString& name, int role) const {
        const int row = wizard.row_of(name);
        EXPECT_GE(row, 0) << name.toStdString();
        return list_model(*wizard.window)->index(row, app::kNameColumn).data(role);
    }

    TreeNode tree_item(const QString& name) const {
        const auto items =
            tree(*wizard.window)->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        EXPECT_EQ(items.size(), 1) << name.toStdString();
        return items.isEmpty() ? TreeNode() : items.front();
    }

    void click_header(int column) {
        QHeaderView* header = details_view(*wizard.window)->horizontalHeader();
        const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    }

    WizardDriver wizard{{image_path("demo")}};
};

TEST_F(BrowseLookTest, DeletedFilesAndFoldersStandOutInListAndTree) {
    const QColor red = app::deleted_colour();
    EXPECT_EQ(role("Café.txt", Qt::ForegroundRole).value<QColor>(), red);
    EXPECT_FALSE(role("readme.txt", Qt::ForegroundRole).isValid());
    // The deleted file's icon is not the live one's.
    const QImage deleted = role("Café.txt", Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    const QImage live = role("readme.txt", Qt::DecorationRole).value<QIcon>().pixmap(16).toImage();
    EXPECT_NE(deleted, live);

    wizard.click_tree_item("Pictures");
    EXPECT_EQ(role("Old", Qt::ForegroundRole).value<QColor>(), red);
    EXPECT_EQ(wizard.cell(wizard.row_of("Old"), app::kTypeColumn), "Deleted Folder");
    TreeNode old = tree_item("Old");
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->foreground(0).color(), red);
    EXPECT_NE(tree_item("2024")->foreground(0).color(), red);
}

TEST_F(BrowseLookTest, DeletedFilesOnlyListsThemAndSaysSo) {
    wizard.click_tree_item("Reports");
    const int all = list_model(*wizard.window)->rowCount();
    QAction* toggle = wizard.window->actions().deletedOnly;
    ASSERT_TRUE(toggle->isEnabled());
    toggle->trigger();
    EXPECT_EQ(wizard.names(), (QStringList{"q1-draft.txt", "q2-draft.txt"}));
    auto* line = control<QLabel>(*wizard.window, "filterLine");
    ASSERT_NE(line, nullptr);
    EXPECT_TRUE(line->isVisible());
    EXPECT_EQ(line->text(),
              QStringLiteral("Filter: deleted files only \u2014 2 of %1 files shown").arg(all));
    // Folders stay, so that the user can go on looking in them.
    wizard.click_tree_item("Pictures");
    EXPECT_GE(wizard.row_of("2024"), 0);
    wizard.click_tree_item("2024");
    EXPECT_EQ(wizard.names(), QStringList{"sunset.jpg"});
    // Clear shows everything again and the line goes.
    wizard.click(control<QPushButton>(*wizard.window, "clearFilter"));
    EXPECT_FALSE(toggle->isChecked());
    EXPECT_FALSE(line->isVisible());
    EXPECT_GE(wizard.row_of("beach.jpg"), 0);
}

TEST_F(BrowseLookTest, AFilterNamesItselfAndWhatItHides) {
    wizard.session.filters.texts = {"*.CSV"};
    wizard.session.filters.count = 1;
    wizard.click_tree_item("Documents");
    auto* line = control<QLabel>(*wizard.window, "filterLine");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(line->text(), QStringLiteral("Filter: *.CSV \u2014 1 of 5 files shown"));
    EXPECT_GE(wizard.row_of("budget.csv"), 0);
    EXPECT_LT(wizard.row_of("notes.txt"), 0);
    wizard.click(control<QPushButton>(*wizard.window, "clearFilter"));
    EXPECT_FALSE(line->isVisible());
    EXPECT_GE(wizard.row_of("notes.txt"), 0);
}

TEST_F(BrowseLookTest, HeaderClicksSortAndReverseWithFoldersFirst) {
    wizard.click_tree_item("Documents");
    const QStringList listOrder = wizard.names();
    // The first order is the item lists': folders first, then files by record.
    ASSERT_EQ(listOrder.front(), "Reports");
    click_header(app::kSizeColumn);
    QStringList names = wizard.names();
    // The two folders keep their places before the files; the files go by size.
    EXPECT_EQ(names.mid(0, 2), listOrder.mid(0, 2));
    EXPECT_EQ(names.at(2), "notes.txt");   // 250 bytes
    EXPECT_EQ(names.back(), "budget.csv"); // 21,414 bytes
    // A second click reverses.
    click_header(app::kSizeColumn);
    names = wizard.names();
    EXPECT_EQ(names.at(2), "budget.csv");
    EXPECT_EQ(names.back(), "notes.txt");
    // The order holds for the next folder shown.
    wizard.click_tree_item("Reports");
    EXPECT_EQ(wizard.names().back(), "week-01.txt"); // 127 bytes, the smallest
    click_header(app::kNameColumn);                  // by name, ascending
    click_header(app::kNameColumn); // ... and reversed: the header started descending by size
    const QStringList byName = wizard.names();
    EXPECT_TRUE(byName.front() == "ledger-index.txt" || byName.back() == "ledger-index.txt")
        << byName.join(' ').toStdString();
}

TEST_F(BrowseLookTest, ColumnsStartWideEnoughAndResize) {
    wizard.click_tree_item("Reports");
    QTableView* table = details_view(*wizard.window);
    const int needed = table->fontMetrics().horizontalAdvance("ledger-summary.txt");
    EXPECT_GE(table->columnWidth(app::kNameColumn), needed);
    EXPECT_EQ(table->horizontalHeader()->sectionResizeMode(app::kNameColumn),
              QHeaderView::Interactive);
    table->horizontalHeader()->resizeSection(app::kNameColumn, 400);
    EXPECT_EQ(table->columnWidth(app::kNameColumn), 400);
}

TEST_F(BrowseLookTest, TickedFoldersAreRecoveredWithEverythingBeneath) {
    TreeNode documents = tree_item("Documents");
    TreeNode old = tree_item("Old");
    ASSERT_NE(documents, nullptr);
    ASSERT_NE(old, nullptr);
    // Ticking happens on the box, without opening the folder.
    old->setCheckState(0, Qt::Checked);
    EXPECT_EQ(tree_item("Pictures")->checkState(0), Qt::PartiallyChecked);
    tree_item("Reports")->setCheckState(0, Qt::Checked);
    EXPECT_EQ(documents->checkState(0), Qt::PartiallyChecked);
    documents->setCheckState(0, Qt::Checked);
    EXPECT_EQ(tree_item("Projects")->checkState(0), Qt::Checked); // a ticked folder ticks its own

    details_view(*wizard.window)->clearSelection();
    const fs::path target =
        wizard.recover(wizard.window->actions().recoverSelected, "ticked-target");
    EXPECT_EQ(fs::file_size(target / "Documents" / "notes.txt"), 250u);
    EXPECT_EQ(fs::file_size(target / "Documents" / "Reports" / "ledger.txt"), 50000u);
    EXPECT_EQ(fs::file_size(target / "Old" / "scan1.jpg"), 20000u);
    EXPECT_FALSE(fs::exists(target / "Reports")); // written once, inside Documents
    EXPECT_FALSE(fs::exists(target / "Pictures"));
}

// The files under `folder` by their paths relative to it, the run's report left out.
std::set<std::string> written_paths(const fs::path& folder) {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file() && entry.path().filename() != kReportFileName)
            paths.insert(fs::relative(entry.path(), folder).generic_string());
    }
    return paths;
}

// A ticked folder is a chosen folder, as a folder named on the command line is: each is written
// under the target by its own name, with everything beneath it, wherever it lies in the tree.
TEST_F(BrowseLookTest, TickedSubFoldersLandWhereTheCommandLineWritesThem) {
    tree_item("Old")->setCheckState(0, Qt::Checked);
    tree_item("Reports")->setCheckState(0, Qt::Checked);
    details_view(*wizard.window)->clearSelection();
    const fs::path target =
        wizard.recover(wizard.window->actions().recoverSelected, "ticked-sub-target");

    const fs::path byCli = temp_path("ticked-sub-cli");
    fs::remove_all(byCli);
    const CommandOutput r =
        shell(cli("recover --quiet --yes " + image_path("demo") + " --partition 1 --to " +
                  byCli.string() + " /Pictures/Old /Documents/Reports"));
    ASSERT_EQ(r.status, 0) << r.out;
    const std::set<std::string> wizardPaths = written_paths(target);
    EXPECT_EQ(wizardPaths, written_paths(byCli));
    EXPECT_TRUE(wizardPaths.count("Old/scan1.jpg"));
    EXPECT_TRUE(wizardPaths.count("Reports/ledger.txt"));
    EXPECT_EQ(wizardPaths.size(), 19u); // Old's three files and the 16 of Reports
}

TEST_F(BrowseLookTest, AnOpenedFileIsCopiedIntoAPrivateFolderRemovedAtTheEnd) {
    QString opened;
    wizard.window->set_opener([&](const QString& path, bool) { opened = path; });
    wizard.double_click_row("readme.txt");
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_FALSE(opened.isEmpty());
    const fs::path copy = opened.toStdString();
    EXPECT_EQ(fs::file_size(copy), 420u);
    const fs::path folder = copy.parent_path();
    EXPECT_NE(folder, fs::temp_directory_path());
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    wizard.answers.push_back(true); // "Do you really want to exit ?"
    wizard.window->close();
    wizard.window.reset();
    EXPECT_FALSE(fs::exists(folder));
}

} // namespace
} // namespace salvex::test
