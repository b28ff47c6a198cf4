#include "session/session.h"

#include "advscan/range_input.h"
#include "advscan/reconstruction.h"
#include "advscan/sweep_and_classify.h"
#include "disk/block_device.h"
#include "disk/open_image.h"
#include "partition/encrypted_volume.h"
#include "partition/partition_table.h"
#include "partition/sector_size.h"
#include "recovery/recoverability.h"
#include "recovery/volume_runs.h"
#include "snapshot/snapshot_writer.h"

#include <algorithm>
#include <optional>

namespace salvex {

namespace {

ErrorCode scan_error_code(ScanOutcome outcome) {
    switch (outcome) {
    case ScanOutcome::Stopped:
        return ErrorCode::Stopped;
    case ScanOutcome::NoItems:
        return ErrorCode::NoItems;
    case ScanOutcome::NoVolume:
    case ScanOutcome::Completed:
        break;
    }
    return ErrorCode::NotNtfs;
}

} // namespace

FsType fs_type_of_choice(int index) {
    return static_cast<FsType>(index * 100 + 100);
}

int choice_of_fs_type(FsType type) {
    switch (type) {
    case FsType::Fat16:
        return 0;
    case FsType::Ntfs:
        return 2;
    default:
        return 1;
    }
}

uint32_t drive_sector_size_of(const DriveInfo& drive) {
    if (is_logical_sector_size(drive.sectorSize))
        return drive.sectorSize;
    auto device = open_image_or_device(drive.path);
    if (!device)
        return static_cast<uint32_t>(kSectorSize);
    SectorReader reader(AccessMode::Device);
    reader.open_device(std::move(device).value());
    return drive_sector_size(reader);
}

Session::Session() : settings(default_recovery_settings(AccessMode::Device)) {}

void Session::list_drives() {
    drives = enumerate_block_devices();
}

std::vector<std::string> Session::add_images(const std::vector<std::string>& paths) {
    std::vector<std::string> failures;
    for (const std::string& path : paths) {
        auto image = describe_image(path);
        if (!image)
            failures.push_back(image.error());
        else if (image.value().totalSectors < kMinimumImageSectors)
            failures.push_back(path + " is too small to be a disk image: a disk holds at least " +
                               std::to_string(kMinimumImageSectors) +
                               " sectors of 512 bytes (a partition table and a boot sector).");
        else if (drives.size() >= kMaxDrives)
            failures.push_back("Too many drives: " + path + " was not added.");
        else
            drives.push_back(std::move(image).value());
    }
    return failures;
}

const DriveInfo* Session::current_drive() const {
    return state.driveIndex < drives.size() ? &drives[state.driveIndex] : nullptr;
}

Result<Done> Session::open_device(const std::string& path) {
    auto device = open_image_or_device(path);
    if (!device)
        return device.failure();
    reader.open_device(std::move(device).value());
    return Done{};
}

Result<Done> Session::open_current_drive() {
    const DriveInfo* drive = current_drive();
    if (drive == nullptr)
        return Error{"No drive is selected.", ErrorCode::NotFound};
    return open_device(drive->path);
}

Result<Done> Session::open_drive(const std::string& path) {
    auto opened = open_device(path);
    if (!opened)
        return opened;
    DriveInfo drive = drive_with_default_geometry(reader.total_sectors());
    drive.path = path;
    drive.sectorSize = salvex::drive_sector_size(reader);
    drives = {std::move(drive)};
    state.driveIndex = 0;
    return opened;
}

void Session::close_drive() {
    reader.close_device();
}

uint32_t Session::drive_sector_size() const {
    if (!reader.has_device())
        return static_cast<uint32_t>(kSectorSize);
    const DriveInfo* drive = current_drive();
    if (drive != nullptr && is_logical_sector_size(drive->sectorSize))
        return drive->sectorSize;
    return salvex::drive_sector_size(reader);
}

uint64_t Session::drive_sector_unit() const {
    return sector_unit(drive_sector_size());
}

ExaminedDisk Session::examined() const {
    const DriveInfo* drive = current_drive();
    return drive != nullptr ? ExaminedDisk(drive->path) : ExaminedDisk();
}

bool Session::walk_partitions() {
    return list_partitions(reader, partitions);
}

bool Session::search_partitions(QuickSearchMode mode, ProgressSink& progress) {
    const DriveInfo* drive = current_drive();
    const DriveInfo whole =
        drive != nullptr ? *drive : drive_with_default_geometry(reader.total_sectors());
    quick_search_partitions(reader, whole, mode, partitions, progress, state.stopRequested);
    return !partitions.empty();
}

Result<Done> Session::select_partition(size_t index) {
    if (index >= partitions.size())
        return Error{"There is no partition " + std::to_string(index + 1) + "; the drive has " +
                         std::to_string(partitions.size()) + ".",
                     ErrorCode::NotFound};
    const PartitionInfo& partition = partitions.entries[index];
    state.selectedFsType = partition.type;
    state.rangeStart = partition.start;
    state.rangeCount = partition.size;
    state.rangeEnd = partition.end();
    state.selectedPartitionIndex = static_cast<uint16_t>(index);
    return Done{};
}

void Session::select_whole_drive() {
    const DriveInfo* drive = current_drive();
    const uint64_t total = drive != nullptr ? drive->totalSectors : 0;
    // The whole drive is swept for NTFS, the only file system this program recovers.
    state.selectedFsType = FsType::Ntfs;
    state.rangeStart = 0;
    state.selectedPartitionIndex = 0;
    state.rangeCount = total;
    state.rangeEnd = total;
}

RangeDefaults Session::range_defaults() const {
    const uint64_t unit = drive_sector_unit();
    if (!partitions.empty()) {
        const PartitionInfo& first = partitions.entries.front();
        return {choice_of_fs_type(first.type), first.start / unit,
                (first.start + first.size) / unit};
    }
    const DriveInfo* drive = current_drive();
    return {choice_of_fs_type(FsType::Ntfs), 0, drive != nullptr ? drive->totalSectors / unit : 0};
}

Result<SectorRange> Session::choose_range(std::string_view startText, std::string_view endText) {
    const DriveInfo* drive = current_drive();
    const auto range =
        parse_drive_range(startText, endText, drive ? drive->totalSectors : 0, drive_sector_size());
    if (!range)
        return Error{range.error(), ErrorCode::Refused};
    state.rangeStart = range->start;
    state.rangeEnd = range->end;
    state.rangeCount = range->count();
    return *range;
}

void Session::assess(Recoverability assess, ProgressSink& progress) {
    if (assess == Recoverability::Assess)
        assess_recoverability(reader, scan, progress, state.stopRequested);
}

Result<Done> Session::scan_partition(ProgressSink& progress, Recoverability assess) {
    if (state.selectedFsType != FsType::Ntfs)
        return Error{kFatPartitionMessage, ErrorCode::NotNtfs};
    clear_items();
    // A BitLocker volume keeps its files out of sight until it is unlocked: no scan can find
    // them, whatever its boot sector's fields say.
    std::vector<uint8_t> boot(kSectorSize);
    if (reader.read_sectors(state.rangeStart, 1, boot) && is_bitlocker_boot_sector(boot))
        return Error{encrypted_volume_message(state.rangeStart / drive_sector_unit()),
                     ErrorCode::Encrypted};
    // The runs of every record are gathered while the scan reads the table, so that judging
    // recoverability need not read it again.
    RunCollector runs;
    const auto outcome =
        standard_scan(reader, state.rangeStart, state.rangeEnd, scan, progress, state.stopRequested,
                      assess == Recoverability::Assess ? &runs : nullptr);
    if (outcome != ScanOutcome::Completed)
        return Error{scan_outcome_message(outcome), scan_error_code(outcome)};
    if (assess == Recoverability::Assess)
        assess_recoverability(reader, scan, runs.finish(reader, scan), progress,
                              state.stopRequested);
    return Done{};
}

void Session::sweep(SectorRange range, uint32_t sectorsPerRead, ProgressSink& progress) {
    clear_sweep();
    candidates =
        sweep_and_classify(reader, range, sectorsPerRead, hits, progress, state.stopRequested);
}

std::optional<std::string> Session::encrypted_volume_found() const {
    if (!candidates.empty() || hits.encryptedVolumes.empty())
        return std::nullopt;
    return encrypted_volume_message(hits.encryptedVolumes.front() / drive_sector_unit());
}

Result<Done> Session::reconstruct(uint64_t number, ProgressSink& progress, Recoverability assess) {
    if (number == 0 || number > candidates.size())
        return Error{"There is no candidate " + std::to_string(number) + "; the sweep found " +
                         std::to_string(candidates.size()) + ".",
                     ErrorCode::NotFound};
    clear_items();
    candidateNumber = static_cast<uint16_t>(number);
    // A swept range is always looked at for NTFS, the one file system recovered.
    state.selectedFsType = FsType::Ntfs;
    reconstruct_candidate(reader, hits, candidates, candidateNumber, scan, progress,
                          state.stopRequested);
    this->assess(assess, progress);
    return Done{};
}

SnapshotSelection Session::selection() const {
    return {state.selectedFsType, state.rangeStart, state.rangeCount, state.rangeEnd,
            state.selectedPartitionIndex};
}

TargetCheck Session::snapshot_target(const std::string& path) const {
    const DriveInfo* drive = current_drive();
    return check_snapshot_target(path, drive != nullptr ? drive->path : std::string());
}

Result<Done> Session::save_snapshot(const std::string& path) const {
    // A snapshot keeps each file by its record; a file found by its contents has none, and would
    // load as whatever its first sector holds.
    if (std::any_of(scan.items.files.begin(), scan.items.files.end(),
                    [](const FileNode& file) { return file.contentStart.has_value(); }))
        return Error{"This scan holds files found by their contents, which a snapshot cannot keep "
                     "yet; the snapshot was not saved. Sweep the range again to see them.",
                     ErrorCode::NotSupported};
    const DriveInfo* drive = current_drive();
    auto saved = salvex::save_snapshot(path, selection(), scan.volume, scan.items,
                                       drive != nullptr ? drive->path : std::string());
    if (!saved)
        return saved.failure();
    return Done{};
}

Result<LoadedSnapshot> Session::read_snapshot(const std::string& path, ProgressSink& progress,
                                              Recoverability assess) const {
    auto loaded = load_snapshot(path, reader, progress);
    if (loaded && assess == Recoverability::Assess)
        assess_recoverability(reader, loaded->scan, progress, state.stopRequested);
    return loaded;
}

std::string Session::take_snapshot(LoadedSnapshot loaded) {
    const SnapshotSelection& chosen = loaded.selection;
    state.selectedFsType = chosen.selectedFsType;
    state.rangeStart = chosen.rangeStart;
    state.rangeCount = chosen.rangeCount;
    state.rangeEnd = chosen.rangeEnd;
    state.selectedPartitionIndex = chosen.selectedPartitionIndex;
    scan = std::move(loaded.scan);
    return std::move(loaded.warning);
}

FindOutcome Session::find_files(std::string_view pattern, const MatchHandler& onMatch,
                                ProgressSink& progress, const StopFlag& stop) const {
    return salvex::find_files(scan, pattern, onMatch, progress, stop);
}

RecoveryTotals Session::recover(std::span<const RecoveryRow> rows, const TargetFolder& folder,
                                RecoveryRun& run, ProgressSink& progress,
                                std::function<void(const FileOutcome&)> fileDone) {
    reader.set_bad_sector_retries(settings.bad_sector_retries);
    const ActiveFilters active(filters);
    RecoveryProgress counting(progress);
    RecoveryContext context(reader, scan, settings, counting, run);
    context.examined = examined();
    context.fileDone = std::move(fileDone);
    if (!active.empty())
        context.passesFilters = [&active](std::string_view name) { return active.passes(name); };
    RecoveryTotals totals;
    // "File n of N" counts only the files the filters and policies let through.
    totals.plan = plan_recovery(context, rows);
    counting.set_total(totals.plan.files);
    run_recovery(context, rows, folder);
    counting.finish();
    totals.bytes = counting.bytes();
    return totals;
}

Result<WriteResult> Session::write_copy(size_t fileIndex, const std::string& folder,
                                        ProgressSink& progress) {
    if (fileIndex >= scan.items.files.size())
        return Error{"There is no such file in the list.", ErrorCode::NotFound};
    auto target = TargetFolder::open(folder);
    if (!target)
        return target.failure();
    RecoveryRun run;
    RecoveryContext context(reader, scan, settings, progress, run);
    return extract_ntfs_file(context, *target, scan.items.files[fileIndex], RecoveryMode::Open);
}

void Session::clear_items() {
    scan = NtfsScan{};
}

void Session::clear_sweep() {
    hits.clear();
    candidates.clear();
    candidateNumber = 0;
}

} // namespace salvex
