// The Recovery Settings and File Filters dialogs, driven from the menus, and what the sweep, the
// list and recovery make of their values.
#include "app/filters_dialog.h"
#include "app/gui_progress.h"
#include "app/settings_dialog.h"
#include "browse/file_filters.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/file_bytes.h"
#include "tests/support/test_images.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <tuple>

namespace salvex::test {
namespace {

namespace fs = std::filesystem;

// Every file written under `root`, as paths relative to it.
std::set<std::string> written_files(const fs::path& root) {
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file())
            files.insert(fs::relative(entry.path(), root).generic_string());
    }
    return files;
}

app::RecoverySettingsDialog* open_settings(WizardDriver& wizard) {
    EXPECT_TRUE(wizard.window->actions().settings->isEnabled());
    wizard.window->actions().settings->trigger();
    auto* dialog = wizard.window->findChild<app::RecoverySettingsDialog*>();
    EXPECT_NE(dialog, nullptr);
    if (dialog != nullptr) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
    }
    return dialog;
}

void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, 8));
}

void close_dialog(QDialog* dialog, bool ok) {
    QPointer<QDialog> guard(dialog);
    if (ok)
        dialog->accept();
    else
        dialog->reject();
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull()); // the dialog goes away once closed
}

TEST(RecoverySettingsDialogTest, ShowsTheDefaultsAndOnlyOkStores) {
    WizardDriver wizard{{image_path("demo")}};
    app::RecoverySettingsDialog* dialog = open_settings(wizard);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "Recovery Settings");
    QStringList groups;
    for (const QGroupBox* box : dialog->findChildren<QGroupBox*>())
        groups << box->title();
    EXPECT_EQ(groups,
              QStringList({"Sectors to read in single attempt", "Setting of duplicate file(s)",
                           "Setting for deleted file(s)", "Setting for bad sectors"}));
    EXPECT_EQ(dialog->sectors_choice()->count(), 100);
    EXPECT_EQ(dialog->sectors_choice()->itemText(99), "100");
    EXPECT_EQ(dialog->retries_choice()->count(), 10);
    EXPECT_EQ(dialog->sectors_choice()->currentText(), "60");
    EXPECT_EQ(dialog->retries_choice()->currentText(), "3");
    EXPECT_TRUE(dialog->duplicate_button(DuplicatePolicy::Rename)->isChecked());
    EXPECT_TRUE(dialog->deleted_button(DeletedPolicy::Include)->isChecked());
    EXPECT_EQ(dialog->deleted_button(DeletedPolicy::OnlyDeleted)->text(),
              "Recover only deleted file(s)");

    // Cancel after changing every control keeps every value.
    dialog->sectors_choice()->setCurrentText("7");
    dialog->retries_choice()->setCurrentText("9");
    click(dialog->duplicate_button(DuplicatePolicy::Skip));
    click(dialog->deleted_button(DeletedPolicy::Exclude));
    EXPECT_FALSE(dialog->duplicate_button(DuplicatePolicy::Rename)->isChecked());
    close_dialog(dialog, false);
    const RecoverySettings& settings = wizard.session.settings;
    const auto stored = [&settings] {
        return std::tuple(settings.sectors_per_read.load(), settings.bad_sector_retries.load(),
                          settings.duplicate_policy.load(), settings.deleted_policy.load());
    };
    EXPECT_EQ(stored(), std::tuple(60u, 3u, DuplicatePolicy::Rename, DeletedPolicy::Include));

    // OK stores what the dialog shows, and the reader takes the retry count.
    dialog = open_settings(wizard);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->sectors_choice()->currentText(), "60");
    dialog->sectors_choice()->setCurrentText("7");
    dialog->retries_choice()->setCurrentText("10");
    click(dialog->duplicate_button(DuplicatePolicy::Overwrite));
    close_dialog(dialog, true);
    EXPECT_EQ(stored(), std::tuple(7u, 10u, DuplicatePolicy::Overwrite, DeletedPolicy::Include));
    EXPECT_EQ(wizard.session.reader.bad_sector_retries(), 10u);
    dialog = open_settings(wizard);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->retries_choice()->currentText(), "10");
    EXPECT_TRUE(dialog->duplicate_button(DuplicatePolicy::Overwrite)->isChecked());
    close_dialog(dialog, false);
}

TEST(RecoverySettingsDialogTest, TheNextSweepReadsAsManySectorsAsSet) {
    WizardDriver wizard{{image_path("demo")}};
    app::RecoverySettingsDialog* dialog = open_settings(wizard);
    ASSERT_NE(dialog, nullptr);
    dialog->sectors_choice()->setCurrentText("100");
    close_dialog(dialog, true);

    wizard.open_advance_range("0", "1000");
    // The sweep shows the first sector of each read it makes.
    QStringList reads;
    for (app::GuiProgress* sink : wizard.window->findChildren<app::GuiProgress*>()) {
        QObject::connect(sink, &app::GuiProgress::counterChanged,
                         [&reads](const QString& label, const QString& value) {
                             if (label == "Current Sector")
                                 reads << value;
                         });
    }
    wizard.click(next_button(*wizard.window));
    ASSERT_TRUE(wizard.wait_idle());
    // The window shows the latest read of each moment, and the last read at the end: every read
    // starts at a multiple of 100, the last at 900.
    ASSERT_FALSE(reads.isEmpty());
    for (const QString& read : reads)
        EXPECT_EQ(read.toInt() % 100, 0) << read.toStdString();
    EXPECT_EQ(reads.back(), "900");
}

TEST(RecoverySettingsDialogTest, RecoveryFollowsTheDeletedAndDuplicatePolicies) {
    WizardDriver wizard{{image_path("demo")}};
    wizard.browse_partition("Partition 1 - NTFS");
    app::RecoverySettingsDialog* dialog = open_settings(wizard);
    ASSERT_NE(dialog, nullptr);
    click(dialog->duplicate_button(DuplicatePolicy::Skip));
    click(dialog->deleted_button(DeletedPolicy::OnlyDeleted));
    close_dialog(dialog, true);

    const fs::path target = empty_temp_folder("policies");
    { std::ofstream(target / "Café.txt") << "mine"; }
    wizard.recoveryTarget = QString::fromStdString(target.string());
    wizard.window->actions().recoverAll->trigger();
    ASSERT_TRUE(wizard.window->worker_running());
    // The settings stay at hand while a worker runs.
    dialog = open_settings(wizard);
    ASSERT_NE(dialog, nullptr);
    close_dialog(dialog, false);
    ASSERT_TRUE(wizard.wait_idle());

    const std::set<std::string> files = written_files(target);
    // Only deleted files are written; the one whose name exists is skipped, not replaced.
    EXPECT_EQ(file_bytes(target / "Café.txt"), "mine");
    EXPECT_FALSE(files.contains("readme.txt"));
    EXPECT_FALSE(files.contains("Documents/notes.txt"));
    EXPECT_TRUE(files.contains("Documents/Reports/q1-draft.txt"));
    EXPECT_TRUE(files.contains("Pictures/2024/sunset.jpg"));
    EXPECT_FALSE(files.contains("Pictures/2024/beach.jpg"));
    EXPECT_TRUE(fs::is_directory(target / "Logs")); // folders are written, their files are not
    EXPECT_FALSE(files.contains("Logs/system.log"));

    // The report of the run lies in the target, and the user was asked whether to open it.
    const std::string report = file_bytes(target / "Salvex recovery report.tsv");
    EXPECT_TRUE(report.starts_with("status\tsize\tsha256\tunreadable\trecoverable\tpath\n"));
    // Café.txt is deleted and its data resident: it can come back whole.
    EXPECT_NE(report.find("skipped\t300\t\t0\t100\t/Café.txt\n"), std::string::npos) << report;
    EXPECT_NE(report.find("filtered\t420\t\t0\t\t/readme.txt\n"), std::string::npos) << report;
    const bool asked =
        std::any_of(wizard.messages.begin(), wizard.messages.end(), [](const auto& m) {
            return m.question && m.text.endsWith(QStringLiteral("Open it now?"));
        });
    EXPECT_TRUE(asked);
    // What was recovered is readable by its owner alone, and nothing was left under a
    // temporary name.
    const auto mode = [](const fs::path& path) {
        return fs::status(path).permissions() & fs::perms::all;
    };
    EXPECT_EQ(mode(target / "Salvex recovery report.tsv"),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(mode(target / "Pictures/2024/sunset.jpg"),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(mode(target / "Logs"), fs::perms::owner_all);
    for (const auto& entry : fs::recursive_directory_iterator(target))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".~")) << entry.path();
}

class FileFiltersTest : public ::testing::Test {
protected:
    void SetUp() override { wizard.browse_partition("Partition 1 - NTFS"); }
    app::FileFiltersDialog* open_filters() {
        // Dialogs closed before are gone.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(wizard.window->findChild<app::FileFiltersDialog*>(), nullptr);
        EXPECT_TRUE(wizard.window->actions().fileFilters->isEnabled());
        wizard.window->actions().fileFilters->trigger();
        auto* dialog = wizard.window->findChild<app::FileFiltersDialog*>();
        EXPECT_NE(dialog, nullptr);
        return dialog;
    }
    static void add(app::FileFiltersDialog* dialog, const QString& text) {
        dialog->edit()->setText(text);
        QTest::keyClick(dialog->edit(), Qt::Key_Return); // the default button adds
    }
    static QStringList entries(app::FileFiltersDialog* dialog) {
        QStringList all;
        for (int i = 0; i < dialog->list()->count(); ++i)
            all << dialog->list()->item(i)->text();
        return all;
    }

    WizardDriver wizard{{image_path("demo")}};
};

TEST_F(FileFiltersTest, RefusalsLimitsAndNewestFirst) {
    app::FileFiltersDialog* dialog = open_filters();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->windowTitle(), "File Filters");
    add(dialog, "");
    EXPECT_EQ(wizard.messages.back().text, kBlankFilterMessage);
    add(dialog, "*.DOC");
    EXPECT_TRUE(dialog->edit()->text().isEmpty());
    add(dialog, "*.doc"); // the duplicate test minds the case
    add(dialog, "*.DOC");
    EXPECT_EQ(wizard.messages.back().text, kFilterExistsMessage);
    EXPECT_EQ(dialog->edit()->selectedText(), "*.DOC");
    add(dialog, "ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(wizard.messages.back().text, kFilterTooLongMessage);
    EXPECT_EQ(dialog->edit()->selectedText(), "ABCDEFGHIJKLMNOPQRS");
    add(dialog, "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(entries(dialog), QStringList({"ABCDEFGHIJKLMNOPQRS", "*.doc", "*.DOC"}));
    EXPECT_EQ(wizard.session.filters.count, 3u);

    // Remove takes the selected entry only.
    dialog->remove_button()->click();
    EXPECT_EQ(dialog->list()->count(), 3);
    dialog->list()->setCurrentRow(1);
    dialog->remove_button()->click();
    EXPECT_EQ(entries(dialog), QStringList({"ABCDEFGHIJKLMNOPQRS", "*.DOC"}));

    for (int i = 2; i < 99; ++i)
        add(dialog, QStringLiteral("F%1").arg(i));
    EXPECT_EQ(dialog->list()->count(), 99);
    add(dialog, "ONE.MORE");
    EXPECT_EQ(wizard.messages.back().text, kTooManyFiltersMessage);
    EXPECT_EQ(dialog->list()->count(), 99);
    EXPECT_EQ(dialog->list()->item(0)->text(), "F98");
    QTest::mouseClick(dialog->close_button(), Qt::LeftButton);
    EXPECT_EQ(wizard.session.filters.texts.size(), 99u);
    EXPECT_EQ(wizard.session.filters.texts.front(), "F98");
}

TEST_F(FileFiltersTest, FiltersNarrowTheListAndRecoverAllUntilNext) {
    ASSERT_GE(wizard.row_of("readme.txt"), 0);
    app::FileFiltersDialog* dialog = open_filters();
    ASSERT_NE(dialog, nullptr);
    add(dialog, "*.LOG");
    add(dialog, "BEACH");
    // Until Close, the list shows what it showed.
    wizard.double_click_row("Documents");
    EXPECT_GE(wizard.row_of("notes.txt"), 0);
    QTest::mouseClick(dialog->close_button(), Qt::LeftButton);
    QTest::qWait(0);
    EXPECT_EQ(wizard.window->findChild<app::FileFiltersDialog*>(), nullptr);

    // Close shows the root again, with its folders and no file that fails the filters.
    EXPECT_EQ(list_model(*wizard.window)->key(), kRootFolderRecord);
    EXPECT_GE(wizard.row_of("Documents"), 0);
    EXPECT_EQ(wizard.row_of("readme.txt"), -1);
    EXPECT_EQ(wizard.row_of("Café.txt"), -1);
    wizard.double_click_row("Logs");
    EXPECT_GE(wizard.row_of("system.log"), 0);
    EXPECT_GE(wizard.row_of("boot.log"), 0);

    wizard.click_tree_item("Root");
    const fs::path target = wizard.recover(wizard.window->actions().recoverAll, "filtered");
    // The files that pass, and the run's report.
    EXPECT_EQ(written_files(target),
              std::set<std::string>({"Logs/system.log", "Logs/boot.log", "Pictures/2024/beach.jpg",
                                     "Salvex recovery report.tsv"}));

    // Removing every filter lets every file through again.
    dialog = open_filters();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(entries(dialog), QStringList({"BEACH", "*.LOG"}));
    dialog->list()->setCurrentRow(0);
    dialog->remove_button()->click();
    dialog->list()->setCurrentRow(0);
    dialog->remove_button()->click();
    QTest::mouseClick(dialog->close_button(), Qt::LeftButton);
    EXPECT_GE(wizard.row_of("readme.txt"), 0);

    // A filter lasts until the wizard moves on.
    dialog = open_filters();
    ASSERT_NE(dialog, nullptr);
    add(dialog, "*.JPG");
    QTest::mouseClick(dialog->close_button(), Qt::LeftButton);
    EXPECT_EQ(wizard.row_of("readme.txt"), -1);
    wizard.answers.push_back(true); // yes, discard the scan
    wizard.click(back_button(*wizard.window));
    ASSERT_EQ(wizard.step(), kChoosePartition);
    wizard.click_tree_item("Partition 1 - NTFS");
    wizard.click(next_button(*wizard.window));
    ASSERT_TRUE(wizard.wait_idle());
    ASSERT_EQ(wizard.step(), kBrowse);
    EXPECT_EQ(wizard.session.filters.count, 0u);
    EXPECT_GE(wizard.row_of("readme.txt"), 0);
}

// On a volume where new files took part of the space of deleted ones, the list shows each deleted
// file's recoverable share, and the File Filters can keep only those recoverable whole.
TEST(RecoverableFilter, OnlyDeletedFilesRecoverableAtLeastTheShareSetAreListed) {
    WizardDriver wizard{{image_path("ntfs_reused_space")}};
    wizard.browse_partition("Partition 1 - NTFS");
    wizard.double_click_row("Documents");
    const auto shares = [&] {
        std::map<QString, QString> byName;
        for (int row = 0; row < list_model(*wizard.window)->rowCount(); ++row)
            byName[wizard.cell(row, app::kNameColumn)] = wizard.cell(row, app::kRecoverableColumn);
        return byName;
    };
    const auto before = shares();
    size_t whole = 0;
    size_t partly = 0;
    for (const auto& [name, share] : before) {
        const bool deleted =
            wizard.cell(wizard.row_of(name), app::kTypeColumn).startsWith("Deleted");
        // Every deleted file of the folder has a share, live ones none.
        EXPECT_EQ(share.isEmpty(), !deleted) << name.toStdString();
        whole += share == "100 %";
        partly += deleted && share != "100 %";
    }
    ASSERT_GT(whole, 0u);
    ASSERT_GT(partly, 0u);

    wizard.window->actions().fileFilters->trigger();
    auto* dialog = wizard.window->findChild<app::FileFiltersDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->minimum_recoverable()->value(), 0);
    dialog->minimum_recoverable()->setValue(100);
    QTest::mouseClick(dialog->close_button(), Qt::LeftButton);
    QTest::qWait(0);
    EXPECT_EQ(wizard.session.filters.minimumRecoverable, 100);
    // Close shows the root again.
    wizard.double_click_row("Documents");
    std::map<QString, QString> expected;
    for (const auto& [name, share] : before) {
        if (share.isEmpty() || share == "100 %")
            expected[name] = share;
    }
    EXPECT_EQ(shares(), expected);
}

} // namespace
} // namespace salvex::test
