// Saving the shown tree as a snapshot and browsing it again after a load, without a scan.
#include "app/texts.h"
#include "snapshot/snapshot_reader.h"
#include "snapshot/snapshot_writer.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/scanned_volume.h"
#include "tests/support/sha256.h"
#include "tests/support/test_images.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex::test {
namespace {

namespace fs = std::filesystem;

TEST(SnapshotCommandsTest, SavedTreeLoadsBackOnThePartitionPage) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.scan_partition("Partition 3 - NTFS");
    ASSERT_EQ(wizard.step(), app::kBrowse);
    EXPECT_FALSE(wizard.window->actions().loadSnapshot->isEnabled());
    const fs::path folder = temp_path("snapshots");
    fs::remove_all(folder);
    fs::create_directories(folder);
    QString answer = QString::fromStdString((folder / "backup").string());
    wizard.window->set_snapshot_chooser([&answer](bool) { return answer; });
    // A folder renamed before the save keeps its new name in the snapshot.
    wizard.select_rows({"Backup"});
    ASSERT_TRUE(wizard.window->list_model()->setData(
        wizard.window->list_model()->index(wizard.row_of("Backup"), 0), "Saved", Qt::EditRole));
    EXPECT_EQ(
        wizard.window->tree()->findItems("Saved", Qt::MatchExactly | Qt::MatchRecursive).size(), 1);
    wizard.window->actions().saveSnapshot->trigger();
    const fs::path saved = folder / "BACKUP.QRSX";
    ASSERT_TRUE(fs::exists(saved));

    wizard.click(wizard.window->back_button());
    ASSERT_EQ(wizard.step(), app::kChoosePartition);
    EXPECT_TRUE(wizard.session.scan.items.files.empty());
    answer = QString::fromStdString(saved.string());
    wizard.window->actions().loadSnapshot->trigger();
    ASSERT_EQ(wizard.step(), app::kBrowse);
    EXPECT_EQ(wizard.window->menu_state(), 3);
    EXPECT_EQ(wizard.session.state.rangeStart, 184320u);
    EXPECT_EQ(wizard.window->tree()->topLevelItem(0)->text(0), "Root");
    ASSERT_GE(wizard.row_of("Saved"), 0);
    wizard.double_click_row("Saved");
    EXPECT_GE(wizard.row_of("archive.txt"), 0);
    EXPECT_GE(wizard.row_of("old-archive.txt"), 0);
}

TEST(SnapshotCommandsTest, AdvanceScanSnapshotLoadsAsAStandardTreeAndRecoversTheSameBytes) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.open_advance_range("0", QString::number(wizard.session.drives[0].totalSectors));
    wizard.click(wizard.window->next_button());
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_EQ(wizard.step(), app::kChooseFileSystem);
    // The demo disk's lost partition: no table entry, found by the sweep.
    wizard.click_tree_item("NTFS @233472");
    wizard.click(wizard.window->next_button());
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_EQ(wizard.step(), app::kBrowse);

    const fs::path folder = temp_path("advance-snapshot");
    fs::remove_all(folder);
    fs::create_directories(folder / "out");
    const QString file = QString::fromStdString((folder / "lost").string());
    wizard.window->set_snapshot_chooser([&file](bool) { return file; });
    wizard.window->actions().saveSnapshot->trigger();
    const fs::path saved = folder / "LOST.QRSX";
    ASSERT_TRUE(fs::exists(saved));

    // Back to the range page, where snapshots load, and load it: a Standard Scan tree.
    wizard.click(wizard.window->back_button());
    wizard.click(wizard.window->back_button());
    ASSERT_EQ(wizard.step(), app::kChoosePartition);
    const QString load = QString::fromStdString(saved.string());
    wizard.window->set_snapshot_chooser([&load](bool) { return load; });
    wizard.window->actions().loadSnapshot->trigger();
    ASSERT_EQ(wizard.step(), app::kBrowse);
    EXPECT_EQ(wizard.session.state.scanMode, ScanMode::Standard);
    ASSERT_GE(wizard.row_of("Holiday"), 0);
    wizard.double_click_row("Holiday");
    ASSERT_GE(wizard.row_of("beach.jpg"), 0);

    wizard.recoveryTarget = QString::fromStdString((folder / "out").string());
    wizard.select_rows({"beach.jpg", "notes.txt"});
    wizard.window->actions().recoverSelected->trigger();
    ASSERT_TRUE(wizard.wait_idle());
    for (const auto& e : read_manifest(source_data_path("demo_lost.manifest.tsv"))) {
        if (e.path == "/Holiday/beach.jpg" || e.path == "/Holiday/notes.txt") {
            ASSERT_TRUE(fs::exists(folder / "out" / e.path.substr(9))) << e.path;
            EXPECT_EQ(sha256_of_file((folder / "out" / e.path.substr(9)).string()), e.sha256)
                << e.path;
        }
    }
}

TEST(SnapshotCommandsTest, ForeignFileIsRefusedAndNothingChanges) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.click_tree_item("Storage Device0");
    wizard.click(wizard.window->next_button());
    const std::string path = temp_path("foreign") + ".QRSX";
    std::ofstream(path) << "not a snapshot at all";
    wizard.window->set_snapshot_chooser([&path](bool) { return QString::fromStdString(path); });
    wizard.window->actions().loadSnapshot->trigger();
    ASSERT_FALSE(wizard.messages.empty());
    EXPECT_TRUE(wizard.messages.back().text.startsWith(kSnapshotBadTagMessage));
    EXPECT_EQ(wizard.messages.back().kind, MessageKind::Error);
    EXPECT_EQ(wizard.step(), app::kChoosePartition);
    fs::remove(path);
}

} // namespace
} // namespace salvex::test

namespace salvex::test {
namespace {

// A volume with 100,000 folders and 100,000 files in its root opens from a snapshot into the
// tree and the list (the list holds rows, not widgets: it opens at once).
TEST(SnapshotCommandsTest, HundredThousandItemsOpenInTheTreeAndTheList) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.scan_partition("Partition 1 - NTFS");
    ASSERT_EQ(wizard.step(), app::kBrowse);
    NtfsItems& items = wizard.session.scan.items;
    const size_t folders = items.folders.size();
    const size_t files = items.files.size();
    for (uint32_t i = 0; i < 100000; ++i) {
        FolderNode folder;
        folder.name = "folder" + std::to_string(i);
        folder.recordNumber = 1000000 + i;
        items.add_folder(folder, ScanMode::Standard);
        FileNode file;
        file.name = "file" + std::to_string(i) + ".txt";
        file.recordSector = 2048 + i;
        items.add_file(file);
    }
    const std::string path = snapshot_path(temp_path("big"));
    wizard.window->set_snapshot_chooser([&path](bool) { return QString::fromStdString(path); });
    wizard.window->actions().saveSnapshot->trigger();
    wizard.click(wizard.window->back_button());
    wizard.window->actions().loadSnapshot->trigger();
    ASSERT_EQ(wizard.step(), app::kBrowse);
    EXPECT_EQ(wizard.window->tree()->topLevelItem(0)->childCount(),
              static_cast<int>(wizard.session.scan.tree.root().children.size()));
    EXPECT_GE(wizard.window->tree()->topLevelItem(0)->childCount(), 100000);
    EXPECT_EQ(wizard.session.scan.items.folders.size(), folders + 100000);
    EXPECT_EQ(wizard.session.scan.items.files.size(), files + 100000);
    EXPECT_GE(wizard.window->list_model()->rowCount(), 200000);
    EXPECT_GE(wizard.row_of("file99999.txt"), 0);
    std::filesystem::remove(path);
}

} // namespace
} // namespace salvex::test
