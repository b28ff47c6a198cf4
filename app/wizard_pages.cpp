// The wizard's pages: what Next and Back do on each, the left pane's items and their clicks,
// and the workers that carry the long operations.
#include "advscan/reconstruction.h"
#include "app/drive_label.h"
#include "app/drive_page.h"
#include "app/main_window.h"
#include "app/range_page.h"
#include "app/texts.h"
#include "partition/partition_table.h"
#include "partition/quick_search.h"
#include "recovery/recoverability.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

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

// Holds the messages of a Standard Scan until the window has shown its result: the hint to try
// the Advance Scan belongs after the tree and the list, and a scan that found no volume ends on
// a question that leads on instead of a message.
class HeldMessages final : public ProgressSink {
public:
    explicit HeldMessages(ProgressSink& shown) : shown_(shown) {}
    void set_status(std::string_view text) override { shown_.set_status(text); }
    void set_progress(int percent) override { shown_.set_progress(percent); }
    void set_counter(std::string_view label, std::string_view value) override {
        shown_.set_counter(label, value);
    }
    void show_message(std::string_view text, MessageKind kind) override {
        held.push_back({QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())), kind});
    }
    bool ask_yes_no(std::string_view question) override { return shown_.ask_yes_no(question); }

    std::vector<std::pair<QString, MessageKind>> held;

private:
    ProgressSink& shown_;
};

} // namespace

void MainWindow::update_page_controls() {
    const int32_t step = session_.state.step;
    const bool advance = session_.state.scanMode == ScanMode::Advance;
    drivePage_->setVisible(step == kChooseDrive);
    rangePage_->setVisible(step == kChoosePartition && advance);
    search_->setVisible(step == kChoosePartition);
    browse_->setVisible(step == kBrowse);
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
    drivePage_->setEnabled(true);
    rangePage_->setEnabled(true);
}

void MainWindow::show_drive_page() {
    QTreeWidgetItem* root = make_root(tree_, QStringLiteral("My Computer"));
    for (size_t i = 0; i < session_.drives.size(); ++i)
        add_child(root, drive_label(i, session_.drives[i]), static_cast<int>(i));
    root->setExpanded(true);
    session_.state.driveChosen = false;
    panel_->show_page(kDrivePanel);
    set_menu_state(MenuState::Idle);
    set_help(session_.drives.empty() ? kNoDriveHelp : kChooseDriveHelp);
    update_page_controls();
}

void MainWindow::show_partition_page() {
    const DriveInfo* drive = session_.current_drive();
    const QString driveText =
        drive != nullptr ? drive_label(session_.state.driveIndex, *drive)
                         : QString::fromStdString(drive_item_text(session_.state.driveIndex));
    QTreeWidgetItem* root = make_root(tree_, driveText);
    for (size_t i = 0; i < session_.partitions.size(); ++i) {
        const PartitionInfo& partition = session_.partitions.entries[i];
        add_child(root, QString::fromStdString(partition_item_text(i + 1, partition.type)),
                  static_cast<int>(i));
    }
    root->setExpanded(true);
    panel_->show_page(kPartitionPanel);
    set_menu_state(MenuState::Partitions);
    set_help(kChoosePartitionHelp);
    show_range_defaults();
    update_page_controls();
}

void MainWindow::show_range_defaults() {
    const RangeDefaults defaults = session_.range_defaults();
    rangePage_->set_fs_choice(defaults.fsChoice);
    rangePage_->set_range(defaults.start, defaults.end);
}

void MainWindow::show_file_system_page() {
    QTreeWidgetItem* root = make_root(tree_, QStringLiteral("File Systems"));
    for (size_t i = 0; i < session_.candidates.size(); ++i)
        add_child(
            root,
            QString::fromStdString(session_.candidates[i].label(session_.drive_sector_unit())),
            static_cast<int>(i));
    root->setExpanded(true);
    session_.candidateNumber = 0;
    panel_->show_page(kFileSystemPanel);
    set_menu_state(MenuState::FileSystems);
    set_help(kChooseFileSystemHelp);
    update_page_controls();
}

void MainWindow::tree_item_clicked(QTreeWidgetItem* item) {
    if (item == nullptr || runner_->running())
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
        rangePage_->set_fs_choice(choice_of_fs_type(FsType::Ntfs));
        rangePage_->set_range(session_.state.rangeStart, session_.state.rangeEnd);
        return;
    }
    session_.select_partition(static_cast<size_t>(index));
    const PartitionInfo& partition = session_.partitions.entries[static_cast<size_t>(index)];
    panel_->set_values(
        {QString::fromUtf8(fs_type_name(partition.type).data(),
                           static_cast<qsizetype>(fs_type_name(partition.type).size())),
         number(partition.start), number(partition.end()),
         QString::fromStdString(partition_size_text(partition))});
    rangePage_->set_fs_choice(choice_of_fs_type(partition.type));
    rangePage_->set_range(session_.state.rangeStart, session_.state.rangeEnd);
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
    if (runner_->running())
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
    state.selectedFsType = fs_type_of_choice(rangePage_->fs_choice());
    if (state.selectedFsType != FsType::Ntfs) {
        messages_.show(kFatRefusal, MessageKind::Error);
        return;
    }
    const auto refusal = session_.choose_range(rangePage_->start_text().toStdString(),
                                               rangePage_->end_text().toStdString());
    if (refusal) {
        messages_.show(QString::fromStdString(*refusal), MessageKind::Error);
        return;
    }
    start_sweep();
}

void MainWindow::back() {
    if (runner_->running())
        return;
    WizardState& state = session_.state;
    // What a scan found took long to find: it goes only when the user says so.
    if (state.step == kBrowse && !messages_.ask(displayed(kBackDiscardsQuestion)))
        return;
    set_list_mode(ListMode::Details);
    next_->hide();
    next_->setEnabled(false);
    listModel_->clear();
    browse_->hide();
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
    if (!runner_->running())
        return;
    // The worker waits at its next report while the question is open.
    progressSink_->pause();
    const bool yes = messages_.ask(kStopQuestion);
    progressSink_->resume();
    if (yes) {
        stopAsked_ = true;
        session_.state.stopRequested = 1;
    }
}

void MainWindow::search_partitions() {
    if (!runner_->running() && session_.state.step == kChoosePartition)
        start_quick_search();
}

void MainWindow::start_worker(std::function<void()> job, std::function<void()> done) {
    if (runner_->running())
        return;
    // Nothing that could start a second worker may be used while this one runs.
    next_->setEnabled(false);
    back_->setEnabled(false);
    search_->setEnabled(false);
    rangePage_->setEnabled(false);
    drivePage_->setEnabled(false);
    stop_->setEnabled(true);
    set_menu_state(MenuState::Idle);
    stopAsked_ = false;
    // The settings stay at hand: a running worker takes a change at its next sector or file.
    actions_.settings->setEnabled(true);
    runner_->start(std::move(job), [this, done = std::move(done)] {
        progress_->setValue(0);
        done();
        emit workerFinished();
    });
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
            if (session_.partitions.empty() && !stopAsked_ &&
                session_.state.scanMode == ScanMode::Standard)
                offer_whole_drive_sweep(kNoPartitionQuestion);
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
    auto messages = std::make_shared<HeldMessages>(*progressSink_);
    start_worker(
        [this, start, end, outcome, messages] {
            *outcome = standard_scan(session_.reader, start, end, session_.scan, *messages,
                                     session_.state.stopRequested);
            if (*outcome == ScanOutcome::Completed)
                assess_recoverability(session_.reader, session_.scan, *progressSink_,
                                      session_.state.stopRequested);
        },
        [this, outcome, messages] {
            if (*outcome == ScanOutcome::Completed) {
                session_.state.step = kBrowse;
                show_browse_page();
                for (const auto& [text, kind] : messages->held)
                    messages_.show(text, kind);
                return;
            }
            show_partition_page();
            // A scan the user stopped says so; one that could not read the volume leads on.
            for (const auto& [text, kind] : messages->held) {
                if (stopAsked_ || text != QLatin1String(kScanImpossibleMessage))
                    messages_.show(text, kind);
                else
                    offer_whole_drive_sweep(kNoVolumeQuestion);
            }
        });
}

void MainWindow::offer_whole_drive_sweep(const char* question) {
    if (session_.current_drive() == nullptr || !messages_.ask(displayed(question)))
        return;
    session_.state.scanMode = ScanMode::Advance;
    drivePage_->set_scan_mode(ScanMode::Advance);
    session_.state.step = kChoosePartition;
    session_.select_whole_drive();
    rangePage_->set_fs_choice(choice_of_fs_type(FsType::Ntfs));
    rangePage_->set_range(session_.state.rangeStart, session_.state.rangeEnd);
    update_page_controls();
    start_sweep();
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
            session_.sweep({start, end}, perRead, *progressSink_);
        },
        [this, start, end] {
            status_->clear();
            session_.state.step = kChooseFileSystem;
            show_file_system_page();
            if (session_.candidates.empty() && !stopAsked_)
                messages_.show(QString::fromUtf8(kNothingFoundMessage).arg(start).arg(end - 1),
                               MessageKind::Information);
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
