// The wizard's pages on their own: the drive page, Back from every page, the menu states, the
// quick search after an empty walk, Exit and Escape.
#include "app/texts.h"
#include "partition/partition_table.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/test_images.h"

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTest>
#include <QTreeView>
#include <QUrl>
#include <gtest/gtest.h>

namespace salvex::test {
namespace {

TEST(DrivePageTest, ListsImagesUnderMyComputerAndShowsTheDrive) {
    WizardDriver wizard{{image_path("demo")}};
    app::MainWindow& window = *wizard.window;
    EXPECT_EQ(window.windowTitle(), "Orvanel Salvex NTFS");
    TreeNode root = tree(window)->topLevelItem(0);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->text(0), "My Computer");
    ASSERT_EQ(root->childCount(), 1);
    EXPECT_TRUE(root->child(0)->text(0).startsWith("Storage Device0 - demo.img ("))
        << root->child(0)->text(0).toStdString();
    EXPECT_TRUE(standard_radio(window)->isChecked());
    EXPECT_EQ(wizard.session.state.scanMode, ScanMode::Standard);
    EXPECT_FALSE(next_button(window)->isVisible());
    EXPECT_EQ(window.menu_state(), app::MenuState::Idle);
    EXPECT_TRUE(window.actions().settings->isEnabled());
    EXPECT_FALSE(window.actions().recoverAll->isEnabled());
    EXPECT_FALSE(window.actions().loadSnapshot->isEnabled());
    EXPECT_EQ(quick_help(window)->text(), app::displayed(app::kChooseDriveHelp).trimmed());
    EXPECT_EQ(progress_bar(window)->maximum(), 99);

    wizard.click_tree_item("Storage Device0");
    EXPECT_TRUE(next_button(window)->isVisible());
    EXPECT_EQ(panel(window)->value("Capacity"),
              QString::fromStdString(drive_capacity_text(wizard.session.drives[0])));
    EXPECT_EQ(panel(window)->value("Head"), "255");
    EXPECT_EQ(panel(window)->value("Sectors Per Track"), "63");

    // A second image, as if dropped or chosen from the menu.
    window.set_image_chooser(
        [] { return QStringList{QString::fromStdString(image_path("mbr_primaries"))}; });
    window.actions().openImage->trigger();
    EXPECT_EQ(tree(window)->topLevelItem(0)->childCount(), 2);
}

TEST(DrivePageTest, WithoutDrivesTheHelpSaysHowToOpenAnImageAndADroppedOneJoins) {
    WizardDriver wizard;
    EXPECT_EQ(tree(*wizard.window)->topLevelItem(0)->childCount(), 0);
    EXPECT_EQ(quick_help(*wizard.window)->text(), app::displayed(app::kNoDriveHelp).trimmed());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(image_path("demo")))});
    const QPoint at = wizard.window->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(wizard.window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(wizard.window.get(), &drop);
    ASSERT_EQ(wizard.session.drives.size(), 1u);
    // The dropped image is named with its file and size (262,144 sectors of 512 bytes) and chosen
    // at once: Next leads on from it.
    TreeNode current = tree(*wizard.window)->currentItem();
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(current, tree(*wizard.window)->topLevelItem(0)->child(0));
    EXPECT_EQ(current->text(0), "Storage Device0 - demo.img (128.0 MB)");
    EXPECT_EQ(wizard.session.state.driveIndex, 0u);
    EXPECT_TRUE(next_button(*wizard.window)->isVisible());
}

TEST(WizardPagesTest, BackFromEveryStandardPageAndTheMenuStates) {
    WizardDriver wizard{{image_path("demo")}};
    app::MainWindow& window = *wizard.window;
    wizard.open_drive();
    ASSERT_EQ(wizard.step(), kChoosePartition);
    EXPECT_TRUE(wizard.session.drive_open());
    EXPECT_EQ(window.menu_state(), app::MenuState::Partitions);
    EXPECT_TRUE(window.actions().loadSnapshot->isEnabled());
    EXPECT_FALSE(window.actions().findFiles->isEnabled());
    EXPECT_TRUE(search_button(window)->isVisible());
    EXPECT_EQ(quick_help(window)->text(), app::displayed(app::kChoosePartitionHelp).trimmed());
    EXPECT_EQ(tree(window)->topLevelItem(0)->childCount(), 3);

    wizard.click_tree_item("Partition 3 - NTFS");
    EXPECT_EQ(panel(window)->value("Partition Start"), "184320");
    wizard.click(next_button(window));
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_EQ(wizard.step(), kBrowse);
    EXPECT_EQ(window.menu_state(), app::MenuState::Browsing);
    EXPECT_TRUE(window.actions().details->isEnabled());
    EXPECT_TRUE(wizard.said(kTryAdvanceScanMessage));

    // Back from the tree goes to the partition page (the scan page is not a stop).
    window.actions().icons->trigger();
    EXPECT_TRUE(icon_view(window)->isVisible());
    EXPECT_FALSE(details_view(window)->isVisible());
    wizard.answers.push_back(true); // yes, discard the scan
    wizard.click(back_button(window));
    EXPECT_EQ(wizard.step(), kChoosePartition);
    // The list is back in its details view, shown the next time a tree is browsed.
    const auto* views = qobject_cast<QStackedWidget*>(details_view(window)->parentWidget());
    ASSERT_NE(views, nullptr);
    EXPECT_EQ(views->currentWidget(), details_view(window));
    EXPECT_EQ(window.menu_state(), app::MenuState::Partitions);
    EXPECT_TRUE(wizard.session.scan.items.files.empty());
    EXPECT_EQ(list_model(window)->rowCount(), 0);
    EXPECT_TRUE(tree(window)->topLevelItem(0)->text(0).startsWith("Storage Device0 - "));

    wizard.click(back_button(window));
    EXPECT_EQ(wizard.step(), kChooseDrive);
    EXPECT_FALSE(wizard.session.drive_open());
    EXPECT_EQ(window.menu_state(), app::MenuState::Idle);
    EXPECT_FALSE(back_button(window)->isEnabled());
    EXPECT_EQ(tree(window)->topLevelItem(0)->text(0), "My Computer");

    // Next opens the drive again.
    wizard.open_drive();
    EXPECT_TRUE(wizard.session.drive_open());
}

TEST(WizardPagesTest, EmptyWalkStartsTheQuickSearch) {
    WizardDriver wizard{{image_path("lost_mbr_zeroed")}};
    wizard.open_drive();
    EXPECT_TRUE(wizard.said(kNoPartitionsFoundMessage));
    ASSERT_TRUE(wizard.wait_idle());
    EXPECT_EQ(wizard.step(), kChoosePartition);
    EXPECT_FALSE(wizard.session.partitions.empty());
    EXPECT_EQ(tree(*wizard.window)->topLevelItem(0)->childCount(),
              static_cast<int>(wizard.session.partitions.size()));
}

TEST(WizardPagesTest, SearchPartitionsFindsTheLostVolumeToo) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.open_drive();
    const size_t listed = wizard.session.partitions.size();
    bool lostListed = wizard.session.partitions.has_start(233472);
    EXPECT_FALSE(lostListed); // the table no longer names it
    wizard.click(search_button(*wizard.window));
    EXPECT_EQ(wizard.window->menu_state(), app::MenuState::Idle);
    ASSERT_TRUE(wizard.wait_idle());
    EXPECT_EQ(wizard.window->menu_state(), app::MenuState::Partitions);
    EXPECT_TRUE(wizard.session.partitions.has_start(233472));
    EXPECT_GT(wizard.session.partitions.size(), listed);
    EXPECT_EQ(tree(*wizard.window)->topLevelItem(0)->childCount(),
              static_cast<int>(wizard.session.partitions.size()));
}

TEST(WizardPagesTest, ExitAsksAndEscapeNeverCloses) {
    WizardDriver wizard{{image_path("demo")}};
    QTest::keyClick(wizard.window.get(), Qt::Key_Escape);
    EXPECT_TRUE(wizard.window->isVisible());
    wizard.window->actions().exit->trigger();
    EXPECT_TRUE(wizard.said(app::kExitQuestion));
    EXPECT_TRUE(wizard.window->isVisible());
    wizard.answers = {true};
    wizard.window->actions().exit->trigger();
    EXPECT_FALSE(wizard.window->isVisible());
}

TEST(WizardPagesTest, OpenLogAndMessagesCarryTheirKinds) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.window->actions().openLog->trigger();
    ASSERT_FALSE(wizard.messages.empty());
    EXPECT_EQ(wizard.messages.back().text, app::kOpenLogText);
    EXPECT_EQ(wizard.messages.back().kind, MessageKind::Information);
}

} // namespace
} // namespace salvex::test
