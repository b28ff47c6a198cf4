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
#include <QTreeView>
#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex::test {
namespace {

namespace fs = std::filesystem;

TEST(SnapshotCommandsTest, SavedTreeLoadsBackOnThePartitionPage) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.browse_partition("Partition 3 - NTFS");
    EXPECT_FALSE(wizard.window->actions().loadSnapshot->isEnabled());
    const fs::path folder = empty_temp_folder("snapshots");
    // A folder renamed before the save keeps its new name in the snapshot.
    wizard.select_rows({"Backup"});
    ASSERT_TRUE(list_model(*wizard.window)
                    ->setData(list_model(*wizard.window)->index(wizard.row_of("Backup"), 0),
                              "Saved", Qt::EditRole));
    EXPECT_EQ(
        tree(*wizard.window)->findItems("Saved", Qt::MatchExactly | Qt::MatchRecursive).size(), 1);
    wizard.save_snapshot((folder / "backup").string());
    const fs::path saved = folder / "BACKUP.QRSX";
    ASSERT_TRUE(fs::exists(saved));

    wizard.answers.push_back(true); // yes, discard the scan
    wizard.click(back_button(*wizard.window));
    ASSERT_EQ(wizard.step(), kChoosePartition);
    EXPECT_TRUE(wizard.session.scan.items.files.empty());
    wizard.load_snapshot(saved.string());
    ASSERT_EQ(wizard.step(), kBrowse);
    EXPECT_EQ(wizard.window->menu_state(), app::MenuState::Browsing);
    EXPECT_EQ(wizard.session.state.rangeStart, 184320u);
    EXPECT_EQ(tree(*wizard.window)->topLevelItem(0)->text(0), "Root");
    ASSERT_GE(wizard.row_of("Saved"), 0);
    wizard.double_click_row("Saved");
    EXPECT_GE(wizard.row_of("archive.txt"), 0);
    EXPECT_GE(wizard.row_of("old-archive.txt"), 0);
}

TEST(SnapshotCommandsTest, AdvanceScanSnapshotLoadsAsAStandardTreeAndRecoversTheSameBytes) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.open_advance_range("0", QString::number(wizard.session.drives[0].totalSectors));
    wizard.click(next_button(*wizard.window));
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_EQ(wizard.step(), kChooseFileSystem);
    // The demo disk's lost partition: no table entry, found by the sweep.
    wizard.click_tree_item("NTFS @233472");
    wizard.click(next_button(*wizard.window));
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_EQ(wizard.step(), kBrowse);

    const fs::path folder = empty_temp_folder("advance-snapshot");
    wizard.save_snapshot((folder / "lost").string());
    const fs::path saved = folder / "LOST.QRSX";
    ASSERT_TRUE(fs::exists(saved));

    // Back to the range page, where snapshots load, and load it: a Standard Scan tree.
    wizard.answers.push_back(true); // yes, discard the scan
    wizard.click(back_button(*wizard.window));
    wizard.click(back_button(*wizard.window));
    ASSERT_EQ(wizard.step(), kChoosePartition);
    wizard.load_snapshot(saved.string());
    ASSERT_EQ(wizard.step(), kBrowse);
    EXPECT_EQ(wizard.session.state.scanMode, ScanMode::Standard);
    ASSERT_GE(wizard.row_of("Holiday"), 0);
    wizard.double_click_row("Holiday");
    ASSERT_GE(wizard.row_of("beach.jpg"), 0);

    const fs::path out = wizard.recover(wizard.window->actions().recoverSelected,
                                        "advance-snapshot-out", {"beach.jpg", "notes.txt"});
    for (const auto& e : read_manifest(source_data_path("demo_lost.manifest.tsv"))) {
        if (e.path == "/Holiday/beach.jpg" || e.path == "/Holiday/notes.txt") {
            ASSERT_TRUE(fs::exists(out / e.path.substr(9))) << e.path;
            EXPECT_EQ(sha256_of_file((out / e.path.substr(9)).string()), e.sha256) << e.path;
        }
    }
}

TEST(SnapshotCommandsTest, ForeignFileIsRefusedAndNothingChanges) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.open_drive();
    const std::string path = temp_path("foreign") + ".QRSX";
    std::ofstream(path) << "not a snapshot at all";
    wizard.load_snapshot(path);
    ASSERT_FALSE(wizard.messages.empty());
    EXPECT_TRUE(wizard.messages.back().text.startsWith(kSnapshotBadTagMessage));
    EXPECT_EQ(wizard.messages.back().kind, MessageKind::Error);
    EXPECT_EQ(wizard.step(), kChoosePartition);
    fs::remove(path);
}

TEST(SnapshotCommandsTest, TheExaminedImageIsNeverSavedOverAnotherNameMayBeChosen) {
    // A copy of a disk image, named as the snapshot "disk" would be.
    const fs::path folder = empty_temp_folder("over-the-image");
    const std::string image = (folder / "DISK.QRSX").string();
    fs::copy_file(image_path("ntfs_tree"), image);
    const std::string before = sha256_of_file(image);
    WizardDriver wizard{{image}};
    wizard.browse_partition("Partition 1 - NTFS");
    wizard.messages.clear();
    // "disk" becomes DISK.QRSX, the image itself; asked for another name, the user gives one.
    std::deque<QString> chosen{QString::fromStdString((folder / "disk").string()),
                               QString::fromStdString((folder / "scan").string())};
    wizard.window->set_snapshot_chooser([&chosen](bool) {
        const QString next = chosen.empty() ? QString() : chosen.front();
        if (!chosen.empty())
            chosen.pop_front();
        return next;
    });
    wizard.answers = {true};
    wizard.window->actions().saveSnapshot->trigger();
    ASSERT_FALSE(wizard.messages.empty());
    EXPECT_TRUE(wizard.messages.front().question);
    EXPECT_EQ(wizard.messages.front().text,
              QString::fromStdString(image + " is the disk being examined: a snapshot is never "
                                             "saved over it. Choose another name?"));
    EXPECT_TRUE(fs::exists(folder / "SCAN.QRSX"));
    EXPECT_EQ(sha256_of_file(image), before);

    // Answered No, nothing is saved anywhere.
    chosen = {QString::fromStdString((folder / "disk").string())};
    wizard.messages.clear();
    wizard.window->actions().saveSnapshot->trigger();
    ASSERT_EQ(wizard.messages.size(), 1u);
    EXPECT_TRUE(wizard.messages.front().question);
    EXPECT_EQ(sha256_of_file(image), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

TEST(SnapshotCommandsTest, AFileThatIsNotASnapshotIsReplacedOnlyWhenTheUserSaysSo) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.browse_partition("Partition 3 - NTFS");
    wizard.messages.clear();
    const fs::path folder = empty_temp_folder("not-a-snapshot");
    const fs::path notes = folder / "NOTES.QRSX";
    std::ofstream(notes) << "my notes";
    wizard.save_snapshot((folder / "notes").string());
    ASSERT_EQ(wizard.messages.size(), 1u);
    EXPECT_TRUE(wizard.messages.back().question);
    EXPECT_EQ(wizard.messages.back().text,
              QString::fromStdString(notes.string() + " exists and is not a snapshot file. "
                                                      "Replace it?"));
    EXPECT_EQ(fs::file_size(notes), 8u);

    wizard.answers = {true};
    wizard.save_snapshot((folder / "notes").string());
    std::ifstream saved(notes, std::ios::binary);
    std::string tag(7, '\0');
    saved.read(tag.data(), 7);
    EXPECT_EQ(tag, "qrs4.03");
    // An earlier snapshot is replaced without a question.
    wizard.messages.clear();
    wizard.save_snapshot((folder / "notes").string());
    EXPECT_TRUE(wizard.messages.empty());
}

// A snapshot of the demo disk's first partition, saved as the command line would.
std::string demo_snapshot(const std::string& stem) {
    const auto demo = scan_image_partition("demo", 1);
    const std::string path = snapshot_path(temp_path(stem));
    EXPECT_TRUE(save_snapshot(path, {FsType::Ntfs, 0, 0, 0, 1}, demo.scan.volume, demo.scan.items,
                              image_path("demo"))
                    .ok());
    return path;
}

TEST(SnapshotCommandsTest, AnotherDisksSnapshotIsRefusedAChangedDisksLoadsWithAWarning) {
    const std::string snapshot = demo_snapshot("demo-one");
    {
        WizardDriver wizard{{image_path("ntfs_tree")}};
        wizard.open_drive();
        wizard.load_snapshot(snapshot);
        ASSERT_FALSE(wizard.messages.empty());
        EXPECT_TRUE(
            wizard.messages.back().text.startsWith("The snapshot does not belong to this drive: "))
            << wizard.messages.back().text.toStdString();
        EXPECT_EQ(wizard.messages.back().kind, MessageKind::Error);
        EXPECT_EQ(wizard.step(), kChoosePartition);
        EXPECT_TRUE(wizard.session.scan.items.files.empty());
    }
    // The demo disk with the record of the list's first file wiped since the snapshot.
    const auto demo = scan_image_partition("demo", 1);
    const std::string changed = damaged_copy("demo", {demo.scan.items.files[0].recordSector});
    WizardDriver wizard{{changed}};
    wizard.open_drive();
    wizard.load_snapshot(snapshot);
    ASSERT_EQ(wizard.step(), kBrowse);
    ASSERT_FALSE(wizard.messages.empty());
    EXPECT_TRUE(wizard.messages.back().text.startsWith(
        "The drive has changed since the snapshot was made: 1 of "))
        << wizard.messages.back().text.toStdString();
    EXPECT_EQ(wizard.messages.back().kind, MessageKind::Information);
    EXPECT_EQ(wizard.session.scan.items.files.size(), demo.scan.items.files.size());
}

// A volume with 100,000 folders and 100,000 files in its root opens from a snapshot into the
// tree and the list (the list holds rows, not widgets: it opens at once).
TEST(SnapshotCommandsTest, HundredThousandItemsOpenInTheTreeAndTheList) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.browse_partition("Partition 1 - NTFS");
    NtfsItems& items = wizard.session.scan.items;
    const size_t folders = items.folders.size();
    const size_t files = items.files.size();
    // The files are renamed copies of a file of the root, so that the load finds each in its
    // record (the folders' record numbers lie beyond the $MFT: there is nothing to compare).
    const auto inRoot = std::find_if(items.files.begin(), items.files.end(), [](const FileNode& f) {
        return f.parent == kRootFolderRecord && f.stream.empty() && f.creationTime != 0;
    });
    ASSERT_NE(inRoot, items.files.end());
    const FileNode original = *inRoot;
    for (uint32_t i = 0; i < 100000; ++i) {
        FolderNode folder;
        folder.name = "folder" + std::to_string(i);
        folder.recordNumber = 1000000 + i;
        items.add_folder(folder, ScanMode::Standard);
        FileNode file = original;
        file.name = "file" + std::to_string(i) + ".txt";
        items.add_file(file);
    }
    const std::string path = snapshot_path(temp_path("big"));
    wizard.save_snapshot(path);
    wizard.answers.push_back(true); // yes, discard the scan
    wizard.click(back_button(*wizard.window));
    wizard.load_snapshot(path);
    ASSERT_EQ(wizard.step(), kBrowse);
    EXPECT_EQ(tree(*wizard.window)->topLevelItem(0)->childCount(),
              static_cast<int>(wizard.session.scan.tree.root().children.size()));
    EXPECT_GE(tree(*wizard.window)->topLevelItem(0)->childCount(), 100000);
    EXPECT_EQ(wizard.session.scan.items.folders.size(), folders + 100000);
    EXPECT_EQ(wizard.session.scan.items.files.size(), files + 100000);
    EXPECT_GE(list_model(*wizard.window)->rowCount(), 200000);
    EXPECT_GE(wizard.row_of("file99999.txt"), 0);
    std::filesystem::remove(path);
}

} // namespace
} // namespace salvex::test
