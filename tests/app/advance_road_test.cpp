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
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex::test {
namespace {

class AdvanceRoadTest : public ::testing::Test {
protected:
    void open_range_page() {
        wizard.click(wizard.window->advance_radio());
        wizard.click_tree_item("Storage Device0");
        wizard.click(wizard.window->next_button());
        ASSERT_EQ(wizard.step(), app::kChoosePartition);
    }
    void type_range(const QString& start, const QString& end) {
        wizard.window->start_edit()->setText(start);
        wizard.window->end_edit()->setText(end);
    }

    WizardDriver wizard{{image_path("demo")}};
};

TEST_F(AdvanceRoadTest, RangePageStartsOnTheFirstPartition) {
    open_range_page();
    const PartitionInfo first = wizard.session.partitions.entries.front();
    EXPECT_EQ(wizard.window->fs_choice()->currentText(), "NTFS");
    EXPECT_EQ(wizard.window->start_edit()->text(), QString::number(first.start));
    EXPECT_EQ(wizard.window->end_edit()->text(), QString::number(first.start + first.size));
    // The drive item stands for the whole drive.
    wizard.click_tree_item("Storage Device0");
    EXPECT_EQ(wizard.window->fs_choice()->currentText(), "FAT32");
    EXPECT_EQ(wizard.window->start_edit()->text(), "0");
    EXPECT_EQ(wizard.window->end_edit()->text(),
              QString::number(wizard.session.drives[0].totalSectors));
}

TEST_F(AdvanceRoadTest, BadRangesAndFatAreRefusedWithoutASweep) {
    open_range_page();
    const std::pair<QString, QString> ranges[] = {{"abc", "100"}, {"0", "x"}, {"0", "0"}};
    const char* refusals[] = {
        "      Start sector value is not valid, It should be a positive number",
        "      End sector value is not valid, It should be a positive number",
        "      End sector should be bigger than start sector"};
    wizard.window->fs_choice()->setCurrentIndex(2);
    for (size_t i = 0; i < 3; ++i) {
        type_range(ranges[i].first, ranges[i].second);
        wizard.click(wizard.window->next_button());
        EXPECT_TRUE(wizard.said(refusals[i])) << refusals[i];
        EXPECT_EQ(wizard.messages.back().kind, MessageKind::Error);
    }
    wizard.window->fs_choice()->setCurrentIndex(1);
    type_range("0", "1000");
    wizard.click(wizard.window->next_button());
    EXPECT_TRUE(wizard.said(app::kFatRefusal));
    EXPECT_FALSE(wizard.window->worker_running());
    EXPECT_EQ(wizard.step(), app::kChoosePartition);
}

TEST_F(AdvanceRoadTest, RangePastTheDrivesEndIsRefusedWithItsLastSector) {
    open_range_page();
    auto* start = wizard.window->findChild<QLineEdit*>(QStringLiteral("startSector"));
    auto* end = wizard.window->findChild<QLineEdit*>(QStringLiteral("endSector"));
    ASSERT_NE(start, nullptr);
    ASSERT_NE(end, nullptr);
    wizard.window->fs_choice()->setCurrentIndex(2);
    const uint64_t total = wizard.session.drives[0].totalSectors;
    start->setText("0");
    end->setText(QString::number(total + 1));
    wizard.click(wizard.window->next_button());
    ASSERT_FALSE(wizard.messages.empty());
    EXPECT_EQ(wizard.messages.back().text, QStringLiteral("The end sector %1 lies past the "
                                                          "drive's last sector, %2.")
                                               .arg(total + 1)
                                               .arg(total - 1));
    EXPECT_EQ(wizard.messages.back().kind, MessageKind::Error);
    EXPECT_FALSE(wizard.window->worker_running());
    EXPECT_EQ(wizard.step(), app::kChoosePartition);
}

TEST_F(AdvanceRoadTest, SweepFindsTheVolumesAndOneOpensAsATree) {
    open_range_page();
    wizard.window->fs_choice()->setCurrentIndex(2);
    type_range("0", QString::number(wizard.session.drives[0].totalSectors));
    wizard.click(wizard.window->next_button());
    EXPECT_EQ(wizard.window->menu_state(), 0);
    EXPECT_EQ(wizard.window->panel()->page(), app::kSweepPanel);
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_EQ(wizard.step(), app::kChooseFileSystem);
    EXPECT_EQ(wizard.window->menu_state(), 2);
    QTreeWidgetItem* root = wizard.window->tree()->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(0), "File Systems");
    ASSERT_GE(root->childCount(), 2);
    EXPECT_EQ(root->child(0)->text(0), "NTFS @2048");

    wizard.click_tree_item("NTFS @184320");
    EXPECT_EQ(wizard.window->panel()->value("File System Start"), "184320");
    EXPECT_EQ(wizard.window->panel()->value("Sectors Per Cluster"), "8");
    EXPECT_EQ(wizard.window->panel()->value("File System Size"), "49152"); // 184320 to 233471
    wizard.click(wizard.window->next_button());
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_EQ(wizard.step(), app::kBrowse);
    EXPECT_EQ(wizard.window->menu_state(), 3);
    ASSERT_GE(wizard.row_of("Backup"), 0);
    wizard.double_click_row("Backup");
    EXPECT_GE(wizard.row_of("archive.txt"), 0);
    const int deleted = wizard.row_of("old-archive.txt");
    ASSERT_GE(deleted, 0);
    EXPECT_TRUE(wizard.cell(deleted, app::kTypeColumn).startsWith("Deleted "));

    // The rebuilt volume's files are recovered from the sectors the sweep found them in.
    const std::filesystem::path target = temp_path("advance-target");
    std::filesystem::remove_all(target);
    std::filesystem::create_directories(target);
    wizard.recoveryTarget = QString::fromStdString(target.string());
    wizard.select_rows({"archive.txt"});
    wizard.window->actions().recoverSelected->trigger();
    ASSERT_TRUE(wizard.wait_idle());
    EXPECT_EQ(std::filesystem::file_size(target / "archive.txt"), 20000u);

    // Back walks the pages in reverse.
    wizard.click(wizard.window->back_button());
    EXPECT_EQ(wizard.step(), app::kChooseFileSystem);
    EXPECT_EQ(wizard.window->menu_state(), 2);
    EXPECT_TRUE(wizard.session.scan.items.files.empty());
    EXPECT_EQ(wizard.window->tree()->topLevelItem(0)->text(0), "File Systems");
    wizard.click(wizard.window->back_button());
    EXPECT_EQ(wizard.step(), app::kChoosePartition);
    EXPECT_TRUE(wizard.session.candidates.empty());
    EXPECT_EQ(wizard.window->menu_state(), 1);
    wizard.click(wizard.window->back_button());
    EXPECT_EQ(wizard.step(), app::kChooseDrive);
    EXPECT_FALSE(wizard.session.drive_open());
}

TEST(AdvanceStopTest, StopEndsALongSweepAndTheWizardGoesOn) {
    // A large sparse image: the sweep would read it for minutes.
    const std::string path = temp_path("sparse") + ".img";
    std::filesystem::remove(path);
    { std::ofstream(path).put('\0'); }
    std::filesystem::resize_file(path, uint64_t{64} << 30);
    WizardDriver wizard{{path}};
    wizard.click(wizard.window->advance_radio());
    wizard.click_tree_item("Storage Device0");
    wizard.click(wizard.window->next_button());
    // A blank disk has no table: the quick search runs and finds nothing either.
    EXPECT_TRUE(wizard.said(kNoPartitionsFoundMessage));
    ASSERT_TRUE(wizard.wait_idle());
    EXPECT_TRUE(wizard.said(kNoLostPartitionAdvanceMessage));
    ASSERT_EQ(wizard.step(), app::kChoosePartition);
    wizard.window->fs_choice()->setCurrentIndex(2);
    wizard.window->start_edit()->setText("0");
    wizard.window->end_edit()->setText(QString::number(wizard.session.drives[0].totalSectors));
    wizard.click(wizard.window->next_button());
    ASSERT_TRUE(wizard.window->worker_running());
    EXPECT_FALSE(wizard.window->back_button()->isEnabled());
    EXPECT_FALSE(wizard.window->next_button()->isEnabled());
    QTest::qWait(100);
    // No keeps it running; Yes stops it.
    wizard.answers = {false};
    wizard.click(wizard.window->stop_button());
    EXPECT_TRUE(wizard.said(app::kStopQuestion));
    QTest::qWait(50);
    EXPECT_TRUE(wizard.window->worker_running());
    wizard.answers = {true};
    wizard.click(wizard.window->stop_button());
    EXPECT_TRUE(wizard.wait_idle(10000));
    EXPECT_EQ(wizard.session.state.stopRequested.load(), 0);
    EXPECT_EQ(wizard.step(), app::kChooseFileSystem);
    EXPECT_TRUE(wizard.session.candidates.empty());
    EXPECT_FALSE(wizard.window->next_button()->isVisible());
    wizard.click(wizard.window->back_button());
    EXPECT_EQ(wizard.step(), app::kChoosePartition);
    std::filesystem::remove(path);
}

} // namespace
} // namespace salvex::test
