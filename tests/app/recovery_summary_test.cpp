// The window at the end of a recovery names every file that did not come back whole.
#include "app/recovery_summary.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <gtest/gtest.h>

namespace salvex::app {
namespace {

FileOutcome outcome(FileStatus status, const std::string& path, uint64_t unreadable = 0,
                    const std::string& reason = {}) {
    FileOutcome o;
    o.status = status;
    o.path = path;
    o.unreadable = unreadable;
    o.reason = reason;
    return o;
}

TEST(RecoverySummary, NamesFailedFilesAndThoseHoldingZerosForUnreadableSectors) {
    RecoveryRun run;
    run.files_written = 3;
    run.files_failed = 1;
    run.outcomes = {
        outcome(FileStatus::Written, "/a.txt"), outcome(FileStatus::Written, "/Docs/b.doc", 4),
        outcome(FileStatus::Failed, "/Docs/c.pdf", 0, "No space left on device"),
        outcome(FileStatus::Empty, "/empty.txt"), outcome(FileStatus::Written, "/d.bin")};
    RecoverySummary summary;
    summary.target = QStringLiteral("/out");
    summary.planned = 4;
    summary.emptyFiles = 1;

    const QString text = summary_text(summary, run);
    EXPECT_TRUE(text.startsWith("3 file(s) written to /out.")) << text.toStdString();
    EXPECT_TRUE(text.contains("1 file(s) failed")) << text.toStdString();
    EXPECT_TRUE(text.contains("1 file(s) hold zeros where sectors of the disk could not be read."))
        << text.toStdString();
    EXPECT_TRUE(text.contains("1 empty file(s) skipped")) << text.toStdString();

    RecoverySummaryDialog dialog(summary, run, [](const QUrl&) {});
    auto* list = dialog.findChild<QPlainTextEdit*>(QStringLiteral("failedFiles"));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->toPlainText().toStdString(),
              "/out/Docs/b.doc: 4 unreadable sector(s) written as zeros\n"
              "/out/Docs/c.pdf: failed, No space left on device");
    EXPECT_EQ(dialog.findChild<QPlainTextEdit*>(QStringLiteral("damagedFiles")), nullptr);
}

TEST(RecoverySummary, AStoppedRunSaysHowManyOfHowManyFilesItWrote) {
    RecoveryRun run;
    run.files_written = 200;
    RecoverySummary summary;
    summary.target = QStringLiteral("/out");
    summary.stopped = true;
    summary.planned = 4000;
    EXPECT_TRUE(
        summary_text(summary, run).startsWith("Stopped: 200 of 4000 file(s) written to /out."));
    RecoverySummaryDialog dialog(summary, run, [](const QUrl&) {});
    EXPECT_EQ(dialog.findChild<QPlainTextEdit*>(QStringLiteral("failedFiles")), nullptr);
}

} // namespace
} // namespace salvex::app
