#include "app/recovery_summary.h"

#include "app/recovery_progress.h"
#include "app/texts.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace salvex::app {

namespace {

constexpr size_t kFilesListed = 200;

} // namespace

QString summary_text(const RecoverySummary& summary, const RecoveryRun& run) {
    QStringList lines;
    if (summary.stopped)
        lines << QStringLiteral("Stopped: %1 of %2 file(s) written to %3.")
                     .arg(run.files_written)
                     .arg(summary.planned)
                     .arg(summary.target);
    else
        lines << QStringLiteral("%1 file(s) written to %2.")
                     .arg(run.files_written)
                     .arg(summary.target);
    lines << QStringLiteral("They hold %1.").arg(QString::fromStdString(bytes_text(summary.bytes)));
    if (run.files_failed > 0)
        lines << QStringLiteral("%1 file(s) failed: they could not be created or written, or their "
                                "contents are no longer on the disk.")
                     .arg(run.files_failed);
    if (summary.emptyFiles > 0)
        lines << QStringLiteral("%1 empty file(s) skipped: a file of 0 bytes is not created.")
                     .arg(summary.emptyFiles);
    if (run.files_encrypted > 0)
        lines << QStringLiteral("%1 file(s) were encrypted on the volume and were written as they "
                                "lie on the disk.")
                     .arg(run.files_encrypted);
    if (!run.damagedFiles.empty())
        lines << QStringLiteral("%1 file(s) are damaged and were written only as far as their "
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
    if (!run.damagedFiles.empty()) {
        auto* list = new QPlainTextEdit;
        list->setObjectName(QStringLiteral("damagedFiles"));
        list->setReadOnly(true);
        for (size_t i = 0; i < run.damagedFiles.size() && i < kFilesListed; ++i)
            list->appendPlainText(QString::fromStdString(run.damagedFiles[i].path) +
                                  QStringLiteral(": ") +
                                  QString::fromStdString(run.damagedFiles[i].reason));
        if (run.damagedFiles.size() > kFilesListed)
            list->appendPlainText(
                QStringLiteral("and %1 more.").arg(run.damagedFiles.size() - kFilesListed));
        layout->addWidget(list);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    QPushButton* open =
        buttons->addButton(QStringLiteral("&Open Folder"), QDialogButtonBox::ActionRole);
    open->setObjectName(QStringLiteral("openTargetFolder"));
    const QUrl folder = QUrl::fromLocalFile(summary.target);
    connect(open, &QPushButton::clicked, this, [openFolder, folder] { openFolder(folder); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    setMinimumWidth(480);
}

} // namespace salvex::app
