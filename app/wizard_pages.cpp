// The wizard's pages: what Next and Back do on each, the left pane's items and their clicks,
// and the workers that carry the long operations.
#include "advscan/reconstruction.h"
#include "advscan/sector_sweep.h"
#include "app/main_window.h"
#include "app/texts.h"
#include "partition/partition_table.h"
#include "partition/quick_search.h"
#include "recovery/recoverability.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QThread>
#include <QTreeWidget>
#include <cstdlib>
#include <new>

namespace salvex::app {

namespace {

constexpr int kItemRole = Qt::UserRole;
constexpr int kRootItem = -1;

QTreeWidgetItem* make_root(QTreeWidget* tree, const QString& text) {
    tree->clear();
    auto* root = new QTreeWidgetItem(tree, {text});
    root->setData(0, kItemRole, kRootItem);
    root->setExpanded(true);
    return root;
}

void add_child(QTreeWidgetItem* parent, const QString& text, int index) {
    auto* item = new QTreeWidgetItem(parent, {text});
    item->setData(0, kItemRole, index);
}

QString number(uint64_t value) {
    return QString::number(value);
}

} // namespace

void MainWindow::update_page_controls() {
    const int32_t step = session_.state.step;
    const bool advance = session_.state.scanMode == ScanMode::Advance;
    scanGroup_->setVisible(step == kChooseDrive);
    rangeGroup_->setVisible(step == kChoosePartition && advance);
    search_->setVisible(step == kChoosePartition);
    listStack_->setVisible(step == kBrowse);
    back_->setEnabled(step != kChooseDrive);
    stop_->setEnabled(false);
    bool nextOn = false;
    if (step == kChooseDrive)
        nextOn = session_.state.driveChosen;
    else if (step == kChoosePartition)
        nextOn = advance || session_.state.selectedFsType != FsType::Unknown;
    else if (step == kChooseFileSystem)
        nextOn = session_.candidateNumber != 0;
    next_->setVisible(nextOn);
    next_->setEnabled(nextOn);
    search_->setEnabled(true);
    standardRadio_->setEnabled(true);
    advanceRadio_->setEnabled(true);
    rangeGroup_->setEnabled(true);
}

void MainWindow::show_drive_page() {
    QTreeWidgetItem* root = make_root(tree_, QStringLiteral("My Computer"));
    for (size_t i = 0; i < session_.drives.size(); ++i)
        add_child(root, QString::fromStdString(drive_item_text(i)), static_cast<int>(i));
    root->setExpanded(true);
    session_.state.driveChosen = false;
    panel_->show_page(kDrivePanel);
    set_menu_state(0);
    set_help(session_.drives.empty() ? kNoDriveHelp : kChooseDriveHelp);
    update_page_controls();
}

void MainWindow::show_partition_page() {
    const QString driveText = QString::fromStdString(drive_item_text(session_.state.driveIndex));
    QTreeWidgetItem* root = make_root(tree_, driveText);
    for (size_t i = 0; i < session_.partitions.size(); ++i) {
        const PartitionInfo& partition = session_.partitions.entries[i];
        add_child(root, QString::fromStdString(partition_item_text(i + 1, partition.type)),
                  static_cast<int>(i));
    }
    root->setExpanded(true);
    panel_->show_page(kPartitionPanel);
    set_menu_state(1);
    set_help(kChoosePartitionHelp);
    show_range_defaults();
    update_page_controls();
}

void MainWindow::show_range_defaults() {
    const RangeDefaults defaults = session_.range_defaults();
    fsChoice_->setCurrentIndex(defaults.fsChoice);
    startEdit_->setText(number(defaults.start));
    endEdit_->setText(number(defaults.end));
}

void MainWindow::show_file_system_page() {
    QTreeWidgetItem* root = make_root(tree_, QStringLiteral("File Systems"));
    for (size_t i = 0; i < session_.candidates.size(); ++i)
        add_child(root, QString::fromStdString(session_.candidates[i].label()),
                  static_cast<int>(i));
    root->setExpanded(true);
    session_.candidateNumber = 0;
    panel_->show_page(kFileSystemPanel);
    set_menu_state(2);
    set_help(kChooseFileSystemHelp);
    update_page_controls();
}

void MainWindow::tree_item_clicked(QTreeWidgetItem* item) {
    if (item == nullptr || worker_ != nullptr)
        return;
    switch (session_.state.step) {
    case kChooseDrive:
        drive_clicked(item);
        break;
    case kChoosePartition:
        partition_clicked(item);
        break;
    case kChooseFileSystem:
        file_system_clicked(item);
        break;
    case kBrowse:
        session_.state.keyFocusOnTree = true;
        open_folder(item);
        break;
    default:
        break;
    }
}

void MainWindow::drive_clicked(QTreeWidgetItem* item) {
    const int index = item->data(0, kItemRole).toInt();
    if (index == kRootItem)
        return;
    session_.state.driveIndex = static_cast<uint16_t>(index);
    session_.state.driveChosen = true;
    const DriveInfo& drive = session_.drives.at(static_cast<size_t>(index));
    panel_->show_page(kDrivePanel);
    panel_->set_values({QString::fromStdString(drive.name),
                        QString::fromStdString(drive_capacity_text(drive)), number(drive.cylinders),
                        number(drive.heads), number(drive.sectorsPerTrack)});
    update_page_controls();
}

void MainWindow::partition_clicked(QTreeWidgetItem* item) {
    const int index = item->data(0, kItemRole).toInt();
    if (index == kRootItem) {
        // In the Advance Scan the drive itself stands for the whole drive.
        if (session_.state.scanMode != ScanMode::Advance)
            return;
        session_.select_whole_drive();
        fsChoice_->setCurrentIndex(1);
        startEdit_->setText(number(session_.state.rangeStart));
        endEdit_->setText(number(session_.state.rangeEnd));
        return;
    }
    session_.select_partition(static_cast<size_t>(index));
    const PartitionInfo& partition = session_.partitions.entries[static_cast<size_t>(index)];
    panel_->set_values(
        {QString::fromUtf8(fs_type_name(partition.type).data(),
                           static_cast<qsizetype>(fs_type_name(partition.type).size())),
         number(partition.start), number(partition.end()),
         QString::fromStdString(partition_size_text(partition))});
    fsChoice_->setCurrentIndex(choice_of_fs_type(partition.type));
    startEdit_->setText(number(session_.state.rangeStart));
    endEdit_->setText(number(session_.state.rangeEnd));
    update_page_controls();
}

void MainWindow::file_system_clicked(QTreeWidgetItem* item) {
    const int index = item->data(0, kItemRole).toInt();
    if (index == kRootItem)
        return;
    const FsCandidate& candidate = session_.candidates.at(static_cast<size_t>(index));
    session_.candidateNumber = static_cast<uint16_t>(index + 1);
    panel_->set_values(
        {number(candidate.start), number(candidate.sectorsPerCluster), number(candidate.mftStart),
         number(candidate.mftMirrorStart),
         number(candidate.end >= candidate.start ? candidate.end - candidate.start + 1 : 0)});
    update_page_controls();
}

void MainWindow::next() {
    if (worker_ != nullptr)
        return;
    // The filters last only until the wizard moves on.
    session_.filters.reset();
    switch (session_.state.step) {
    case kChooseDrive:
        next_from_drive_page();
        break;
    case kChoosePartition:
        next_from_partition_page();
        break;
    case kChooseFileSystem:
        if (session_.candidateNumber != 0)
            start_reconstruction();
        break;
    default:
        break;
    }
}

void MainWindow::next_from_drive_page() {
    if (!session_.state.driveChosen)
        return;
    if (const auto failure = session_.open_current_drive()) {
        messages_.show(QString::fromStdString(*failure), MessageKind::Error);
        return;
    }
    session_.state.selectedFsType = FsType::Unknown;
    session_.state.step = kChoosePartition;
    const bool found = session_.walk_partitions();
    show_partition_page();
    if (!found) {
        messages_.show(kNoPartitionsFoundMessage, MessageKind::Error);
        start_quick_search();
    }
}

void MainWindow::next_from_partition_page() {
    WizardState& state = session_.state;
    if (state.scanMode == ScanMode::Standard) {
        if (state.selectedFsType == FsType::Ntfs)
            start_standard_scan();
        else
            messages_.show(kFatRefusal, MessageKind::Error);
        return;
    }
    if (state.scanMode != ScanMode::Advance)
        return;
    state.selectedFsType = fs_type_of_choice(fsChoice_->currentIndex());
    if (state.selectedFsType != FsType::Ntfs) {
        messages_.show(kFatRefusal, MessageKind::Error);
        return;
    }
    const auto refusal =
        session_.choose_range(startEdit_->text().toStdString(), endEdit_->text().toStdString());
    if (refusal) {
        messages_.show(QString::fromStdString(*refusal), MessageKind::Error);
        return;
    }
    start_sweep();
}

void MainWindow::back() {
    if (worker_ != nullptr)
        return;
    WizardState& state = session_.state;
    set_list_mode(ListMode::Details);
    next_->hide();
    next_->setEnabled(false);
    listModel_->clear();
    listStack_->hide();
    treeItems_.clear();
    switch (state.step) {
    case kChoosePartition:
        session_.close_drive();
        state.step = kChooseDrive;
        show_drive_page();
        break;
    case kBrowse:
        session_.clear_items();
        state.keyFocusOnTree = false;
        if (state.scanMode == ScanMode::Advance) {
            state.step = kChooseFileSystem;
            show_file_system_page();
        } else {
            state.step = kChoosePartition;
            state.selectedFsType = FsType::Unknown;
            show_partition_page();
        }
        break;
    case kChooseFileSystem:
        state.step = kChoosePartition;
        session_.clear_sweep();
        show_partition_page();
        break;
    default:
        break;
    }
}

void MainWindow::stop() {
    if (worker_ != nullptr && messages_.ask(kStopQuestion))
        session_.state.stopRequested = 1;
}

void MainWindow::search_partitions() {
    if (worker_ == nullptr && session_.state.step == kChoosePartition)
        start_quick_search();
}

void MainWindow::start_worker(std::function<void()> job, std::function<void()> done) {
    // Nothing that could start a second worker may be used while this one runs.
    next_->setEnabled(false);
    back_->setEnabled(false);
    search_->setEnabled(false);
    rangeGroup_->setEnabled(false);
    standardRadio_->setEnabled(false);
    advanceRadio_->setEnabled(false);
    stop_->setEnabled(true);
    set_menu_state(0);
    // The settings stay at hand: a running worker takes a change at its next sector or file.
    actions_.settings->setEnabled(true);
    session_.state.stopRequested = 0;
    worker_ = QThread::create([this, job = std::move(job)] {
        try {
            job();
        } catch (const std::bad_alloc&) {
            // Nothing sound can follow a failed allocation: say so and end the process.
            progressSink_->show_message(kOutOfMemoryMessage, MessageKind::Error);
            std::_Exit(0);
        }
    });
    connect(worker_, &QThread::finished, this, [this, done = std::move(done)] {
        worker_->wait();
        delete worker_;
        worker_ = nullptr;
        session_.state.stopRequested = 0;
        progress_->setValue(0);
        done();
        emit workerFinished();
    });
    worker_->start();
}

void MainWindow::start_quick_search() {
    const DriveInfo drive = *session_.current_drive();
    const QuickSearchMode mode = session_.state.scanMode == ScanMode::Advance
                                     ? QuickSearchMode::Advance
                                     : QuickSearchMode::Standard;
    set_help(kQuickSearchInstruction);
    start_worker(
        [this, drive, mode] {
            quick_search_partitions(session_.reader, drive, mode, session_.partitions,
                                    *progressSink_, session_.state.stopRequested);
        },
        [this] {
            status_->clear();
            session_.state.selectedFsType = FsType::Unknown;
            show_partition_page();
        });
}

void MainWindow::start_standard_scan() {
    set_help(kStandardScanHelp);
    panel_->show_page(kNoPanel);
    panel_->show_page(kScanPanel);
    session_.clear_items();
    const Lba start = session_.state.rangeStart;
    const Lba end = session_.state.rangeEnd;
    auto outcome = std::make_shared<ScanOutcome>(ScanOutcome::NoVolume);
    start_worker(
        [this, start, end, outcome] {
            *outcome = standard_scan(session_.reader, start, end, session_.scan, *progressSink_,
                                     session_.state.stopRequested);
            if (*outcome == ScanOutcome::Completed)
                assess_recoverability(session_.reader, session_.scan, *progressSink_,
                                      session_.state.stopRequested);
        },
        [this, outcome] {
            if (*outcome == ScanOutcome::Completed) {
                session_.state.step = kBrowse;
                show_browse_page();
            } else {
                show_partition_page();
            }
        });
}

void MainWindow::start_sweep() {
    set_help(kSweepHelp);
    panel_->show_page(kNoPanel);
    panel_->show_page(kSweepPanel);
    session_.clear_sweep();
    const Lba start = session_.state.rangeStart;
    const Lba end = session_.state.rangeEnd;
    const uint32_t perRead = session_.settings.sectors_per_read;
    start_worker(
        [this, start, end, perRead] {
            sweep_sectors(session_.reader, start, end - start, perRead, session_.hits,
                          *progressSink_, session_.state.stopRequested);
            session_.candidates = classify_hits(session_.reader, end, session_.hits, *progressSink_,
                                                session_.state.stopRequested);
        },
        [this] {
            status_->clear();
            session_.state.step = kChooseFileSystem;
            show_file_system_page();
        });
}

void MainWindow::start_reconstruction() {
    panel_->show_page(kNoPanel);
    session_.clear_items();
    const uint16_t number = session_.candidateNumber;
    start_worker(
        [this, number] {
            reconstruct_candidate(session_.reader, session_.hits, session_.candidates, number,
                                  session_.scan, *progressSink_, session_.state.stopRequested);
            assess_recoverability(session_.reader, session_.scan, *progressSink_,
                                  session_.state.stopRequested);
        },
        [this] {
            session_.state.step = kBrowse;
            show_browse_page();
        });
}

} // namespace salvex::app
