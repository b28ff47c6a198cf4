// The wizard under a translation: what a person reads changes, what the wizard does by its own
// names (the panel's and the saving window's counters, the list's folders) does not.
#include "app/recovery_dialog.h"
#include "app/texts.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/test_images.h"

#include <QAbstractButton>
#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QTest>
#include <QTranslator>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace salvex::test {
namespace {

namespace fs = std::filesystem;

// Puts every text of the wizard's own between angle brackets; Qt's own texts stay as they are.
class BracketTranslator final : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* source, const char*, int) const override {
        const QByteArray where(context);
        if (where != "Salvex" && !where.startsWith("salvex::app::"))
            return {};
        return QLatin1Char('<') + QString::fromUtf8(source) + QLatin1Char('>');
    }
};

// The translator is loaded for one test only.
class TranslationTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QCoreApplication::installTranslator(&translator_)); }
    void TearDown() override { QCoreApplication::removeTranslator(&translator_); }

private:
    BracketTranslator translator_;
};

bool shows_label(const QWidget& widget, const QString& text) {
    for (const QLabel* label : widget.findChildren<QLabel*>()) {
        if (label->text() == text)
            return true;
    }
    return false;
}

void click_index(QTreeView* view, const QModelIndex& index) {
    view->scrollTo(index);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(index).center());
}

TEST_F(TranslationTest, TheWholeRoadReadsTranslatedAndWorksAsBefore) {
    WizardDriver wizard{{image_path("demo")}};
    app::MainWindow& window = *wizard.window;
    EXPECT_EQ(window.windowTitle(), "Orvanel Salvex NTFS"); // the product's name stays
    EXPECT_EQ(next_button(window)->text(), "<&Next >>");
    const TreeNode root = tree(window)->topLevelItem(0);
    EXPECT_EQ(root->text(0), "<My Computer>");
    ASSERT_EQ(root->childCount(), 1);
    const QString drive = root->child(0)->text(0);
    EXPECT_TRUE(drive.startsWith("<Storage Device0> - demo.img (") && drive.endsWith(" <MB>)"))
        << drive.toStdString();
    EXPECT_EQ(quick_help(window)->text(), app::displayed(app::kChooseDriveHelp).trimmed());
    EXPECT_TRUE(quick_help(window)->text().startsWith('<'));

    // The panel shows its labels translated and still takes its values by their own names.
    click_index(tree(window).view(), root->child(0).index());
    EXPECT_TRUE(shows_label(*panel(window), "<Capacity> :"));
    EXPECT_EQ(panel(window)->value("Capacity"),
              QString::fromStdString(drive_capacity_text(wizard.session.drives[0])));
    panel(window)->show_page(app::kScanPanel);
    panel(window)->set_value("File(s) Found", "12");
    EXPECT_EQ(panel(window)->value("File(s) Found"), "12");
    EXPECT_TRUE(shows_label(*panel(window), "<File(s) Found> :"));

    wizard.click(next_button(window));
    ASSERT_EQ(wizard.step(), kChoosePartition);
    wizard.click_tree_item("Partition 1 - NTFS"); // the engine's name of a partition
    wizard.click(next_button(window));
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_EQ(wizard.step(), kBrowse);
    EXPECT_EQ(tree(window)->topLevelItem(0)->text(0), "<Root>");
    EXPECT_EQ(wizard.cell(wizard.row_of("Documents"), app::kTypeColumn), "<Folder>");
    EXPECT_EQ(list_model(window)
                  ->headerData(app::kNameColumn, Qt::Horizontal, Qt::DisplayRole)
                  .toString(),
              "<Name>");
    wizard.double_click_row("Documents"); // a folder is told by its row, not by its type's name
    EXPECT_EQ(tree(window)->currentItem()->text(0), "Documents");

    // A question built around the engine's sentence keeps that sentence whole.
    const fs::path notes = fs::path(empty_temp_folder("translated-question")) / "NOTES.QRSX";
    std::ofstream(notes) << "my notes";
    wizard.messages.clear();
    wizard.save_snapshot((notes.parent_path() / "notes").string());
    ASSERT_EQ(wizard.messages.size(), 1u);
    EXPECT_EQ(wizard.messages.back().text,
              QString::fromStdString("<" + notes.string() +
                                     " exists and is not a snapshot file. Replace it?>"));

    wizard.answers = {false};
    wizard.click(back_button(window));
    EXPECT_TRUE(wizard.said(app::displayed(app::kBackDiscardsQuestion)));
    EXPECT_TRUE(wizard.messages.back().text.startsWith('<'));
    EXPECT_EQ(wizard.step(), kBrowse);
}

TEST_F(TranslationTest, TheSavingWindowShowsItsRowsTranslatedAndFillsThemByTheirNames) {
    RecoveryRun run;
    app::RecoveryDialog dialog(run);
    EXPECT_EQ(dialog.windowTitle(), "<" + QString::fromUtf8(app::kSavingTitle) + ">");
    EXPECT_TRUE(shows_label(dialog, "<File Name>"));
    dialog.set_counter("File Name", "report.doc");
    dialog.set_counter("Written", "4096");
    EXPECT_EQ(dialog.value("File Name"), "report.doc");
    EXPECT_EQ(dialog.value("Written"), "4096");
    EXPECT_EQ(dialog.stop_button()->text(), "<&Stop Saving>");
}

} // namespace
} // namespace salvex::test
