// The window under heavy work: Stop takes effect at once on a recovery of thousands of files, and
// the recovery window says which file of how many it is at.
#include "app/gui_progress.h"
#include "app/recovery_dialog.h"
#include "browse/file_filters.h"
#include "recovery/recovery_report.h"
#include "session/recovery_progress.h"
#include "tests/app/wizard_driver.h"
#include "tests/support/test_images.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

namespace salvex::test {
namespace {

namespace fs = std::filesystem;

constexpr int kCopies = 4000;

// The demo volume's root holds, besides its own items, kCopies more names of one real file: a
// recovery of the root then writes thousands of files read from the disk.
void add_copies(Session& session) {
    auto& files = session.scan.items.files;
    const auto real = std::find_if(files.begin(), files.end(), [](const FileNode& file) {
        return file.name == "notes.txt" && !file.deleted;
    });
    ASSERT_NE(real, files.end());
    FileNode copy = *real;
    copy.parent = kRootFolderRecord;
    for (int i = 0; i < kCopies; ++i) {
        copy.name = "copy" + std::to_string(i) + ".txt";
        files.push_back(copy);
    }
}

// The recovered files under `folder`, the run's report left out.
uint64_t files_in(const fs::path& folder) {
    uint64_t count = 0;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        count += entry.is_regular_file() && entry.path().filename() != kReportFileName;
    return count;
}

TEST(ResponsivenessTest, StopEndsARecoveryOfThousandsOfFilesAtOnce) {
    WizardDriver wizard({image_path("demo")});
    wizard.browse_partition("Partition 1 - NTFS");
    add_copies(wizard.session);
    wizard.click_tree_item("Root"); // the list shows the new names
    ASSERT_GE(wizard.row_of("copy3999.txt"), 0);
    const fs::path target = empty_temp_folder("stop-target");
    wizard.recoveryTarget = QString::fromStdString(target.string());

    wizard.window->actions().recoverAll->trigger();
    auto* dialog = wizard.window->findChild<app::RecoveryDialog*>();
    ASSERT_NE(dialog, nullptr);
    // Wait until the run is well under way, then stop it.
    QElapsedTimer timer;
    timer.start();
    while (wizard.window->worker_running() &&
           (files_in(target) < 200 || dialog->value("File").isEmpty()) && timer.elapsed() < 60000)
        QTest::qWait(2);
    ASSERT_TRUE(wizard.window->worker_running());
    const QString shown = dialog->value("File");
    // n of every file under the root: the copies and the volume's own.
    EXPECT_TRUE(shown.contains(" of 4,0")) << shown.toStdString();
    QElapsedTimer stopTimer;
    stopTimer.start();
    QTest::mouseClick(dialog->stop_button(), Qt::LeftButton);
    ASSERT_TRUE(wizard.wait_idle());
    const qint64 latency = stopTimer.elapsed();
    std::printf("Stop latency: %lld ms\n", static_cast<long long>(latency));
    ::testing::Test::RecordProperty("stop_latency_ms", static_cast<int>(latency));

    const uint64_t written = files_in(target);
    EXPECT_LT(written, static_cast<uint64_t>(kCopies)); // the run ended early
    const QString status = status_line(*wizard.window)->text();
    EXPECT_TRUE(status.startsWith(QStringLiteral("Stopped: %1 of ").arg(written)))
        << status.toStdString();
}

TEST(RecoveryPlanTest, CountsTheNonEmptyFilesUnderEachRow) {
    WizardDriver wizard({image_path("demo")});
    wizard.browse_partition("Partition 1 - NTFS");
    const NtfsScan& scan = wizard.session.scan;
    uint64_t nonEmpty = 0;
    for (const FileNode& file : scan.items.files)
        nonEmpty += file.size > 0;
    SilentProgress silent;
    RecoveryRun run;
    RecoveryContext context(wizard.session.reader, scan, wizard.session.settings, silent, run);
    // The whole volume: every file that the tree reaches.
    const std::vector<RecoveryRow> all = root_rows(scan);
    const RecoveryPlan plan = plan_recovery(context, all);
    EXPECT_GT(plan.files, 0u);
    EXPECT_LE(plan.files, nonEmpty);
    EXPECT_LE(plan.files + plan.emptyFiles, scan.items.files.size());
    // A single file counts once, as empty or not.
    for (size_t i = 0; i < scan.items.files.size(); ++i) {
        const std::vector<RecoveryRow> one{{RecoveryRow::Kind::File, i}};
        const RecoveryPlan single = plan_recovery(context, one);
        EXPECT_EQ(single.files, scan.items.files[i].size > 0 ? 1u : 0u);
        EXPECT_EQ(single.emptyFiles, scan.items.files[i].size > 0 ? 0u : 1u);
    }
    // Files the filters or the deleted-file policy leave out are not counted, empty or not.
    context.passesFilters = [](std::string_view name) { return name.ends_with(".jpg"); };
    wizard.session.settings.deleted_policy = DeletedPolicy::Exclude;
    uint64_t liveJpegs = 0;
    for (const FileNode& file : scan.items.files)
        liveJpegs += file.name.ends_with(".jpg") && !file.deleted && file.size > 0;
    const RecoveryPlan filtered = plan_recovery(context, all);
    EXPECT_EQ(filtered.files, liveJpegs);
    EXPECT_EQ(filtered.emptyFiles, 0u);
    EXPECT_EQ(bytes_text(512), "512 bytes");
    EXPECT_EQ(bytes_text(1572864), "1.5 MB (1,572,864 bytes)");
}

// "File n of N" counts the files the run considers: those the filters and the deleted-file
// policy let through, not every file under the rows.
TEST(ResponsivenessTest, FileCountOfTheRecoveryWindowLeavesOutFilteredFiles) {
    WizardDriver wizard({image_path("demo")});
    wizard.browse_partition("Partition 1 - NTFS");
    FilterEditor editor(wizard.session.filters);
    ASSERT_TRUE(editor.add("*.txt").added());
    editor.close();
    wizard.session.settings.deleted_policy = DeletedPolicy::Exclude;
    const fs::path target = empty_temp_folder("file-count-target");
    wizard.recoveryTarget = QString::fromStdString(target.string());
    // /Documents holds 21 files: budget.csv is no .txt, q1-draft.txt and q2-draft.txt are
    // deleted; 18 remain.
    wizard.select_rows({"Documents"});
    wizard.window->actions().recoverSelected->trigger();
    auto* dialog = wizard.window->findChild<app::RecoveryDialog*>();
    ASSERT_NE(dialog, nullptr);
    auto* sink = dialog->findChild<app::GuiProgress*>();
    ASSERT_NE(sink, nullptr);
    QStringList shown;
    QObject::connect(sink, &app::GuiProgress::counterChanged,
                     [&](const QString& label, const QString& value) {
                         if (label == "File")
                             shown << value;
                     });
    ASSERT_TRUE(wizard.wait_idle());
    EXPECT_EQ(files_in(target), 18u);
    ASSERT_FALSE(shown.isEmpty());
    EXPECT_EQ(shown.back(), "18 of 18");
    for (const QString& value : shown)
        EXPECT_TRUE(value.endsWith(" of 18")) << value.toStdString();
}

} // namespace
} // namespace salvex::test
