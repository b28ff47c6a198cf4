#include "app/find_files_dialog.h"

#include "app/deleted_look.h"
#include "app/folder_list_model.h"
#include "app/texts.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>

namespace salvex::app {

FindFilesDialog::FindFilesDialog(const Session& session, WorkerRunner& runner,
                                 const FolderListModel& icons, const MessageBoxes& messages,
                                 QWidget* parent)
    : QDialog(parent), session_(session), runner_(runner), icons_(icons), messages_(messages) {
    setObjectName(QStringLiteral("findFilesDialog"));
    setWindowTitle(tr("Find File(s)"));
    pattern_ = new QLineEdit;
    pattern_->setObjectName(QStringLiteral("findPattern"));
    results_ = new QTableWidget(0, 3);
    results_->setObjectName(QStringLiteral("findResults"));
    results_->setHorizontalHeaderLabels({tr("File Name"), tr("Path"), tr("Size")});
    const int widths[] = {150, 250, 95};
    for (int column = 0; column < 3; ++column)
        results_->setColumnWidth(column, widths[column]);
    results_->setShowGrid(true);
    results_->setSelectionBehavior(QAbstractItemView::SelectRows);
    results_->setSelectionMode(QAbstractItemView::SingleSelection);
    results_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    results_->verticalHeader()->hide();
    results_->verticalHeader()->setDefaultSectionSize(20);
    results_->setWordWrap(false);
    start_ = new QPushButton(tr("&Start Search"));
    start_->setObjectName(QStringLiteral("startSearch"));
    start_->setDefault(true);
    stop_ = new QPushButton(tr("S&top Search"));
    stop_->setObjectName(QStringLiteral("stopSearch"));
    stop_->setAutoDefault(false);
    stop_->setEnabled(false);
    lastFile_ = new QLabel;
    filesFound_ = new QLabel;

    auto* layout = new QGridLayout(this);
    layout->addWidget(new QLabel(tr("Enter pattern to search")), 0, 0);
    layout->addWidget(pattern_, 0, 1, 1, 2);
    layout->addWidget(start_, 0, 3);
    layout->addWidget(stop_, 1, 3);
    layout->addWidget(results_, 1, 0, 3, 3);
    layout->addWidget(new QLabel(tr("Last File")), 4, 0);
    layout->addWidget(lastFile_, 4, 1, 1, 3);
    layout->addWidget(new QLabel(tr("Files Found")), 5, 0);
    layout->addWidget(filesFound_, 5, 1, 1, 3);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(3, 1);
    resize(620, 420);

    connect(start_, &QPushButton::clicked, this, &FindFilesDialog::start_search);
    connect(stop_, &QPushButton::clicked, this, &FindFilesDialog::stop_search);
    connect(results_, &QTableWidget::cellDoubleClicked, this, [this](int row) {
        emit fileActivated(results_->item(row, 0)->data(Qt::UserRole).value<qulonglong>());
    });
}

FindFilesDialog::~FindFilesDialog() {
    // The search reports to this dialog: it ends before the dialog goes.
    if (searching_) {
        runner_.stop_flag() = kSearchStop;
        runner_.stop_flag().notify_all();
        runner_.wait();
    }
}

QString FindFilesDialog::last_file() const {
    return lastFile_->text();
}

QString FindFilesDialog::files_found() const {
    return filesFound_->text();
}

void FindFilesDialog::start_search() {
    if (searching_ || runner_.running())
        return;
    const std::string pattern = pattern_->text().toStdString();
    const unsigned search = ++searchNumber_;
    const Session& session = session_;
    const StopFlag& stop = runner_.stop_flag();
    const bool started = runner_.start(
        [this, &session, &stop, pattern, search] {
            SilentProgress quiet;
            session.find_files(
                pattern,
                [this, search](const FileMatch& match) {
                    // Rows of a search that has since been replaced by another are dropped.
                    QMetaObject::invokeMethod(
                        this,
                        [this, match, search] {
                            if (search == searchNumber_)
                                add_row(match);
                        },
                        Qt::QueuedConnection);
                    return true;
                },
                quiet, stop);
        },
        [this, search] {
            if (search == searchNumber_)
                search_ended();
        });
    if (!started)
        return;
    searching_ = true;
    start_->setEnabled(false);
    stop_->setEnabled(true);
    results_->setRowCount(0);
    lastFile_->clear();
    filesFound_->setText(QStringLiteral("0"));
}

void FindFilesDialog::add_row(const FileMatch& match) {
    const int row = results_->rowCount();
    results_->insertRow(row);
    const QString name = QString::fromStdString(match.name);
    const NtfsItems& items = session_.scan.items;
    const bool deleted =
        match.fileIndex < items.files.size() && items.files[match.fileIndex].deleted;
    const QIcon icon = icons_.file_icon(match.name);
    auto* nameItem = new QTableWidgetItem(deleted ? deleted_icon(icon) : icon, name);
    nameItem->setData(Qt::UserRole, QVariant::fromValue<qulonglong>(match.fileIndex));
    QTableWidgetItem* cells[] = {nameItem, new QTableWidgetItem(QString::fromStdString(match.path)),
                                 new QTableWidgetItem(QString::number(match.size))};
    for (int column = 0; column < 3; ++column) {
        if (deleted)
            cells[column]->setForeground(deleted_colour());
        results_->setItem(row, column, cells[column]);
    }
    filesFound_->setText(QString::number(results_->rowCount()));
    lastFile_->setText(name);
}

// The search is asked to wait at its next file while the question is open, so that the answer
// takes effect where the search stood when Stop was pressed. Stopped, it ends at that file.
void FindFilesDialog::stop_search() {
    if (!searching_)
        return;
    stop_->setEnabled(false);
    StopFlag& flag = runner_.stop_flag();
    flag = kSearchPaused;
    const bool stop = messages_.ask(translated(kStopSearchQuestion));
    if (searching_) {
        flag = stop ? kSearchStop : kSearchRunning;
        flag.notify_all();
        stop_->setEnabled(!stop);
    }
}

void FindFilesDialog::search_ended() {
    searching_ = false;
    stop_->setEnabled(false);
    start_->setEnabled(true);
    emit searchFinished();
}

void FindFilesDialog::reject() {
    if (!searching_)
        QDialog::reject();
}

} // namespace salvex::app
