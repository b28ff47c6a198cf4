#include "app/recovery_dialog.h"

#include "app/texts.h"

#include <QDesktopServices>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace salvex::app {

RecoveryDialog::RecoveryDialog(RecoveryRun& run, QWidget* parent)
    : QDialog(parent), run_(run), path_(new QLabel(this)), fileName_(new QLabel(this)),
      totalFiles_(new QLabel(this)), fileOfFiles_(new QLabel(this)), written_(new QLabel(this)),
      bar_(new QProgressBar(this)), stop_(new QPushButton(tr("&Stop Saving"), this)),
      skip_(new QPushButton(tr("S&kip File"), this)) {
    setWindowTitle(translated(kSavingTitle));
    setModal(true);
    setMinimumWidth(480);
    auto* fields = new QFormLayout;
    fields->addRow(tr("Path"), path_);
    fields->addRow(tr("File Name"), fileName_);
    fields->addRow(tr("Total Files"), totalFiles_);
    fields->addRow(tr("File"), fileOfFiles_);
    fields->addRow(tr("Written"), written_);
    fileOfFiles_->setObjectName(QStringLiteral("fileOfFiles"));
    written_->setObjectName(QStringLiteral("bytesWritten"));
    stop_->setObjectName(QStringLiteral("stopSaving"));
    skip_->setObjectName(QStringLiteral("skipFile"));
    path_->setWordWrap(true);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(stop_);
    buttons->addWidget(skip_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addWidget(bar_);
    layout->addLayout(buttons);
    // Stop ends the run after the current file; the window stays until the worker has ended.
    connect(stop_, &QPushButton::clicked, this, [this] { run_.recovery_stop = 1; });
    connect(skip_, &QPushButton::clicked, this, [this] { run_.skip_file = 1; });
}

void RecoveryDialog::finish(const MessageBoxes& messages, const ExaminedDisk& examined) {
    finished_ = true;
    accept();
    if (run_.targetPath.empty())
        return;
    const std::string path = run_.targetPath + (run_.targetPath.ends_with('/') ? "" : "/") +
                             std::string(kReportFileName);
    const QString shown = QString::fromStdString(path);
    std::string reason;
    if (!write_report_file(path, run_.outcomes, examined, reason)) {
        messages.show(tr("The recovery report could not be written to %1: %2.")
                          .arg(shown, QString::fromStdString(reason)),
                      MessageKind::Error);
        return;
    }
    if (messages.ask(tr("The report of this recovery is in %1. Open it now?").arg(shown)))
        QDesktopServices::openUrl(QUrl::fromLocalFile(shown));
}

void RecoveryDialog::reject() {
    if (finished_)
        QDialog::reject();
}

QString RecoveryDialog::value(const QString& label) const {
    if (label == QLatin1String("Path"))
        return path_->text();
    if (label == QLatin1String("File Name"))
        return fileName_->text();
    if (label == QLatin1String("Total Files"))
        return totalFiles_->text();
    if (label == QLatin1String("File"))
        return fileOfFiles_->text();
    if (label == QLatin1String("Written"))
        return written_->text();
    return {};
}

void RecoveryDialog::set_counter(const QString& label, const QString& value) {
    if (label == QLatin1String("Path"))
        path_->setText(value);
    else if (label == QLatin1String("File Name"))
        fileName_->setText(value);
    else if (label == QLatin1String("Total Files"))
        totalFiles_->setText(value);
    else if (label == QLatin1String("File"))
        fileOfFiles_->setText(value);
    else if (label == QLatin1String("Written"))
        written_->setText(value);
}

void RecoveryDialog::set_progress(int percent) {
    bar_->setValue(std::clamp(percent, 0, 99));
}

} // namespace salvex::app
