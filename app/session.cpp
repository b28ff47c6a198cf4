#include "app/session.h"

#include "advscan/range_input.h"
#include "advscan/sweep_and_classify.h"
#include "disk/open_image.h"
#include "partition/partition_table.h"
#include "partition/sector_size.h"

namespace salvex::app {

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

Session::Session() : settings(default_recovery_settings(AccessMode::Device)) {}

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

std::optional<std::string> Session::open_current_drive() {
    const DriveInfo* drive = current_drive();
    if (drive == nullptr)
        return std::string("No drive is selected.");
    auto device = open_image_or_device(drive->path);
    if (!device)
        return device.error();
    reader.open_device(std::move(device).value());
    return std::nullopt;
}

void Session::close_drive() {
    reader.close_device();
}

bool Session::walk_partitions() {
    return list_partitions(reader, partitions);
}

void Session::select_partition(size_t index) {
    const PartitionInfo& partition = partitions.entries.at(index);
    state.selectedFsType = partition.type;
    state.rangeStart = partition.start;
    state.rangeCount = partition.size;
    state.rangeEnd = partition.end();
    state.selectedPartitionIndex = static_cast<uint16_t>(index);
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

std::optional<std::string> Session::choose_range(std::string_view startText,
                                                 std::string_view endText) {
    const DriveInfo* drive = current_drive();
    const auto range = parse_drive_range(startText, endText, drive ? drive->totalSectors : 0,
                                         static_cast<uint32_t>(drive_sector_unit() * kSectorSize));
    if (!range)
        return range.error();
    state.rangeStart = range->start;
    state.rangeEnd = range->end;
    state.rangeCount = range->count();
    return std::nullopt;
}

uint64_t Session::drive_sector_unit() const {
    return reader.has_device() ? sector_unit(drive_sector_size(reader)) : 1;
}

void Session::sweep(SectorRange range, uint32_t sectorsPerRead, ProgressSink& progress) {
    candidates =
        sweep_and_classify(reader, range, sectorsPerRead, hits, progress, state.stopRequested);
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

void Session::clear_items() {
    scan = NtfsScan{};
}

void Session::clear_sweep() {
    hits.clear();
    candidates.clear();
    candidateNumber = 0;
}

} // namespace salvex::app
