// The Help menu, the toolbar and what the window keeps between runs.
#include "app/find_files_dialog.h"
#include "app/info_dialogs.h"
#include "app/texts.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/test_images.h"

#include <QAction>
#include <QCoreApplication>
#include <QSettings>
#include <QTest>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex::test {
namespace {

QToolButton* toolbar_button(app::MainWindow& window, QAction* action) {
    auto* toolbar = window.findChild<QToolBar*>();
    return toolbar == nullptr ? nullptr
                              : qobject_cast<QToolButton*>(toolbar->widgetForAction(action));
}

TEST(CommandsTest, ToolbarButtonsCarryTheirTipsAndActOnlyWithTheirMenuTwin) {
    WizardDriver wizard{{image_path("demo")}};
    const app::Actions& actions = wizard.window->actions();
    const std::pair<QAction*, const char*> expected[] = {
        {actions.recoverSelected, "Copy the selected file(s) and folder(s) to your computer"},
        {actions.recoverAll, "Copy all the file(s) and folder(s) to your computer"},
        {actions.saveSnapshot, "Saves the snapshot of scan information, so that later on you "
                               "need not to scan the disk again"},
        {actions.loadSnapshot, "Loads the data from previously saved scan information"},
        {actions.findFiles, "Search the file(s) in the recovered data"},
        {actions.settings, "Configures the software"},
        {actions.liveUpdate, "Updates the software with latest changes from internet"},
    };
    for (const auto& [action, tip] : expected) {
        QToolButton* button = toolbar_button(*wizard.window, action);
        ASSERT_NE(button, nullptr) << tip;
        EXPECT_EQ(button->toolTip(), tip);
    }

    // On the drive page Find Files is greyed: its button does nothing.
    QToolButton* find = toolbar_button(*wizard.window, actions.findFiles);
    EXPECT_FALSE(find->isEnabled());
    QTest::mouseClick(find, Qt::LeftButton);
    EXPECT_EQ(wizard.window->findChild<app::FindFilesDialog*>(), nullptr);

    wizard.browse_partition("Partition 1 - NTFS");
    EXPECT_TRUE(find->isEnabled());
    QTest::mouseClick(find, Qt::LeftButton);
    auto* dialog = wizard.window->findChild<app::FindFilesDialog*>();
    ASSERT_NE(dialog, nullptr);
    dialog->reject();
    // Load Recovery Snapshot is greyed while a tree is shown.
    QToolButton* load = toolbar_button(*wizard.window, actions.loadSnapshot);
    EXPECT_FALSE(load->isEnabled());
}

TEST(CommandsTest, HelpAboutAndTheHomePage) {
    WizardDriver wizard{{image_path("demo")}};
    std::vector<QUrl> opened;
    wizard.window->set_url_opener([&opened](const QUrl& url) { opened.push_back(url); });

    const std::filesystem::path folder = empty_temp_folder("program-folder");
    wizard.session.state.programFolder = folder.string();
    wizard.window->actions().contents->trigger();
    EXPECT_TRUE(wizard.said(app::kHelpFileMissing));
    EXPECT_EQ(wizard.messages.back().kind, MessageKind::Error);
    EXPECT_TRUE(opened.empty());

    const std::filesystem::path help = folder / app::kHelpFileName;
    { std::ofstream(help) << "help"; }
    wizard.messages.clear();
    wizard.window->actions().contents->trigger();
    EXPECT_TRUE(wizard.messages.empty());
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened.back(), QUrl::fromLocalFile(QString::fromStdString(help.string())));
    // The help key does the same.
    QTest::keyClick(wizard.window.get(), Qt::Key_F1);
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened.back(), opened.front());

    // Without the compiled help file, the HTML manual opens.
    std::filesystem::remove(help);
    const std::filesystem::path manual = folder / app::kHtmlManualName;
    { std::ofstream(manual) << "<html></html>"; }
    wizard.window->actions().contents->trigger();
    EXPECT_TRUE(wizard.messages.empty());
    ASSERT_EQ(opened.size(), 3u);
    EXPECT_EQ(opened.back(), QUrl::fromLocalFile(QString::fromStdString(manual.string())));

    QToolButton* picture = toolbar_button(*wizard.window, wizard.window->actions().homePage);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->toolTip(), "Click here to visit software home page");
    QTest::mouseClick(picture, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 4u);
    EXPECT_EQ(opened.back(), QUrl(app::kHomePage));

    wizard.window->actions().about->trigger();
    auto* about = wizard.window->findChild<app::InfoDialog*>();
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->value("Version"), "4.03");
    EXPECT_FALSE(about->value("Released").isEmpty());
    EXPECT_TRUE(about->windowTitle().contains(app::kProductTitle));
    about->accept();
    std::filesystem::remove_all(folder);
}

TEST(CommandsTest, TheWindowComesBackWithItsSizeAndPlace) {
    QSettings(app::kSettingsOrganization, app::kSettingsApplication).clear();
    QRect left;
    {
        WizardDriver wizard{{image_path("demo")}};
        wizard.window->resize(1010, 700);
        wizard.window->move(40, 30);
        QTest::qWait(20);
        left = wizard.window->geometry();
        wizard.answers = {false};
        wizard.window->close(); // No: nothing is kept, the window stays
        EXPECT_TRUE(wizard.window->isVisible());
        wizard.answers = {true};
        wizard.window->close();
        EXPECT_FALSE(wizard.window->isVisible());
    }
    WizardDriver again{{image_path("demo")}};
    EXPECT_EQ(again.window->size(), left.size());
    EXPECT_EQ(again.window->geometry().topLeft(), left.topLeft());
    // Nothing else outlives the run: the new window starts on the drive page with the defaults.
    EXPECT_EQ(again.step(), kChooseDrive);
    EXPECT_EQ(again.session.settings.sectors_per_read.load(), 60u);
    QSettings(app::kSettingsOrganization, app::kSettingsApplication).clear();
}

} // namespace
} // namespace salvex::test
