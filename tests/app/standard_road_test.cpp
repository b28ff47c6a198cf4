// The Standard Scan road on the demo disk: a drive, a partition, the tree and the list, and the
// files recovered from them.
#include "app/folder_list_model.h"
#include "app/recovery_dialog.h"
#include "app/texts.h"
#include "recovery/recovery_driver.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/file_bytes.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/test_images.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace salvex::test {
namespace {

namespace fs = std::filesystem;

// What the engine alone writes for the file at `path` of partition 1 of the demo disk.
std::string engine_bytes(const std::string& path, const std::string& stem) {
    ScannedVolume volume = scan_image_partition("demo", 1);
    const auto listed = volume.byPath.find(path);
    EXPECT_NE(listed, volume.byPath.end()) << path;
    if (listed == volume.byPath.end())
        return {};
    const fs::path folder = empty_temp_folder(stem);
    auto target = TargetFolder::open(folder.string());
    EXPECT_TRUE(target.ok());
    RecoverySettings settings;
    SilentProgress silent;
    RecoveryRun run;
    RecoveryContext context(*volume.reader, volume.scan, settings, silent, run);
    for (const FileNode& file : volume.scan.items.files) {
        if (file.recordSector == listed->second.recordSector) {
            EXPECT_EQ(extract_ntfs_file(context, *target, file, RecoveryMode::Open),
                      WriteResult::Written);
        }
    }
    return file_bytes(folder / fs::path(path).filename());
}

class StandardRoadTest : public ::testing::Test {
protected:
    void SetUp() override { wizard.browse_partition("Partition 1 - NTFS"); }

    WizardDriver wizard{{image_path("demo")}};
};

TEST_F(StandardRoadTest, ScanShowsTheTreeAndRecoversTheEnginesBytes) {
    EXPECT_EQ(wizard.window->menu_state(), app::MenuState::Browsing);
    EXPECT_TRUE(wizard.window->actions().recoverSelected->isEnabled());
    EXPECT_EQ(tree(*wizard.window)->topLevelItem(0)->text(0), "Root");
    EXPECT_EQ(quick_help(*wizard.window)->text(), app::displayed(app::kBrowseHelp).trimmed());

    // The root lists its folders before its files.
    const QStringList root = wizard.names();
    ASSERT_TRUE(root.contains("Documents"));
    ASSERT_TRUE(root.contains("$MFT"));
    EXPECT_LT(root.indexOf("Documents"), root.indexOf("$MFT"));
    EXPECT_EQ(wizard.cell(wizard.row_of("Documents"), app::kTypeColumn), "Folder");
    EXPECT_EQ(wizard.cell(wizard.row_of("Documents"), app::kSizeColumn), "0");

    // A folder opens from the list, and the tree follows it.
    wizard.double_click_row("Documents");
    TreeNode current = tree(*wizard.window)->currentItem();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current->text(0), "Documents");
    EXPECT_EQ(current->checkState(0), Qt::Unchecked); // opening a folder does not tick it
    ASSERT_GE(wizard.row_of("notes.txt"), 0);
    EXPECT_EQ(wizard.cell(wizard.row_of("notes.txt"), app::kSizeColumn), "250");
    EXPECT_EQ(wizard.cell(wizard.row_of("notes.txt"), app::kTypeColumn),
              app::type_name_for("notes.txt"));
    EXPECT_FALSE(app::type_name_for("notes.txt").isEmpty());

    // Recover two files into a folder the user chose.
    const fs::path target = wizard.recover(wizard.window->actions().recoverSelected,
                                           "standard-target", {"notes.txt", "Résumé.txt"});
    EXPECT_TRUE(wizard.said(app::kChooseTargetTitle));
    const auto* progressWindow = wizard.window->findChild<app::RecoveryDialog*>();
    EXPECT_TRUE(progressWindow == nullptr || !progressWindow->isVisible());
    EXPECT_EQ(file_bytes(target / "notes.txt"), engine_bytes("/Documents/notes.txt", "engine-a"));
    EXPECT_EQ(file_bytes(target / "Résumé.txt").size(), 2600u);
    EXPECT_FALSE(fs::exists(target / "todo.txt"));
}

TEST_F(StandardRoadTest, RenamedFileIsRecoveredUnderItsNewName) {
    wizard.click_tree_item("Documents");
    wizard.select_rows({"todo.txt"});
    QTableView* table = details_view(*wizard.window);
    table->setFocus();
    wizard.session.state.keyFocusOnTree = false;
    QTest::keyClick(table, Qt::Key_F2);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "plans.txt");
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::qWait(1); // the list takes the edit once the key is handled
    EXPECT_EQ(wizard.row_of("todo.txt"), -1);
    ASSERT_GE(wizard.row_of("plans.txt"), 0);

    // An empty name keeps the one there was.
    wizard.select_rows({"plans.txt"});
    wizard.window->actions().rename->trigger();
    editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    editor->clear();
    QTest::keyClick(editor, Qt::Key_Return);
    QTest::qWait(1); // the list takes the edit once the key is handled
    EXPECT_GE(wizard.row_of("plans.txt"), 0);

    const fs::path target =
        wizard.recover(wizard.window->actions().recoverSelected, "renamed-target", {"plans.txt"});
    EXPECT_EQ(file_bytes(target / "plans.txt").size(), 640u);
    EXPECT_FALSE(fs::exists(target / "todo.txt"));
}

TEST_F(StandardRoadTest, RecoverAllWritesFoldersAndTheirFiles) {
    wizard.click_tree_item("Documents");
    const fs::path target = wizard.recover(wizard.window->actions().recoverAll, "all-target");
    EXPECT_EQ(file_bytes(target / "Reports" / "report-2024.txt").size(), 12345u);
    EXPECT_EQ(file_bytes(target / "Reports" / "week-03.txt"),
              engine_bytes("/Documents/Reports/week-03.txt", "engine-b"));
    EXPECT_TRUE(fs::exists(target / "notes.txt"));
}

TEST_F(StandardRoadTest, CreationErrorQuestionIsAskedAndNoEndsTheRun) {
    wizard.click_tree_item("Documents");
    const fs::path target = empty_temp_folder("blocked-target");
    // A folder of the file's name stands where the file must be created.
    fs::create_directories(target / "notes.txt");
    wizard.session.settings.duplicate_policy = DuplicatePolicy::Overwrite;
    wizard.recoveryTarget = QString::fromStdString(target.string());
    wizard.answers = {false};
    wizard.select_rows({"notes.txt", "todo.txt"});
    wizard.window->actions().recoverSelected->trigger();
    ASSERT_TRUE(wizard.wait_idle());
    const QString question =
        QString::fromStdString(creation_error_question((target / "notes.txt").string()));
    EXPECT_TRUE(wizard.said(question)) << question.toStdString();
    EXPECT_FALSE(fs::exists(target / "todo.txt")); // No ended the run
}

TEST(StandardRoadDamage, TheEndOfARecoveryNamesTheFilesWrittenOnlyPartly) {
    // One size field of 2^64 - 1, and a sparse run of 2^50 clusters put into a run list.
    WizardDriver wizard{{image_path("damaged_sizes")}};
    wizard.browse_partition("Partition 1 - NTFS");
    wizard.double_click_row("Data"); // /Data: the tree has another folder of that name
    const fs::path target =
        wizard.recover(wizard.window->actions().recoverSelected, "damaged-target",
                       {"huge-size.bin", "intact.bin", "sparse-run.bin"});
    // The summary says what was written where, and lists the damaged files with their reasons.
    auto* summary = control<QLabel>(*wizard.window, "summaryText");
    ASSERT_NE(summary, nullptr);
    const QString text = summary->text();
    EXPECT_TRUE(text.startsWith(QStringLiteral("3 file(s) written to ") +
                                QString::fromStdString(target.string()) + "."))
        << text.toStdString();
    EXPECT_TRUE(text.contains("2 file(s) are damaged and were written only as far as their volume "
                              "goes:"));
    auto* damaged = control<QPlainTextEdit>(*wizard.window, "damagedFiles");
    ASSERT_NE(damaged, nullptr);
    EXPECT_EQ(damaged->toPlainText().toStdString(),
              (target / "huge-size.bin").string() +
                  ": its size field exceeds what its volume can hold\n" +
                  (target / "sparse-run.bin").string() + ": its runs reach past the volume");
    // Its button opens the target folder.
    QUrl opened;
    wizard.window->set_url_opener([&](const QUrl& url) { opened = url; });
    auto* open = control<QPushButton>(*wizard.window, "openTargetFolder");
    ASSERT_NE(open, nullptr);
    wizard.click(open);
    EXPECT_EQ(opened, QUrl::fromLocalFile(QString::fromStdString(target.string())));
    EXPECT_EQ(fs::file_size(target / "intact.bin"), 20000u);
}

TEST(StandardRoadFat, FatPartitionIsRefused) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.open_drive();
    wizard.click_tree_item("Partition 2 - FAT32");
    EXPECT_EQ(panel(*wizard.window)->value("Partition Type"), "FAT32");
    wizard.click(next_button(*wizard.window));
    EXPECT_TRUE(wizard.said(kFatPartitionMessage));
    EXPECT_EQ(wizard.messages.back().kind, MessageKind::Error);
    EXPECT_EQ(wizard.step(), kChoosePartition);
    EXPECT_FALSE(wizard.window->worker_running());
}

} // namespace
} // namespace salvex::test
