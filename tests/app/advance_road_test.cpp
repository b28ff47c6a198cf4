// The Advance Scan road: the range page and its refusals, the sweep, the file systems it found,
// and the tree of the one the user picks.
#include "app/texts.h"
#include "partition/partition_table.h"
#include "partition/quick_search.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/test_images.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTreeView>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex::test {
namespace {

class AdvanceRoadTest : public ::testing::Test {
protected:
    void open_range_page() {
        wizard.click(advance_radio(*wizard.window));
        wizard.open_drive();
        ASSERT_EQ(wizard.step(), kChoosePartition);
    }
    void type_range(const QString& start, const QString& end) {
        start_edit(*wizard.window)->setText(start);
        end_edit(*wizard.window)->setText(end);
    }

    WizardDriver wizard{{image_path("demo")}};
};

TEST_F(AdvanceRoadTest, RangePageStartsOnTheFirstPartitionAndRefusesBadRanges) {
    open_range_page();
    const PartitionInfo first = wizard.session.partitions.entries.front();
    EXPECT_EQ(fs_choice(*wizard.window)->currentText(), "NTFS");
    EXPECT_EQ(start_edit(*wizard.window)->text(), QString::number(first.start));
    EXPECT_EQ(end_edit(*wizard.window)->text(), QString::number(first.start + first.size));
    // The drive item stands for the whole drive, swept for NTFS.
    wizard.click_tree_item("Storage Device0");
    EXPECT_EQ(fs_choice(*wizard.window)->currentText(), "NTFS");
    EXPECT_EQ(start_edit(*wizard.window)->text(), "0");
    EXPECT_EQ(end_edit(*wizard.window)->text(),
              QString::number(wizard.session.drives[0].totalSectors));

    // Bad ranges, ranges past the drive's end and FAT are refused without a sweep.
    const uint64_t total = wizard.session.drives[0].totalSectors;
    const struct {
        int fsChoice;
        QString start, end, refusal;
    } cases[] = {
        {2, "abc", "100", "      Start sector value is not valid, It should be a positive number"},
        {2, "0", "x", "      End sector value is not valid, It should be a positive number"},
        {2, "0", "0", "      End sector should be bigger than start sector"},
        {2, "0", QString::number(total + 1),
         QStringLiteral("The end sector %1 lies past the drive's last sector, %2.")
             .arg(total + 1)
             .arg(total - 1)},
        {1, "0", "1000", kFatPartitionMessage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.refusal.toStdString());
        fs_choice(*wizard.window)->setCurrentIndex(c.fsChoice);
        type_range(c.start, c.end);
        wizard.click(next_button(*wizard.window));
        ASSERT_FALSE(wizard.messages.empty());
        EXPECT_EQ(wizard.messages.back().text, c.refusal);
        EXPECT_EQ(wizard.messages.back().kind, MessageKind::Error);
        EXPECT_FALSE(wizard.window->worker_running());
        EXPECT_EQ(wizard.step(), kChoosePartition);
    }
}

TEST_F(AdvanceRoadTest, SweepFindsTheVolumesAndOneOpensAsATree) {
    open_range_page();
    fs_choice(*wizard.window)->setCurrentIndex(2);
    type_range("0", QString::number(wizard.session.drives[0].totalSectors));
    wizard.click(next_button(*wizard.window));
    EXPECT_EQ(wizard.window->menu_state(), app::MenuState::Idle);
    EXPECT_EQ(panel(*wizard.window)->page(), app::kSweepPanel);
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_EQ(wizard.step(), kChooseFileSystem);
    EXPECT_EQ(wizard.window->menu_state(), app::MenuState::FileSystems);
    TreeNode root = tree(*wizard.window)->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(0), "File Systems");
    ASSERT_GE(root->childCount(), 2);
    EXPECT_EQ(root->child(0)->text(0), "NTFS @2048");

    wizard.click_tree_item("NTFS @184320");
    EXPECT_EQ(panel(*wizard.window)->value("File System Start"), "184320");
    EXPECT_EQ(panel(*wizard.window)->value("Sectors Per Cluster"), "8");
    EXPECT_EQ(panel(*wizard.window)->value("File System Size"), "49152"); // 184320 to 233471
    wizard.click(next_button(*wizard.window));
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_EQ(wizard.step(), kBrowse);
    EXPECT_EQ(wizard.window->menu_state(), app::MenuState::Browsing);
    ASSERT_GE(wizard.row_of("Backup"), 0);
    wizard.double_click_row("Backup");
    EXPECT_GE(wizard.row_of("archive.txt"), 0);
    const int deleted = wizard.row_of("old-archive.txt");
    ASSERT_GE(deleted, 0);
    EXPECT_TRUE(wizard.cell(deleted, app::kTypeColumn).startsWith("Deleted "));

    // The rebuilt volume's files are recovered from the sectors the sweep found them in.
    const std::filesystem::path target =
        wizard.recover(wizard.window->actions().recoverSelected, "advance-target", {"archive.txt"});
    EXPECT_EQ(std::filesystem::file_size(target / "archive.txt"), 20000u);

    // Back walks the pages in reverse.
    wizard.answers.push_back(true); // yes, discard the scan
    wizard.click(back_button(*wizard.window));
    EXPECT_EQ(wizard.step(), kChooseFileSystem);
    EXPECT_EQ(wizard.window->menu_state(), app::MenuState::FileSystems);
    EXPECT_TRUE(wizard.session.scan.items.files.empty());
    EXPECT_EQ(tree(*wizard.window)->topLevelItem(0)->text(0), "File Systems");
    wizard.click(back_button(*wizard.window));
    EXPECT_EQ(wizard.step(), kChoosePartition);
    EXPECT_TRUE(wizard.session.candidates.empty());
    EXPECT_EQ(wizard.window->menu_state(), app::MenuState::Partitions);
    wizard.click(back_button(*wizard.window));
    EXPECT_EQ(wizard.step(), kChooseDrive);
    EXPECT_FALSE(wizard.session.drive_open());
}

TEST(AdvanceStopTest, StopEndsALongSweepAndTheWizardGoesOn) {
    // A large sparse image: the sweep would read it for minutes.
    const std::string path = temp_path("sparse") + ".img";
    std::filesystem::remove(path);
    { std::ofstream(path).put('\0'); }
    std::filesystem::resize_file(path, uint64_t{64} << 30);
    WizardDriver wizard{{path}};
    wizard.click(advance_radio(*wizard.window));
    wizard.open_drive();
    // A blank disk has no table: the quick search runs and finds nothing either.
    EXPECT_TRUE(wizard.said(kNoPartitionsFoundMessage));
    ASSERT_TRUE(wizard.wait_idle());
    EXPECT_TRUE(wizard.said(kNoLostPartitionAdvanceMessage));
    ASSERT_EQ(wizard.step(), kChoosePartition);
    fs_choice(*wizard.window)->setCurrentIndex(2);
    start_edit(*wizard.window)->setText("0");
    end_edit(*wizard.window)->setText(QString::number(wizard.session.drives[0].totalSectors));
    wizard.click(next_button(*wizard.window));
    ASSERT_TRUE(wizard.window->worker_running());
    EXPECT_FALSE(back_button(*wizard.window)->isEnabled());
    EXPECT_FALSE(next_button(*wizard.window)->isEnabled());
    QTest::qWait(100);
    // No keeps it running; Yes stops it.
    wizard.answers = {false};
    wizard.click(stop_button(*wizard.window));
    EXPECT_TRUE(wizard.said(app::kStopQuestion));
    QTest::qWait(50);
    EXPECT_TRUE(wizard.window->worker_running());
    wizard.answers = {true};
    wizard.click(stop_button(*wizard.window));
    EXPECT_TRUE(wizard.wait_idle(10000));
    EXPECT_EQ(wizard.session.state.stopRequested.load(), 0);
    EXPECT_EQ(wizard.step(), kChooseFileSystem);
    EXPECT_TRUE(wizard.session.candidates.empty());
    EXPECT_FALSE(next_button(*wizard.window)->isVisible());
    wizard.click(back_button(*wizard.window));
    EXPECT_EQ(wizard.step(), kChoosePartition);
    std::filesystem::remove(path);
}

} // namespace
} // namespace salvex::test
