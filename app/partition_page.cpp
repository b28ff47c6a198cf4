#include "app/partition_page.h"

#include "app/drive_label.h"
#include "app/range_page.h"
#include "app/texts.h"
#include "partition/partition_table.h"

#include <QPushButton>
#include <QStandardItem>
#include <QTreeView>
#include <QVBoxLayout>
#include <memory>

namespace salvex::app {

PartitionPage::PartitionPage(WizardFrame& frame, QWidget* parent)
    : WizardPage(frame, parent), range_(new RangePage),
      search_(new QPushButton(tr("Search Partitions"))) {
    setObjectName(QStringLiteral("partitionPage"));
    search_->setObjectName(QStringLiteral("searchButton"));
    search_->setToolTip(translated(kSearchTip));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(range_);
    connect(search_, &QPushButton::clicked, this, [this] {
        if (!frame_.worker_running())
            start_quick_search();
    });
}

// Next from the drive page: the partition table is walked; when it yields nothing the quick
// search for lost partitions starts at once.
void PartitionPage::initialize() {
    session().state.selectedFsType = FsType::Unknown;
    const bool found = session().walk_partitions();
    enter();
    if (!found) {
        frame_.messages().show(kNoPartitionsFoundMessage, MessageKind::Error);
        start_quick_search();
    }
}

void PartitionPage::enter() {
    const Session& s = session();
    const DriveInfo* drive = s.current_drive();
    const QString driveText = drive != nullptr
                                  ? drive_label(s.state.driveIndex, *drive)
                                  : QString::fromStdString(drive_item_text(s.state.driveIndex));
    QStandardItem* root = make_root_item(frame_, driveText);
    for (size_t i = 0; i < s.partitions.size(); ++i) {
        const PartitionInfo& partition = s.partitions.entries[i];
        add_child_item(root, QString::fromStdString(partition_item_text(i + 1, partition.type)),
                       static_cast<int>(i));
    }
    expand_root(frame_, root);
    frame_.panel().show_page(kPartitionPanel);
    frame_.set_menu_state(MenuState::Partitions);
    frame_.set_help(kChoosePartitionHelp);
    const RangeDefaults defaults = s.range_defaults();
    show_range(defaults.fsChoice, defaults.start, defaults.end);
    range_->setVisible(s.state.scanMode == ScanMode::Advance);
}

void PartitionPage::show_range(int fsChoice, Lba start, Lba end) {
    range_->set_fs_choice(fsChoice);
    range_->set_range(start, end);
}

void PartitionPage::item_clicked(const QModelIndex& item) {
    WizardState& state = session().state;
    const int index = item.data(kItemRole).toInt();
    if (index == kRootItem) {
        // In the Advance Scan the drive itself stands for the whole drive.
        if (state.scanMode != ScanMode::Advance)
            return;
        session().select_whole_drive();
        show_range(choice_of_fs_type(FsType::Ntfs), state.rangeStart, state.rangeEnd);
        return;
    }
    session().select_partition(static_cast<size_t>(index));
    const PartitionInfo& partition = session().partitions.entries[static_cast<size_t>(index)];
    const std::string_view type = fs_type_name(partition.type);
    frame_.panel().set_values({QString::fromUtf8(type.data(), static_cast<qsizetype>(type.size())),
                               QString::number(partition.start), QString::number(partition.end()),
                               QString::fromStdString(partition_size_text(partition))});
    show_range(choice_of_fs_type(partition.type), state.rangeStart, state.rangeEnd);
    frame_.update_buttons();
}

bool PartitionPage::can_go_next() const {
    const WizardState& state = session().state;
    return state.scanMode == ScanMode::Advance || state.selectedFsType != FsType::Unknown;
}

void PartitionPage::next() {
    WizardState& state = session().state;
    if (state.scanMode == ScanMode::Standard) {
        if (state.selectedFsType == FsType::Ntfs)
            start_standard_scan();
        else
            frame_.messages().show(kFatPartitionMessage, MessageKind::Error);
        return;
    }
    if (state.scanMode != ScanMode::Advance)
        return;
    state.selectedFsType = fs_type_of_choice(range_->fs_choice());
    if (state.selectedFsType != FsType::Ntfs) {
        frame_.messages().show(kFatPartitionMessage, MessageKind::Error);
        return;
    }
    const auto range = session().choose_range(range_->start_text().toStdString(),
                                              range_->end_text().toStdString());
    if (!range) {
        frame_.messages().show(QString::fromStdString(range.error()), MessageKind::Error);
        return;
    }
    start_sweep();
}

void PartitionPage::back() {
    session().close_drive();
    frame_.show_step(kChooseDrive);
}

void PartitionPage::start_quick_search() {
    const QuickSearchMode mode = session().state.scanMode == ScanMode::Advance
                                     ? QuickSearchMode::Advance
                                     : QuickSearchMode::Standard;
    frame_.set_help(kQuickSearchInstruction);
    Session& s = session();
    GuiProgress& progress = frame_.progress();
    frame_.start_worker([&s, &progress, mode] { s.search_partitions(mode, progress); },
                        [this] {
                            frame_.set_status({});
                            session().state.selectedFsType = FsType::Unknown;
                            frame_.show_step(kChoosePartition);
                            if (session().partitions.empty() && !frame_.stop_asked() &&
                                session().state.scanMode == ScanMode::Standard)
                                offer_whole_drive_sweep(kNoPartitionQuestion);
                        });
}

void PartitionPage::start_standard_scan() {
    frame_.set_help(kStandardScanHelp);
    frame_.panel().show_page(kScanPanel); // its rows, their values cleared
    Session& s = session();
    s.clear_items();
    GuiProgress& progress = frame_.progress();
    auto scanned = std::make_shared<Result<Done>>(Done{});
    frame_.start_worker(
        [&s, &progress, scanned] { *scanned = s.scan_partition(progress, Recoverability::Assess); },
        [this, scanned] {
            // The hint to try the Advance Scan belongs after the tree and the list.
            if (*scanned) {
                frame_.advance_to(kBrowse);
                frame_.messages().show(scan_outcome_message(ScanOutcome::Completed),
                                       MessageKind::Information);
                return;
            }
            frame_.show_step(kChoosePartition);
            // A scan the user stopped says so; one that could not read the volume leads on.
            if (frame_.stop_asked() || scanned->code() == ErrorCode::Stopped ||
                scanned->code() == ErrorCode::Encrypted)
                frame_.messages().show(QString::fromStdString(scanned->error()),
                                       MessageKind::Error);
            else
                offer_whole_drive_sweep(kNoVolumeQuestion);
        });
}

void PartitionPage::offer_whole_drive_sweep(const char* question) {
    if (session().current_drive() == nullptr || !frame_.messages().ask(displayed(question)))
        return;
    WizardState& state = session().state;
    state.scanMode = ScanMode::Advance;
    session().select_whole_drive();
    show_range(choice_of_fs_type(FsType::Ntfs), state.rangeStart, state.rangeEnd);
    range_->setVisible(true);
    frame_.update_buttons();
    start_sweep();
}

void PartitionPage::start_sweep() {
    frame_.set_help(kSweepHelp);
    frame_.panel().show_page(kSweepPanel); // its rows, their values cleared
    Session& s = session();
    s.clear_sweep();
    const Lba start = s.state.rangeStart;
    const Lba end = s.state.rangeEnd;
    const uint32_t perRead = s.settings.sectors_per_read;
    GuiProgress& progress = frame_.progress();
    frame_.start_worker(
        [&s, &progress, start, end, perRead] {
            s.sweep({start, end}, perRead, progress);
        },
        [this, start, end] {
            frame_.set_status({});
            frame_.advance_to(kChooseFileSystem);
            // The range as the range page took it, in the drive's own sectors.
            const uint64_t unit = session().drive_sector_unit();
            if (const auto encrypted = session().encrypted_volume_found())
                frame_.messages().show(QString::fromStdString(*encrypted), MessageKind::Error);
            else if (session().candidates.empty() && !frame_.stop_asked())
                frame_.messages().show(
                    translated(kNothingFoundMessage).arg(start / unit).arg((end - 1) / unit),
                    MessageKind::Information);
        });
}

} // namespace salvex::app
