#include "app/recovery_summary.h"

#include "app/texts.h"
#include "session/recovery_progress.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <vector>

namespace salvex::app {

namespace {

constexpr size_t kFilesListed = 200;

size_t count_outcomes(const RecoveryRun& run, bool (*wanted)(const FileOutcome&)) {
    return static_cast<size_t>(std::count_if(run.outcomes.begin(), run.outcomes.end(), wanted));
}

bool failed(const FileOutcome& o) {
    return o.status == FileStatus::Failed;
}

bool holds_zeros(const FileOutcome& o) {
    return o.status == FileStatus::Written && o.unreadable > 0;
}

// A read-only list of lines, the first kFilesListed and then how many more.
QPlainTextEdit* file_list(const QString& name, const std::vector<QString>& lines) {
    auto* list = new QPlainTextEdit;
    list->setObjectName(name);
    list->setReadOnly(true);
    for (size_t i = 0; i < lines.size() && i < kFilesListed; ++i)
        list->appendPlainText(lines[i]);
    if (lines.size() > kFilesListed)
        list->appendPlainText(
            QCoreApplication::translate("Salvex", "and %1 more.").arg(lines.size() - kFilesListed));
    return list;
}

// Each file that failed, with its reason, and each written with zeros for unreadable sectors.
std::vector<QString> trouble_lines(const RecoverySummary& summary, const RecoveryRun& run) {
    std::vector<QString> lines;
    for (const FileOutcome& o : run.outcomes) {
        const QString path = summary.target + QString::fromStdString(o.path);
        if (failed(o))
            lines.push_back(QCoreApplication::translate("Salvex", "%1: failed, %2")
                                .arg(path, QString::fromStdString(o.reason)));
        else if (holds_zeros(o))
            lines.push_back(QCoreApplication::translate(
                                "Salvex", "%1: %2 unreadable sector(s) written as zeros")
                                .arg(path, QString::number(o.unreadable)));
    }
    return lines;
}

} // namespace

QString summary_text(const RecoverySummary& summary, const RecoveryRun& run) {
    QStringList lines;
    if (summary.stopped)
        lines << QCoreApplication::translate("Salvex", "Stopped: %1 of %2 file(s) written to %3.")
                     .arg(run.files_written)
                     .arg(summary.planned)
                     .arg(summary.target);
    else
        lines << QCoreApplication::translate("Salvex", "%1 file(s) written to %2.")
                     .arg(run.files_written)
                     .arg(summary.target);
    lines << QCoreApplication::translate("Salvex", "They hold %1.")
                 .arg(QString::fromStdString(bytes_text(summary.bytes)));
    if (run.files_failed > 0)
        lines << QCoreApplication::translate(
                     "Salvex", "%1 file(s) failed: they could not be created or written, or their "
                               "contents are no longer on the disk.")
                     .arg(run.files_failed);
    if (const size_t zeros = count_outcomes(run, holds_zeros); zeros > 0)
        lines << QCoreApplication::translate(
                     "Salvex", "%1 file(s) hold zeros where sectors of the disk could not be read.")
                     .arg(zeros);
    if (summary.emptyFiles > 0)
        lines << QCoreApplication::translate(
                     "Salvex", "%1 empty file(s) skipped: a file of 0 bytes is not created.")
                     .arg(summary.emptyFiles);
    if (run.files_encrypted > 0)
        lines << QCoreApplication::translate(
                     "Salvex", "%1 file(s) were encrypted on the volume and were written as they "
                               "lie on the disk.")
                     .arg(run.files_encrypted);
    if (!run.damagedFiles.empty())
        lines << QCoreApplication::translate(
                     "Salvex", "%1 file(s) are damaged and were written only as far as their "
                               "volume goes:")
                     .arg(run.damagedFiles.size());
    return lines.join(QLatin1Char('\n'));
}

RecoverySummaryDialog::RecoverySummaryDialog(const RecoverySummary& summary, const RecoveryRun& run,
                                             std::function<void(const QUrl&)> openFolder,
                                             QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("recoverySummary"));
    setWindowTitle(QString::fromUtf8(kProductTitle));
    auto* text = new QLabel(summary_text(summary, run));
    text->setObjectName(QStringLiteral("summaryText"));
    text->setWordWrap(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text);
    if (const std::vector<QString> troubles = trouble_lines(summary, run); !troubles.empty())
        layout->addWidget(file_list(QStringLiteral("failedFiles"), troubles));
    if (!run.damagedFiles.empty()) {
        std::vector<QString> damaged;
        for (const auto& file : run.damagedFiles)
            damaged.push_back(QString::fromStdString(file.path) + QStringLiteral(": ") +
                              QString::fromStdString(file.reason));
        layout->addWidget(file_list(QStringLiteral("damagedFiles"), damaged));
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* open = buttons->addButton(tr("&Open Folder"), QDialogButtonBox::ActionRole);
    open->setObjectName(QStringLiteral("openTargetFolder"));
    const QUrl folder = QUrl::fromLocalFile(summary.target);
    connect(open, &QPushButton::clicked, this, [openFolder, folder] { openFolder(folder); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(480);
}

} // namespace salvex::app
